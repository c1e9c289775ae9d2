#include "base/RegistryFile.h"

#include <algorithm>
#include <charconv>

#include "core/CodePage.h"
#include "core/Throw.h"
#include "qel/core/StringConversion.h"
#include "util/LittleEndian.h"

namespace Qel::Detail {

namespace {

constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeader4 = u"REGEDIT4";

std::u16string Decode(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string text;
    text.reserve((bytes.size() - 2) / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(
          LoadLittleEndian<char16_t>(reinterpret_cast<const unsigned char*>(bytes.data() + i)));
    }
    return text;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return Utf8ToUtf16(bytes.data(), bytes.size());
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// A REGEDIT4 file is written by the ANSI code page; a file that starts with a byte-order mark is
// UTF-16 or UTF-8 whatever its header says.
bool IsAnsiFile(std::string_view bytes) {
  constexpr std::string_view kAnsiHeader = "REGEDIT4";
  if (bytes.substr(0, kAnsiHeader.size()) != kAnsiHeader) return false;
  std::string_view rest = bytes.substr(kAnsiHeader.size());
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t' || rest.front() == '\r'))
    rest.remove_prefix(1);
  return rest.empty() || rest.front() == '\n';
}

std::u16string AnsiToUtf16(std::string_view bytes) {
  return CodePageToUtf16(0, bytes.data(), bytes.size(), false);
}

std::string Utf16ToAnsi(std::u16string_view text) {
  return Utf16ToCodePage(0, text.data(), text.size());
}

// True when the ANSI code page holds `text` exactly.
bool AnsiHolds(std::u16string_view text) {
  const std::string bytes = Utf16ToAnsi(text);
  return AnsiToUtf16(bytes) == text;
}

bool HasLoneSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

bool HasControl(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

std::u16string_view TrimRight(std::u16string_view text) {
  while (!text.empty() && (IsBlank(text.back()) || text.back() == u'\r')) text.remove_suffix(1);
  return text;
}

std::u16string_view TrimLeft(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads a quoted text starting at text[pos] == '"' with the escapes \\ and \"; pos ends after
// the closing quote. False when the quote is never closed.
bool ReadQuoted(std::u16string_view text, std::size_t& pos, std::u16string& out) {
  out.clear();
  for (++pos; pos < text.size(); ++pos) {
    char16_t c = text[pos];
    if (c == u'"') {
      ++pos;
      return true;
    }
    if (c == u'\\' && pos + 1 < text.size() && (text[pos + 1] == u'\\' || text[pos + 1] == u'"')) {
      c = text[++pos];
    }
    out.push_back(c);
  }
  return false;
}

// "hex:" or "hex(n):" followed by comma-separated bytes, possibly over several lines.
bool ReadHexBytes(std::u16string_view text, int& type, std::vector<unsigned char>& bytes) {
  std::size_t pos = 3;
  type = 3;  // REG_BINARY
  if (pos < text.size() && text[pos] == u'(') {
    std::size_t close = text.find(u')', pos);
    if (close == std::u16string_view::npos || close == pos + 1 || close > pos + 9) return false;
    type = 0;
    for (std::size_t i = pos + 1; i < close; ++i) {
      int digit = HexDigit(text[i]);
      if (digit < 0) return false;
      type = static_cast<int>((static_cast<unsigned>(type) << 4) | static_cast<unsigned>(digit));
    }
    pos = close + 1;
  }
  if (pos >= text.size() || text[pos] != u':') return false;
  bytes.clear();
  int value = 0;
  int digits = 0;
  bool expectByte = false;  // after a comma another byte must follow
  for (++pos; pos <= text.size(); ++pos) {
    char16_t c = pos < text.size() ? text[pos] : u',';
    if (c == u'\\' || c == u'\n' || c == u'\r' || IsBlank(c)) continue;
    if (c == u',') {
      if (digits == 0) {
        if (pos < text.size() || expectByte) return false;
        break;
      }
      bytes.push_back(static_cast<unsigned char>(value));
      value = 0;
      digits = 0;
      expectByte = pos < text.size();
      continue;
    }
    int digit = HexDigit(c);
    if (digit < 0 || digits == 2) return false;
    value = value * 16 + digit;
    ++digits;
  }
  return true;
}

// Fills kind, text and dword of a value line from the part after "=".
void ReadValue(std::u16string_view value, RegLine& line) {
  value = TrimRight(value);
  line.kind = RegValueKind::Invalid;
  if (value.empty()) return;
  if (value.front() == u'"') {
    std::size_t pos = 0;
    std::u16string text;
    if (!ReadQuoted(value, pos, text) || pos != value.size()) return;
    line.kind = RegValueKind::Text;
    line.text = std::move(text);
    return;
  }
  if (StartsWithNoCase(value, u"dword:")) {
    std::u16string_view digits = value.substr(6);
    if (digits.empty() || digits.size() > 8) return;
    std::uint32_t number = 0;
    for (char16_t c : digits) {
      int digit = HexDigit(c);
      if (digit < 0) return;
      number = number * 16 + static_cast<std::uint32_t>(digit);
    }
    line.kind = RegValueKind::Dword;
    line.dword = number;
    return;
  }
  if (StartsWithNoCase(value, u"hex")) {
    int type = 0;
    std::vector<unsigned char> bytes;
    if (!ReadHexBytes(value, type, bytes)) return;
    line.kind = RegValueKind::Other;
    if (type == 1 && bytes.size() % 2 == 0) {  // REG_SZ in hex form: UTF-16LE with its NUL
      std::u16string text;
      for (std::size_t i = 0; i < bytes.size(); i += 2)
        text.push_back(LoadLittleEndian<char16_t>(&bytes[i]));
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      line.kind = RegValueKind::Text;
      line.text = std::move(text);
    } else if (type == 4 && bytes.size() == 4) {  // REG_DWORD, little-endian
      line.kind = RegValueKind::Dword;
      line.dword = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                   (static_cast<std::uint32_t>(bytes[3]) << 24);
    }
    return;
  }
  if (value == u"-") line.kind = RegValueKind::Other;  // the import deletes the value
}

std::u16string Escape(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size() + 2);
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

std::u16string NameField(const std::u16string& name) {
  if (name.empty()) return u"@=";
  // Appended rather than prefixed: g++ 12 warns falsely (-Wrestrict) on literal + temporary.
  std::u16string field(1, u'"');
  field += Escape(name);
  field += u"\"=";
  return field;
}

std::u16string UpperName(const std::u16string& name) { return QelStrToUpper(name); }

RegLine PlainLine(std::u16string_view text) {
  RegLine line;
  line.raw = std::u16string(text);
  return line;
}

}  // namespace

std::u16string NormalizeKeyPath(const std::u16string& keyPath) {
  std::u16string_view path(keyPath);
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  return QelStrToUpper(std::u16string(path));
}

RegistryFile RegistryFile::Empty() {
  RegistryFile file;
  file.m_validHeader = true;
  file.m_lines.push_back(PlainLine(kHeader5));
  file.m_lines.push_back(RegLine{});
  return file;
}

RegistryFile RegistryFile::Parse(std::string_view bytes) {
  RegistryFile file;
  file.m_ansi = IsAnsiFile(bytes);
  std::vector<std::u16string> physical;
  std::vector<std::string_view> physicalBytes;  // an ANSI file's lines as read
  if (file.m_ansi) {
    // Split before decoding: a line break byte is never part of a character of an ANSI code
    // page, and each line's bytes are kept to be written back unchanged.
    std::string_view rest(bytes);
    while (!rest.empty()) {
      std::size_t end = rest.find('\n');
      std::string_view line = rest.substr(0, end);
      while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      physicalBytes.push_back(line);
      physical.push_back(AnsiToUtf16(line));
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
  } else {
    std::u16string text = Decode(bytes);
    std::u16string_view rest(text);
    while (!rest.empty()) {
      std::size_t end = rest.find(u'\n');
      std::u16string_view line = rest.substr(0, end);
      while (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
      physical.emplace_back(line);
      if (end == std::u16string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
  }
  if (physical.empty()) return file;
  const auto keepBytes = [&](RegLine& line, std::size_t i) {
    if (!file.m_ansi) return;
    line.original = true;
    line.bytes = std::string(physicalBytes[i]);
  };
  std::u16string_view header = TrimRight(physical[0]);
  file.m_validHeader = header == kHeader5 || header == kHeader4;
  if (!file.m_validHeader) return file;

  int currentKey = -1;
  file.m_lines.push_back(PlainLine(physical[0]));
  keepBytes(file.m_lines.back(), 0);
  for (std::size_t i = 1; i < physical.size(); ++i) {
    RegLine line;
    line.raw = physical[i];
    keepBytes(line, i);
    std::u16string_view content = TrimLeft(physical[i]);
    if (!content.empty() && content.front() == u'[') {
      std::size_t close = content.rfind(u']');
      currentKey = -1;
      if (close != std::u16string_view::npos && close > 1 && content[1] != u'-') {
        line.isKey = true;
        line.key = static_cast<int>(file.m_keyPaths.size());
        file.m_keyPaths.push_back(NormalizeKeyPath(std::u16string(content.substr(1, close - 1))));
        currentKey = line.key;
      }
      file.m_lines.push_back(std::move(line));
      continue;
    }
    if (content.empty() || (content.front() != u'"' && content.front() != u'@')) {
      file.m_lines.push_back(std::move(line));  // blank, comment or text the import ignores
      continue;
    }
    line.key = currentKey;
    line.kind = RegValueKind::Invalid;
    std::size_t pos = 0;
    bool named = true;
    if (content.front() == u'"') {
      named = ReadQuoted(content, pos, line.name);
    } else {
      pos = 1;
    }
    if (named) {
      while (pos < content.size() && IsBlank(content[pos])) ++pos;
      named = pos < content.size() && content[pos] == u'=';
    }
    if (named) {
      std::u16string_view value = TrimLeft(content.substr(pos + 1));
      std::u16string joined;
      if (StartsWithNoCase(value, u"hex")) {
        // Binary values go on over lines that end with a backslash.
        joined = std::u16string(value);
        while (!TrimRight(joined).empty() && TrimRight(joined).back() == u'\\' &&
               i + 1 < physical.size()) {
          ++i;
          line.raw += u"\n";
          line.raw += physical[i];
          if (file.m_ansi) {
            line.bytes += '\n';
            line.bytes += physicalBytes[i];
          }
          joined += u"\n";
          joined += physical[i];
        }
        // A continuation left open at the end of the file is closed by an empty line, so that
        // a value written after it on a rewrite is not read as part of it.
        if (!TrimRight(joined).empty() && TrimRight(joined).back() == u'\\') {
          line.raw += u"\n";
          if (file.m_ansi) line.bytes += '\n';
        }
        value = joined;
      }
      ReadValue(value, line);
    }
    line.named = named;
    file.m_lines.push_back(std::move(line));
  }
  return file;
}

int RegistryFile::FindKey(const std::u16string& normalizedPath) const {
  for (int k = static_cast<int>(m_keyPaths.size()) - 1; k >= 0; --k) {
    if (m_keyPaths[static_cast<std::size_t>(k)] == normalizedPath) return k;
  }
  return -1;
}

const RegLine* RegistryFile::Find(const std::u16string& keyPath, const std::u16string& name) const {
  if (!m_validHeader) return nullptr;
  std::u16string path = NormalizeKeyPath(keyPath);
  std::u16string upperName = UpperName(name);
  const RegLine* found = nullptr;
  for (const RegLine& line : m_lines) {
    if (line.isKey || line.key < 0 || line.kind == RegValueKind::None ||
        line.kind == RegValueKind::Invalid) {
      continue;
    }
    if (m_keyPaths[static_cast<std::size_t>(line.key)] == path && UpperName(line.name) == upperName)
      found = &line;
  }
  return found;
}

void RegistryFile::SetText(const std::u16string& keyPath, const std::u16string& name,
                           const std::u16string& value) {
  RegLine line;
  line.kind = RegValueKind::Text;
  line.named = true;
  line.name = name;
  line.text = value;
  CheckKeyAndName(keyPath, name);
  // Control characters cannot stand in a quoted text, and a lone surrogate or a character the
  // ANSI code page lacks would not survive the file's encoding.
  const bool plain =
      std::none_of(value.begin(), value.end(), [](char16_t c) { return c < 0x20; }) &&
      !HasLoneSurrogate(value) && (!m_ansi || AnsiHolds(value));
  if (plain) {
    line.raw = NameField(name) + u"\"" + Escape(value) + u"\"";
  } else {
    // The hex form of REG_SZ (UTF-16LE with its terminating NUL) keeps every unit.
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    line.raw = NameField(name) + u"hex(1):";
    std::u16string units = value + u'\0';
    for (std::size_t i = 0; i < units.size(); ++i) {
      for (int shift : {0, 8}) {
        unsigned byte = (units[i] >> shift) & 0xFF;
        if (i != 0 || shift != 0) line.raw += u',';
        line.raw += kDigits[byte >> 4];
        line.raw += kDigits[byte & 15];
      }
    }
  }
  Set(keyPath, name, std::move(line));
}

void RegistryFile::SetDword(const std::u16string& keyPath, const std::u16string& name,
                            std::uint32_t value) {
  CheckKeyAndName(keyPath, name);
  RegLine line;
  line.kind = RegValueKind::Dword;
  line.named = true;
  line.name = name;
  line.dword = value;
  char digits[9];
  for (int i = 7; i >= 0; --i) {
    digits[i] = "0123456789abcdef"[value & 15];
    value >>= 4;
  }
  line.raw = NameField(name) + u"dword:" + std::u16string(digits, digits + 8);
  Set(keyPath, name, std::move(line));
}

void RegistryFile::CheckKeyAndName(const std::u16string& keyPath, const std::u16string& name) {
  if (keyPath.empty() || keyPath.front() == u'-' || HasControl(keyPath) ||
      HasLoneSurrogate(keyPath)) {
    Detail::ThrowInvalidArgument(
        u"A settings key path must not be empty, start with '-' or hold a control character or "
        u"a lone surrogate: '" +
        keyPath + u"'");
  }
  if (HasControl(name) || HasLoneSurrogate(name)) {
    Detail::ThrowInvalidArgument(
        u"A settings value name must not hold a control character or a lone surrogate: '" + name +
        u"'");
  }
}

void RegistryFile::Set(const std::u16string& keyPath, const std::u16string& name, RegLine line) {
  if (m_ansi && (!AnsiHolds(keyPath) || !AnsiHolds(name))) {
    Detail::ThrowInvalidArgument(
        u"The ANSI code page of a REGEDIT4 settings file cannot hold "
        u"the key path or value name '" +
        keyPath + u"\\" + name + u"'");
  }
  std::u16string path = NormalizeKeyPath(keyPath);
  std::u16string upperName = UpperName(name);
  // Replace the last line of that name, readable or not, so that the new value is the one read.
  for (std::size_t i = m_lines.size(); i-- > 0;) {
    RegLine& old = m_lines[i];
    if (old.isKey || old.key < 0 || old.kind == RegValueKind::None) continue;
    if (m_keyPaths[static_cast<std::size_t>(old.key)] != path) continue;
    if (!old.named || UpperName(old.name) != upperName) continue;
    line.key = old.key;
    old = std::move(line);
    return;
  }
  int key = FindKey(path);
  if (key >= 0) {
    std::size_t insertAt = 0;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
      if (m_lines[i].key == key) insertAt = i + 1;
    }
    line.key = key;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
    return;
  }
  if (!m_lines.empty() && !TrimRight(m_lines.back().raw).empty()) m_lines.push_back(RegLine{});
  RegLine keyLine;
  std::u16string_view written(keyPath);
  while (!written.empty() && written.back() == u'\\') written.remove_suffix(1);
  keyLine.raw.assign(1, u'[');
  keyLine.raw += written;
  keyLine.raw += u']';
  keyLine.isKey = true;
  keyLine.key = static_cast<int>(m_keyPaths.size());
  m_keyPaths.push_back(path);
  line.key = keyLine.key;
  m_lines.push_back(std::move(keyLine));
  m_lines.push_back(std::move(line));
  m_lines.push_back(RegLine{});
}

std::string RegistryFile::Serialize() const {
  if (m_ansi) {
    std::string bytes;
    for (const RegLine& line : m_lines) {
      bytes += line.original ? line.bytes : Utf16ToAnsi(line.raw);
      bytes += '\n';
    }
    return bytes;
  }
  std::u16string text;
  for (const RegLine& line : m_lines) {
    text += line.raw;
    text += u'\n';
  }
  return Utf16ToUtf8(text.data(), text.size());
}

}  // namespace Qel::Detail
