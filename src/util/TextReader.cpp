// Lines are cut out of a read-ahead buffer with memchr rather than read byte by byte from the
// stream: the reader is the library's bulk text import path.
#include "qel/util/TextReader.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <new>

#include "core/Throw.h"
#include "core/Utf.h"
#include "qel/core/ResMgr.h"
#include "qel/core/StringConversion.h"
#include "qel/util/Files.h"

namespace Qel {

namespace {

constexpr std::size_t kBufferSize = 1 << 18;
constexpr char16_t kReplacement = 0xFFFD;

// Offset of the first unit in [begin, stop) that is a line feed or carriage return (units of
// two bytes from `begin`, the high byte at `high`), or `stop`. memchr finds candidate low bytes.
std::size_t FindUnitLineEnd(const unsigned char* data, std::size_t begin, std::size_t stop,
                            int high) {
  const int low = 1 - high;
  auto find = [&](unsigned char target, std::size_t from, std::size_t to) {
    for (std::size_t at = from + low; at < to;) {
      const auto* hit = static_cast<const unsigned char*>(std::memchr(data + at, target, to - at));
      if (hit == nullptr) break;
      const auto offset = static_cast<std::size_t>(hit - data);
      const std::size_t unit = offset - low;
      if (((unit - begin) & 1) == 0 && data[unit + high] == 0) return unit;
      at = offset + 1;
    }
    return to;
  };
  const std::size_t lineFeed = find(0x0A, begin, stop);
  const std::size_t carriageReturn = find(0x0D, begin, lineFeed);
  return carriageReturn < lineFeed ? carriageReturn : lineFeed;
}

void LowerAscii(std::u16string& line) {
  for (char16_t& c : line) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
}

}  // namespace

TextReader* TextReader::Create() {
  auto* reader = new (std::nothrow) TextReader();
  if (reader == nullptr) Detail::ThrowOutOfMemory(u"[1040]");
  reader->AddRefCount();
  return reader;
}

TextReader::~TextReader() { Close(); }

void TextReader::Open(const std::u16string& path, bool /*shared*/) {
  if (path.empty()) Detail::Throw<BaseException>(ErrorId::InvalidFilePath, u"[1041]");
  Close();
  m_fileName = path;
  m_file = QelOpenFile(path, "rb");
  if (m_file == nullptr) {
    const int err = errno;
    m_fileName.clear();
    Detail::ThrowFileError(ErrorId::FileOpen, path, err);
  }
  m_buffer.resize(kBufferSize);
  unsigned char bytes[4] = {' ', ' ', ' ', ' '};
  const std::size_t got = std::fread(bytes, 1, sizeof bytes, m_file);
  (void)got;  // a short file compares against the blanks
  m_encoding = Tools::IO::DetectBOM(bytes);
  if (m_encoding == TextEncodingUnknown) {
    m_encoding = Tools::IO::ScanForUtf8(m_file) ? TextEncodingUTF8NoBOM : TextEncodingAnsi;
  }
  ResetFilePosition(u"[1042]");
}

void TextReader::ResetFilePosition(const char16_t* seekTag) {
  long offset = 0;
  switch (m_encoding) {
    case TextEncodingUTF16LE:
    case TextEncodingUTF16BE:
      offset = 2;
      break;
    case TextEncodingUTF8:
      offset = 3;
      break;
    case TextEncodingUTF32LE:
    case TextEncodingUTF32BE: {
      const std::u16string name = m_fileName;
      Close();
      Detail::Throw<BaseException>(ErrorId::FeatureNotSupported,
                                   GetLibraryResMgr().GetString(650) + name);
    }
    default:
      break;
  }
  m_begin = m_end = 0;
  if (std::fseek(m_file, offset, SEEK_SET) != 0) Detail::ThrowGeneral(seekTag);
}

void TextReader::Close() {
  if (m_file != nullptr) std::fclose(m_file);
  m_file = nullptr;
  m_fileName.clear();
  m_encoding = TextEncodingUnknown;
  m_begin = m_end = 0;
}

bool TextReader::Fill() {
  if (m_begin > 0) {
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
  }
  const std::size_t got = std::fread(m_buffer.data() + m_end, 1, m_buffer.size() - m_end, m_file);
  if (got == 0 && std::ferror(m_file)) {
    Detail::ThrowFileError(ErrorId::FileRead, m_fileName, errno != 0 ? errno : EIO);
  }
  m_end += got;
  return got != 0;
}

std::int64_t TextReader::GetCurrentFilePos() {
  if (m_file == nullptr) Detail::Throw<BaseException>(ErrorId::InvalidFilePath, u"[1045]");
  const off_t position = ftello(m_file);
  if (position < 0) Detail::ThrowGeneral(u"[1046]");
  return static_cast<std::int64_t>(position) - static_cast<std::int64_t>(m_end - m_begin);
}

void TextReader::SetCurrentFilePos(std::int64_t position) {
  if (m_file == nullptr) Detail::Throw<BaseException>(ErrorId::InvalidFilePath, u"[1047]");
  if (position == 0) {
    ResetFilePosition(u"[1048]");
    return;
  }
  m_begin = m_end = 0;
  if (position < 0 || fseeko(m_file, static_cast<off_t>(position), SEEK_SET) != 0) {
    Detail::ThrowGeneral(u"[1048]");
  }
}

std::u16string TextReader::GetNextLine() {
  std::u16string line;
  if (!ReadLineAs(line, false)) line.clear();
  return line;
}

bool TextReader::ReadLine(std::u16string& line) {
  if (ReadLineAs(line, true)) return true;
  line.clear();
  return false;
}

bool TextReader::ReadLineAs(std::u16string& line, bool keepEmpty) {
  if (m_file == nullptr) Detail::Throw<BaseException>(ErrorId::InvalidFilePath, u"[1043]");
  switch (m_encoding) {
    case TextEncodingAnsi:
      return ReadASCIILine(line, keepEmpty);
    case TextEncodingUTF16LE:
      return ReadUTF16Line(line, false, keepEmpty);
    case TextEncodingUTF16BE:
      return ReadUTF16Line(line, true, keepEmpty);
    case TextEncodingUTF8:
    case TextEncodingUTF8NoBOM:
      return ReadUTF8Line(line, keepEmpty);
    default:
      Detail::ThrowGeneral(u"[1044]");
  }
}

bool TextReader::ReadByteLine(const char*& line, std::size_t& size, bool keepEmpty) {
  m_bytes.clear();
  for (;;) {
    if (m_begin == m_end && !Fill()) {
      line = m_bytes.data();
      size = m_bytes.size();
      return size != 0;
    }
    const char* data = m_buffer.data();
    const char* start = data + m_begin;
    const char* stop = data + m_end;
    const auto* lineFeed = static_cast<const char*>(std::memchr(start, '\n', stop - start));
    const char* limit = lineFeed != nullptr ? lineFeed : stop;
    const auto* carriageReturn = static_cast<const char*>(std::memchr(start, '\r', limit - start));
    const char* end = carriageReturn != nullptr ? carriageReturn : lineFeed;
    if (end == nullptr) {
      m_bytes.append(start, stop);
      m_begin = m_end;
      continue;
    }
    m_begin = static_cast<std::size_t>(end - data) + 1;
    const bool refill = *end == '\r' && m_begin == m_end;
    if (m_bytes.empty() && !refill) {
      // The whole line lies in the buffer: hand it out from there.
      line = start;
      size = static_cast<std::size_t>(end - start);
    } else {
      m_bytes.append(start, end);
      line = m_bytes.data();
      size = m_bytes.size();
    }
    if (*end == '\r') {
      // The line feed of CR LF may be the first byte of the next read.
      if (refill) Fill();
      if (m_begin < m_end && m_buffer[m_begin] == '\n') ++m_begin;
    }
    if (size != 0 || keepEmpty) return true;
    m_bytes.clear();
  }
}

bool TextReader::ReadASCIILine(std::u16string& line, bool keepEmpty) {
  const char* bytes = nullptr;
  std::size_t size = 0;
  if (!ReadByteLine(bytes, size, keepEmpty)) return false;
  line.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    char c = bytes[i];
    if (m_convertToLowerCase) c = QelToLower(c);
    const auto byte = static_cast<unsigned char>(c);
    line[i] = byte == 0x80 ? char16_t{0x20AC} : char16_t{byte};
  }
  return true;
}

