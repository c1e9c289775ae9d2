// Text conversions shared by the whole library: UTF-16 (the library's wide string) to and from
// the ANSI code page and UTF-8, text to and from numbers, splitting, replacing and case
// mapping under a fixed English case mapping. All functions are stateless and may be called
// from any thread at the same time.
#pragma once

#include <sys/timeb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Qel {

// Code pages understood by ConvertToWideChar / ConvertFromWideChar.
constexpr unsigned int CP_ACP = 0;  // the ANSI code page (Windows-1252 unless QEL_ANSI_CODEPAGE)
constexpr unsigned int CP_UTF8 = 65001;
// Conversion flags. MB_PRECOMPOSED is accepted and changes nothing (results are precomposed);
// with MB_ERR_INVALID_CHARS (narrow to wide) or WC_ERR_INVALID_CHARS (wide to UTF-8) ill-formed
// input is a failure instead of becoming U+FFFD. Other flag bits are ignored.
constexpr std::uint32_t MB_PRECOMPOSED = 1;
constexpr std::uint32_t MB_ERR_INVALID_CHARS = 8;
constexpr std::uint32_t WC_ERR_INVALID_CHARS = 0x80;

// Narrow to wide. `text` is NUL-terminated. An ill-formed sequence becomes U+FFFD (one per
// maximal subpart). Throws BaseException 17 with the system text when `text` is null or the
// code page has no converter. Code pages other than 0 and 65001 use the Windows numbering.
std::u16string ConvertToWideChar(unsigned int codePage, std::uint32_t flags, const char* text);
// Wide to narrow. Without terminator the whole string is converted, embedded NULs included;
// with terminator conversion stops at the first NUL and the result ends with a NUL.
// An unpaired surrogate becomes U+FFFD in UTF-8 and "?" in other code pages, as does a
// character the code page cannot hold. Throws BaseException 17 on failure.
std::string ConvertFromWideChar(unsigned int codePage, std::uint32_t flags,
                                const std::u16string& text, bool withTerminator);

std::u16string ConvertA2W(const std::string& text);
std::u16string ConvertA2W(const char* text);
bool ConvertA2W(const std::string& text, std::u16string& out);
bool ConvertA2W(const char* text, std::u16string& out);
std::string ConvertW2A(const std::u16string& text);
bool ConvertW2A(const std::u16string& text, std::string& out);
std::u16string ConvertUtf8ToWideChar(const std::string& text);
std::u16string ConvertUtf8ToWideChar(const char* text);
bool ConvertUtf8ToWideChar(const char* text, std::u16string& out);
bool ConvertUTF8ToWideChar(const std::string& text, std::u16string& out);
// UTF-8 without terminator.
std::string ConvertWideCharToUtf8(const std::u16string& text);
// UTF-8 up to the first NUL, followed by a NUL that is part of `out`'s length.
bool ConvertWideCharToUTF8(const std::u16string& text, std::string& out);

// Conversions of a byte range / unit range that never stop at a NUL (for callers that hold
// lengths, such as files and streams). Ill-formed input becomes U+FFFD.
std::u16string Utf8ToUtf16(const char* data, std::size_t size);
std::string Utf16ToUtf8(const char16_t* data, std::size_t size);

// Text to number: throws BaseException 1 when IsNumber fails ("Qel::QelStringToInteger(@0:'x')")
// and BaseException 17 wrapping the standard conversion error when no digit is read or the
// value is out of range.
int QelStringToInteger(const std::u16string& text);
std::int32_t QelStringToLong(const std::u16string& text);
std::int64_t QelStringToLongLong(const std::u16string& text);
// Never throw: false and out = -1 on failure.
bool QelStringToInteger(const std::u16string& text, int& out);
bool QelStringToLong(const std::u16string& text, std::int32_t& out);
bool QelStringToLongLong(const std::u16string& text, std::int64_t& out);
int QelStringToIntegerWithDefault(const std::u16string& text, int defaultValue);
std::int32_t QelStringToLongWithDefault(const std::u16string& text, std::int32_t defaultValue);
std::int64_t QelStringToLongLongWithDefault(const std::u16string& text, std::int64_t defaultValue);
std::u16string IntegerToQelString(int value);
std::u16string LongToQelString(std::int32_t value);
// A lenient test that a text looks like a formatted number with digit-group separators.
bool IsNumber(const std::u16string& text);
bool IsNumeric(const char16_t& c);
// Number of digits 0-9 in the text up to its first NUL.
std::int32_t GetNumCount(std::u16string& text);

// Every occurrence of `find` replaced from left to right without overlap; both texts end at
// their first NUL. An empty `find` returns `text` unchanged.
std::u16string Replace(const std::u16string& text, const std::u16string& find,
                       const std::u16string& replacement);
// Fields between separators; a trailing separator gives no empty last field.
std::vector<std::u16string> Split(const std::u16string& text, char16_t separator);
// Splits at the first occurrence of `separator`; false (outputs unchanged) when absent.
bool Split(const std::u16string& text, const std::u16string& separator, std::u16string& left,
           std::u16string& right);
// Tokens between characters of `delimiters`; never an empty token.
std::vector<std::u16string> QelSplit(const std::u16string& text, const std::u16string& delimiters);
// Lines split at "\n" with one trailing "\r" removed each. The caller deletes the vector.
std::vector<std::u16string>* SplitByLineBreaks(const std::u16string& text);
void SplitLocatorName(const std::u16string& name, std::u16string& first, std::u16string& rest);
// `text` without every character of `characters`.
std::u16string DeleteStr(const std::u16string& text, const std::u16string& characters);

// Case mapping independent of the process locale (Unicode simple case mapping of each UTF-16
// unit). A null text compares as an empty one.
int QelStrICmp(const char16_t* a, const char16_t* b);
std::u16string QelStrToLower(const std::u16string& text);
std::u16string QelStrToUpper(const std::u16string& text);
char QelToLower(char c);  // a byte of the ANSI code page
char16_t QelToLower(char16_t c);
char16_t QelToUpper(char16_t c);
// Map a NUL-terminated buffer of `size` units (terminator included) in place; 0, or EINVAL
// when the buffer is null or not terminated within `size` (the buffer is then emptied).
int QelChrToLower(char16_t* buffer, unsigned int size);
int QelChrToUpper(char16_t* buffer, unsigned int size);

class Timing {
 public:
  // Compact duration text: "200ms", "5.250s", "01:02:03.004", "1 day(s) 01:01:01". Only the
  // C library structure's `time` (seconds since 1970) and `millitm` fields are read.
  static std::u16string GetTimeDifferenceAsWstring(::timeb start, ::timeb end);
};

}  // namespace Qel
