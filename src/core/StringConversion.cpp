#include "qel/core/StringConversion.h"

#include <unicode/uchar.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "core/CodePage.h"
#include "core/Text.h"
#include "core/Throw.h"
#include "core/Utf.h"
#include "platform/Platform.h"

namespace Qel {
namespace {

using Detail::AsciiToU16;

// The text up to its first NUL.
std::u16string_view UntilNul(const std::u16string& text) {
  return std::u16string_view(text.c_str());
}

[[noreturn]] void ThrowIllFormed() { Detail::ThrowGeneral(Detail::SystemErrorText(EILSEQ)); }

// Fresh results are never filled with zeros first: each one is reserved once and then appended
// to from a small buffer that stays in the first-level cache, so its memory is written once.
constexpr std::size_t kPieceBytes = 8192;

// A result of this many bytes or more asks for huge pages before it is written.
constexpr std::size_t kHugeResultBytes = std::size_t{8} << 20;

template <class String>
void ReserveResult(String& out, std::size_t length) {
  out.reserve(length);
  const std::size_t bytes = out.capacity() * sizeof(typename String::value_type);
  if (bytes >= kHugeResultBytes) Platform::AdviseHugePages(out.data(), bytes);
}

// Where to end a piece of UTF-8 that would end at `end`: before the last lead or ASCII byte of
// the three bytes up to it, so that no sequence is split (a byte that is no continuation byte
// never belongs to the sequence before it; four continuation bytes in a row cannot all belong
// to one sequence either).
std::size_t Utf8PieceEnd(const char* data, std::size_t begin, std::size_t end) {
  for (std::size_t cut = end; cut + 3 >= end && cut > begin; --cut) {
    if ((static_cast<unsigned char>(data[cut]) & 0xC0) != 0x80) return cut;
  }
  return end;
}

std::u16string Utf8ToWide(const char* data, std::size_t size, bool strict) {
  std::u16string out;
  ReserveResult(out, Detail::Utf16CapacityFor(size));
  char16_t piece[Detail::Utf16CapacityFor(kPieceBytes)];
  bool errors = false;
  for (std::size_t at = 0; at < size;) {
    const std::size_t end =
        size - at <= kPieceBytes ? size : Utf8PieceEnd(data, at, at + kPieceBytes);
    bool pieceErrors = false;
    out.append(piece, Detail::Utf8ToUtf16Buffer(data + at, end - at, piece, &pieceErrors));
    errors = errors || pieceErrors;
    at = end;
  }
  if (errors && strict) ThrowIllFormed();
  // Text of mostly three-byte characters would otherwise hold three times the memory it needs.
  if (out.size() < size / 2) out.shrink_to_fit();
  return out;
}

// Appends the UTF-8 of `size` units to `out`, which has room for it; true when an unpaired
// surrogate became U+FFFD.
bool AppendUtf8(const char16_t* data, std::size_t size, std::string& out) {
  constexpr std::size_t kPieceUnits = kPieceBytes / 3;
  char piece[kPieceUnits * 3];
  bool errors = false;
  for (std::size_t at = 0; at < size;) {
    std::size_t end = size - at <= kPieceUnits ? size : at + kPieceUnits;
    // A surrogate pair stays in one piece.
    if (end < size && (data[end - 1] & 0xFC00) == 0xD800) --end;
    bool pieceErrors = false;
    out.append(piece,
               Detail::Utf16ToUtf8Buffer(data + at, end - at, piece, sizeof piece, &pieceErrors));
    errors = errors || pieceErrors;
    at = end;
  }
  return errors;
}

std::string WideToUtf8(const char16_t* data, std::size_t size, bool strict) {
  std::string out;
  ReserveResult(out, Detail::Utf8LengthOf(data, size));
  if (AppendUtf8(data, size, out) && strict) ThrowIllFormed();
  return out;
}

// The conversions with an output argument report a library failure as false.
template <class Result, class Convert>
bool ConvertOrEmpty(Result& out, Convert convert) {
  try {
    out = convert();
    return true;
  } catch (const BaseException&) {
    out.clear();
    return false;
  }
}

// Base-10 conversion with the rules of the standard stoi family: white space, one optional
// sign, digits up to the first other character. Never depends on the process locale.
template <class T>
T ParseLeadingInteger(const std::u16string& text, const char* name) {
  std::size_t i = 0;
  while (i < text.size() &&
         (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\v' ||
          text[i] == u'\f' || text[i] == u'\r' || text[i] == u'\u2009')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  const std::uint64_t limit = negative ? std::uint64_t{std::numeric_limits<T>::max()} + 1
                                       : std::uint64_t{std::numeric_limits<T>::max()};
  std::uint64_t magnitude = 0;
  bool outOfRange = false;
  const std::size_t firstDigit = i;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    const unsigned digit = text[i] - u'0';
    if (magnitude > (limit - digit) / 10) {
      outOfRange = true;
    } else {
      magnitude = magnitude * 10 + digit;
    }
  }
  if (i == firstDigit) throw std::invalid_argument(std::string("invalid ") + name + " argument");
  if (outOfRange) throw std::out_of_range(std::string(name) + " argument out of range");
  return negative ? static_cast<T>(0 - magnitude) : static_cast<T>(magnitude);
}

template <class T>
T ParseNumber(const std::u16string& text, const char* where, const char* standardName) {
  if (!IsNumber(text)) {
    Detail::ThrowInvalidArgument(AsciiToU16(where) + u"(@0:'" + text + u"')");
  }
  try {
    return ParseLeadingInteger<T>(text, standardName);
  } catch (const std::exception& e) {
    Detail::Throw(e, where, text);
  }
}

template <class T>
bool ParseNumber(const std::u16string& text, T& out, T (*parse)(const std::u16string&)) {
  try {
    out = parse(text);
    return true;
  } catch (...) {
    out = -1;
    return false;
  }
}

template <class T>
T ParseNumberOr(const std::u16string& text, T defaultValue, T (*parse)(const std::u16string&)) {
  try {
    return parse(text);
  } catch (...) {
    return defaultValue;
  }
}

char16_t LowerUnit(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  const UChar32 lower = u_tolower(c);
  return lower <= 0xFFFF ? static_cast<char16_t>(lower) : c;
}

char16_t UpperUnit(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  const UChar32 upper = u_toupper(c);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

int MapInPlace(char16_t* buffer, unsigned int size, char16_t (*map)(char16_t)) {
  if (buffer == nullptr) return EINVAL;
  unsigned int length = 0;
  while (length < size && buffer[length] != u'\0') ++length;
  if (length == size) {
    if (size > 0) buffer[0] = u'\0';
    return EINVAL;
  }
  for (unsigned int i = 0; i < length; ++i) buffer[i] = map(buffer[i]);
  return 0;
}

// Fields of `text` between `separator`s, with the rules of reading a stream line by line.
std::vector<std::u16string> SplitFields(const std::u16string& text, char16_t separator) {
  std::vector<std::u16string> fields;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::u16string::npos) end = text.size();
    fields.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return fields;
}

}  // namespace

// ---- Code pages ---------------------------------------------------------------------------

std::u16string ConvertToWideChar(unsigned int codePage, std::uint32_t flags, const char* text) {
  if (text == nullptr) Detail::ThrowGeneral(Detail::SystemErrorText(EINVAL));
  const std::size_t size = std::strlen(text);
  if (size == 0) return {};
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  if (codePage == CP_UTF8) return Utf8ToWide(text, size, strict);
  return Detail::CodePageToUtf16(codePage, text, size, strict);
}

std::string ConvertFromWideChar(unsigned int codePage, std::uint32_t flags,
                                const std::u16string& text, bool withTerminator) {
  if (text.empty()) return {};
  const std::size_t size = withTerminator ? UntilNul(text).size() : text.size();
  std::string out = codePage == CP_UTF8
                        ? WideToUtf8(text.data(), size, (flags & WC_ERR_INVALID_CHARS) != 0)
                        : Detail::Utf16ToCodePage(codePage, text.data(), size);
  if (withTerminator) out.push_back('\0');
  return out;
}

std::u16string ConvertA2W(const std::string& text) { return ConvertA2W(text.c_str()); }

std::u16string ConvertA2W(const char* text) {
  return ConvertToWideChar(CP_ACP, MB_PRECOMPOSED, text);
}

bool ConvertA2W(const std::string& text, std::u16string& out) {
  return ConvertA2W(text.c_str(), out);
}

bool ConvertA2W(const char* text, std::u16string& out) {
  return ConvertOrEmpty(out, [&] { return ConvertA2W(text); });
}

std::string ConvertW2A(const std::u16string& text) {
  return ConvertFromWideChar(CP_ACP, 0, text, false);
}

bool ConvertW2A(const std::u16string& text, std::string& out) {
  return ConvertOrEmpty(out, [&] { return ConvertW2A(text); });
}

std::u16string ConvertUtf8ToWideChar(const std::string& text) {
  return ConvertUtf8ToWideChar(text.c_str());
}

std::u16string ConvertUtf8ToWideChar(const char* text) {
  return ConvertToWideChar(CP_UTF8, 0, text);
}

bool ConvertUtf8ToWideChar(const char* text, std::u16string& out) {
  return ConvertOrEmpty(out, [&] { return ConvertUtf8ToWideChar(text); });
}

bool ConvertUTF8ToWideChar(const std::string& text, std::u16string& out) {
  return ConvertUtf8ToWideChar(text.c_str(), out);
}

std::string ConvertWideCharToUtf8(const std::u16string& text) {
  return ConvertFromWideChar(CP_UTF8, 0, text, false);
}

bool ConvertWideCharToUTF8(const std::u16string& text, std::string& out) {
  return ConvertOrEmpty(out, [&] { return ConvertFromWideChar(CP_UTF8, 0, text, true); });
}

std::u16string Utf8ToUtf16(const char* data, std::size_t size) {
  if (size == 0) return {};
  return Utf8ToWide(data, size, false);
}

std::string Utf16ToUtf8(const char16_t* data, std::size_t size) {
  if (size == 0) return {};
  return WideToUtf8(data, size, false);
}

void Utf16ToUtf8(const char16_t* data, std::size_t size, std::string& out) {
  // No counting pass: a string reused for pieces of like size already has the room, and one
  // that lacks it grows as it is appended to.
  out.clear();
  AppendUtf8(data, size, out);
}

std::size_t Utf8ToUtf16(const char* data, std::size_t size, char16_t* out) {
  static_assert(Detail::Utf16CapacityFor(1) == 1);
  return Detail::Utf8ToUtf16Buffer(data, size, out);
}

std::size_t Utf16ToUtf8(const char16_t* data, std::size_t size, char* out) {
  return Detail::Utf16ToUtf8Buffer(data, size, out, 3 * size);
}

// ---- Numbers ------------------------------------------------------------------------------

int QelStringToInteger(const std::u16string& text) {
  return ParseNumber<int>(text, "Qel::QelStringToInteger", "stoi");
}

std::int32_t QelStringToLong(const std::u16string& text) {
  return ParseNumber<std::int32_t>(text, "Qel::QelStringToLong", "stol");
}

std::int64_t QelStringToLongLong(const std::u16string& text) {
  return ParseNumber<std::int64_t>(text, "Qel::QelStringToLongLong", "stoll");
}

bool QelStringToInteger(const std::u16string& text, int& out) {
  return ParseNumber<int>(text, out, QelStringToInteger);
}

bool QelStringToLong(const std::u16string& text, std::int32_t& out) {
  return ParseNumber<std::int32_t>(text, out, QelStringToLong);
}

bool QelStringToLongLong(const std::u16string& text, std::int64_t& out) {
  return ParseNumber<std::int64_t>(text, out, QelStringToLongLong);
}

int QelStringToIntegerWithDefault(const std::u16string& text, int defaultValue) {
  return ParseNumberOr<int>(text, defaultValue, QelStringToInteger);
}

std::int32_t QelStringToLongWithDefault(const std::u16string& text, std::int32_t defaultValue) {
  return ParseNumberOr<std::int32_t>(text, defaultValue, QelStringToLong);
}

std::int64_t QelStringToLongLongWithDefault(const std::u16string& text, std::int64_t defaultValue) {
  return ParseNumberOr<std::int64_t>(text, defaultValue, QelStringToLongLong);
}

// A 32-bit value always fits the 12 characters the text is limited to, so formatting cannot fail.
std::u16string IntegerToQelString(int value) { return Detail::DecimalU16(value); }

std::u16string LongToQelString(std::int32_t value) { return Detail::DecimalU16(value); }

bool IsNumber(const std::u16string& text) {
  if (text.empty()) return false;
  bool leading = true;
  std::ptrdiff_t lastSeparator = -1;
  std::ptrdiff_t groupLength = 0;
  int commas = 0;
  int dots = 0;
  for (std::size_t index = 0; index < text.size(); ++index) {
    const char16_t c = text[index];
    if (c == u' ' || c == u'\u2009' || c == u'_' || c == u'\'') continue;
    if (c == u'-' || c == u'+') {
      if (!leading) return false;
    } else if (IsNumeric(c)) {
      leading = false;
    } else if (c == u',' || c == u'.') {
      (c == u',' ? commas : dots) += 1;
      const auto position = static_cast<std::ptrdiff_t>(index);
      if (lastSeparator > 0) {
        if (commas > 1 && dots > 1) return false;
        const std::ptrdiff_t gap = position - lastSeparator - 1;
        if (gap != 2 && gap != 3) return false;
        if (groupLength == 0) {
          groupLength = gap;
        } else if (gap != groupLength) {
          return false;
        }
      }
      lastSeparator = position;
      leading = false;
    } else {
      return false;
    }
  }
  return true;
}

bool IsNumeric(const char16_t& c) { return c >= u'0' && c <= u'9'; }

std::int32_t GetNumCount(std::u16string& text) {
  std::int32_t count = 0;
  for (char16_t c : UntilNul(text)) count += IsNumeric(c) ? 1 : 0;
  return count;
}

// ---- Texts --------------------------------------------------------------------------------

std::u16string Replace(const std::u16string& text, const std::u16string& find,
                       const std::u16string& replacement) {
  const std::u16string_view pattern = UntilNul(find);
  if (pattern.empty()) return text;
  std::u16string_view rest = UntilNul(text);
  std::u16string result;
  for (std::size_t i = rest.find(pattern); i != std::u16string_view::npos; i = rest.find(pattern)) {
    result.append(rest.substr(0, i));
    result.append(replacement);
    rest.remove_prefix(i + pattern.size());
  }
  result.append(rest);
  return result;
}

std::vector<std::u16string> Split(const std::u16string& text, char16_t separator) {
  return SplitFields(text, separator);
}

bool Split(const std::u16string& text, const std::u16string& separator, std::u16string& left,
           std::u16string& right) {
  const std::u16string_view haystack = UntilNul(text);
  const std::u16string_view needle = UntilNul(separator);
  const std::size_t i = haystack.find(needle);
  if (i == std::u16string_view::npos) return false;
  left.assign(haystack.substr(0, i));
  right.assign(haystack.substr(i + needle.size()));
  return true;
}

std::vector<std::u16string> QelSplit(const std::u16string& text, const std::u16string& delimiters) {
  std::vector<std::u16string> tokens;
  std::size_t start = text.find_first_not_of(delimiters);
  while (start != std::u16string::npos) {
    const std::size_t end = text.find_first_of(delimiters, start);
    if (end == std::u16string::npos) {
      tokens.emplace_back(text, start);
      break;
    }
    tokens.emplace_back(text, start, end - start);
    start = text.find_first_not_of(delimiters, end);
  }
  return tokens;
}

std::vector<std::u16string>* SplitByLineBreaks(const std::u16string& text) {
  auto lines = std::make_unique<std::vector<std::u16string>>(SplitFields(text, u'\n'));
  for (std::u16string& line : *lines) {
    if (!line.empty() && line.back() == u'\r') line.pop_back();
  }
  return lines.release();
}

void SplitLocatorName(const std::u16string& name, std::u16string& first, std::u16string& rest) {
  first.clear();
  rest.clear();
  const std::size_t dot = name.find(u'.');
  if (dot != std::u16string::npos && dot > 0) {
    first.assign(name, 0, dot);
    rest.assign(name, dot + 1);
  } else {
    first = name;
  }
}

std::u16string DeleteStr(const std::u16string& text, const std::u16string& characters) {
  const std::u16string_view remove = UntilNul(characters);
  std::u16string result;
  for (char16_t c : UntilNul(text)) {
    if (remove.find(c) == std::u16string_view::npos) result.push_back(c);
  }
  return result;
}

// ---- Case ---------------------------------------------------------------------------------

int QelStrICmp(const char16_t* a, const char16_t* b) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  for (;; ++a, ++b) {
    const int difference = static_cast<int>(LowerUnit(*a)) - static_cast<int>(LowerUnit(*b));
    if (difference != 0 || *a == u'\0') return difference;
  }
}