bool TextReader::ReadUTF8Line(std::u16string& line, bool keepEmpty) {
  const char* bytes = nullptr;
  std::size_t size = 0;
  if (!ReadByteLine(bytes, size, keepEmpty)) return false;
  line.resize(Detail::Utf16CapacityFor(size));
  line.resize(Detail::Utf8ToUtf16Buffer(bytes, size, line.data()));
  if (m_convertToLowerCase) LowerAscii(line);
  return true;
}

bool TextReader::ReadUTF16Line(std::u16string& line, bool bigEndian, bool keepEmpty) {
  line.clear();
  const int high = bigEndian ? 0 : 1;  // offset of the high byte within a unit
  for (;;) {
    if (m_end - m_begin < 2 && !Fill()) {
      if (m_end - m_begin == 1) {
        // An odd last byte cannot be a unit of its own.
        m_begin = m_end;
        line.push_back(kReplacement);
      }
      if (m_convertToLowerCase) LowerAscii(line);
      return !line.empty();
    }
    if (m_end - m_begin < 2) continue;
    const auto* data = reinterpret_cast<const unsigned char*>(m_buffer.data());
    const std::size_t stop = m_begin + ((m_end - m_begin) & ~std::size_t{1});
    const std::size_t pos = FindUnitLineEnd(data, m_begin, stop, high);
    const std::size_t oldSize = line.size();
    const std::size_t count = (pos - m_begin) / 2;
    line.resize(oldSize + count);
    char16_t* out = line.data() + oldSize;
    if (std::endian::native == std::endian::little && high == 1) {
      std::memcpy(out, data + m_begin, count * 2);
    } else {
      for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = m_begin + 2 * i;
        out[i] = static_cast<char16_t>((data[at + high] << 8) | data[at + 1 - high]);
      }
    }
    m_begin = pos;
    if (pos == stop) continue;
    const bool carriageReturn = data[pos + 1 - high] == 0x0D;
    m_begin += 2;
    if (carriageReturn) {
      if (m_end - m_begin < 2) Fill();
      const auto* next = reinterpret_cast<const unsigned char*>(m_buffer.data()) + m_begin;
      if (m_end - m_begin >= 2 && next[high] == 0 && next[1 - high] == 0x0A) m_begin += 2;
    }
    if (keepEmpty || !line.empty()) {
      if (m_convertToLowerCase) LowerAscii(line);
      return true;
    }
  }
}

}  // namespace Qel