std::u16string QelStrToLower(const std::u16string& text) {
  std::u16string result(text);
  for (char16_t& c : result) c = LowerUnit(c);
  return result;
}

std::u16string QelStrToUpper(const std::u16string& text) {
  std::u16string result(text);
  for (char16_t& c : result) c = UpperUnit(c);
  return result;
}

char QelToLower(char c) { return Detail::AnsiByteToLower(c); }

char16_t QelToLower(char16_t c) { return LowerUnit(c); }

char16_t QelToUpper(char16_t c) { return UpperUnit(c); }

int QelChrToLower(char16_t* buffer, unsigned int size) {
  return MapInPlace(buffer, size, LowerUnit);
}

int QelChrToUpper(char16_t* buffer, unsigned int size) {
  return MapInPlace(buffer, size, UpperUnit);
}

// ---- Time ---------------------------------------------------------------------------------

std::u16string Timing::GetTimeDifferenceAsWstring(::timeb start, ::timeb end) {
  char buffer[64];
  if (start.time == 0 || end.time == 0 || start.time == end.time) {
    const int difference = static_cast<int>(end.millitm) - static_cast<int>(start.millitm);
    if (difference == 0) return u"0s";
    std::snprintf(buffer, sizeof buffer, "%ims", difference);
    return AsciiToU16(buffer);
  }
  // Unsigned arithmetic: a corrupt time stamp wraps instead of overflowing.
  const std::uint64_t total =
      (static_cast<std::uint64_t>(end.time) - static_cast<std::uint64_t>(start.time)) * 1000u -
      start.millitm + end.millitm;
  const bool positive = static_cast<std::int64_t>(total) > 0;
  const char* sign = positive ? "" : "-";
  const unsigned long long absolute = positive ? total : 0 - total;
  const unsigned long long seconds = absolute / 1000;
  const unsigned long long ms = absolute % 1000;
  if (seconds == 0) {
    if (ms == 0) return u"0s";
    std::snprintf(buffer, sizeof buffer, "%llums", ms);
    return AsciiToU16(buffer);
  }
  const unsigned long long s = seconds % 60;
  const unsigned long long minutes = seconds / 60;
  const unsigned long long m = minutes % 60;
  const unsigned long long hours = minutes / 60;
  const unsigned long long h = hours % 24;
  const unsigned long long days = hours / 24;
  if (days != 0) {
    if (ms != 0) {
      std::snprintf(buffer, sizeof buffer, "%s%llu day(s) %02llu:%02llu:%02llu.%03llu", sign, days,
                    h, m, s, ms);
    } else {
      std::snprintf(buffer, sizeof buffer, "%s%llu day(s) %02llu:%02llu:%02llu", sign, days, h, m,
                    s);
    }
  } else if (h != 0) {
    if (ms != 0) {
      std::snprintf(buffer, sizeof buffer, "%s%02llu:%02llu:%02llu.%03llu", sign, h, m, s, ms);
    } else {
      std::snprintf(buffer, sizeof buffer, "%s%02llu:%02llu:%02llu", sign, h, m, s);
    }
  } else if (m != 0) {
    if (ms != 0) {
      std::snprintf(buffer, sizeof buffer, "%s%02llu:%02llu.%03llu", sign, m, s, ms);
    } else {
      std::snprintf(buffer, sizeof buffer, "%s%02llu:%02llu", sign, m, s);
    }
  } else if (ms != 0) {
    std::snprintf(buffer, sizeof buffer, "%s%llu.%03llus", sign, s, ms);
  } else {
    std::snprintf(buffer, sizeof buffer, "%s%llus", sign, s);
  }
  return AsciiToU16(buffer);
}

}  // namespace Qel
