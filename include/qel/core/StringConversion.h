// Text conversions shared by the whole library: UTF-16 (the library's wide string) to and from
// the ANSI code page and UTF-8, text to and from numbers, splitting, replacing and case
// mapping under a fixed English case mapping. All functions are stateless and may be called
// from any thread at the same time.
#pragma once

#include <qel/core/Export.h>
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
QEL_API std::u16string ConvertToWideChar(unsigned int codePage, std::uint32_t flags,
                                         const char* text);
// Wide to narrow. Without terminator the whole string is converted, embedded NULs included;
// with terminator conversion stops at the first NUL and the result ends with a NUL.
// An unpaired surrogate becomes U+FFFD in UTF-8 and "?" in other code pages, as does a
// character the code page cannot hold. Throws BaseException 17 on failure.
QEL_API std::string ConvertFromWideChar(unsigned int codePage, std::uint32_t flags,
                                        const std::u16string& text, bool withTerminator);

QEL_API std::u16string ConvertA2W(const std::string& text);
QEL_API std::u16string ConvertA2W(const char* text);
QEL_API bool ConvertA2W(const std::string& text, std::u16string& out);
QEL_API bool ConvertA2W(const char* text, std::u16string& out);
QEL_API std::string ConvertW2A(const std::u16string& text);
QEL_API bool ConvertW2A(const std::u16string& text, std::string& out);
QEL_API std::u16string ConvertUtf8ToWideChar(const std::string& text);
QEL_API std::u16string ConvertUtf8ToWideChar(const char* text);
QEL_API bool ConvertUtf8ToWideChar(const char* text, std::u16string& out);
QEL_API bool ConvertUTF8ToWideChar(const std::string& text, std::u16string& out);
// UTF-8 without terminator.
QEL_API std::string ConvertWideCharToUtf8(const std::u16string& text);
// UTF-8 up to the first NUL, followed by a NUL that is part of `out`'s length.
QEL_API bool ConvertWideCharToUTF8(const std::u16string& text, std::string& out);

// Conversions of a byte range / unit range that never stop at a NUL (for callers that hold
// lengths, such as files and streams). Ill-formed input becomes U+FFFD.
QEL_API std::u16string Utf8ToUtf16(const char* data, std::size_t size);
QEL_API std::string Utf16ToUtf8(const char16_t* data, std::size_t size);
// The same into `out`, which is replaced and keeps its capacity: a caller converting piece by
// piece reuses one buffer.
QEL_API void Utf16ToUtf8(const char16_t* data, std::size_t size, std::string& out);
// The same into a caller's buffer, which holds at least `size` units (from UTF-8) or 3 * `size`
// bytes (from UTF-16); returns how many units or bytes were written.
QEL_API std::size_t Utf8ToUtf16(const char* data, std::size_t size, char16_t* out);
QEL_API std::size_t Utf16ToUtf8(const char16_t* data, std::size_t size, char* out);

// Text to number: throws BaseException 1 when IsNumber fails ("Qel::QelStringToInteger(@0:'x')")
// and BaseException 17 wrapping the standard conversion error when no digit is read or the
// value is out of range.
QEL_API int QelStringToInteger(const std::u16string& text);
QEL_API std::int32_t QelStringToLong(const std::u16string& text);
QEL_API std::int64_t QelStringToLongLong(const std::u16string& text);
// Never throw: false and out = -1 on failure.
QEL_API bool QelStringToInteger(const std::u16string& text, int& out);
QEL_API bool QelStringToLong(const std::u16string& text, std::int32_t& out);
QEL_API bool QelStringToLongLong(const std::u16string& text, std::int64_t& out);
QEL_API int QelStringToIntegerWithDefault(const std::u16string& text, int defaultValue);
QEL_API std::int32_t QelStringToLongWithDefault(const std::u16string& text,
                                                std::int32_t defaultValue);
QEL_API std::int64_t QelStringToLongLongWithDefault(const std::u16string& text,
                                                    std::int64_t defaultValue);
QEL_API std::u16string IntegerToQelString(int value);
QEL_API std::u16string LongToQelString(std::int32_t value);
// A lenient test that a text looks like a formatted number with digit-group separators.
QEL_API bool IsNumber(const std::u16string& text);
QEL_API bool IsNumeric(const char16_t& c);
// Number of digits 0-9 in the text up to its first NUL.
QEL_API std::int32_t GetNumCount(std::u16string& text);

// Every occurrence of `find` replaced from left to right without overlap; both texts end at
// their first NUL. An empty `find` returns `text` unchanged.
QEL_API std::u16string Replace(const std::u16string& text, const std::u16string& find,
                               const std::u16string& replacement);
// Fields between separators; a trailing separator gives no empty last field.
QEL_API std::vector<std::u16string> Split(const std::u16string& text, char16_t separator);
// Splits at the first occurrence of `separator`; false (outputs unchanged) when absent.
QEL_API bool Split(const std::u16string& text, const std::u16string& separator,
                   std::u16string& left, std::u16string& right);
// Tokens between characters of `delimiters`; never an empty token.
QEL_API std::vector<std::u16string> QelSplit(const std::u16string& text,
                                             const std::u16string& delimiters);
// Lines split at "\n" with one trailing "\r" removed each. The caller deletes the vector.
QEL_API std::vector<std::u16string>* SplitByLineBreaks(const std::u16string& text);
QEL_API void SplitLocatorName(const std::u16string& name, std::u16string& first,
                              std::u16string& rest);
// `text` without every character of `characters`.
QEL_API std::u16string DeleteStr(const std::u16string& text, const std::u16string& characters);

// Case mapping independent of the process locale (Unicode simple case mapping of each UTF-16
// unit). A null text compares as an empty one.
QEL_API int QelStrICmp(const char16_t* a, const char16_t* b);
QEL_API std::u16string QelStrToLower(const std::u16string& text);
QEL_API std::u16string QelStrToUpper(const std::u16string& text);
QEL_API char QelToLower(char c);  // a byte of the ANSI code page
QEL_API char16_t QelToLower(char16_t c);
QEL_API char16_t QelToUpper(char16_t c);
// Map a NUL-terminated buffer of `size` units (terminator included) in place; 0, or EINVAL
// when the buffer is null or not terminated within `size` (the buffer is then emptied).
QEL_API int QelChrToLower(char16_t* buffer, unsigned int size);
QEL_API int QelChrToUpper(char16_t* buffer, unsigned int size);

class QEL_API Timing {
 public:
  // Compact duration text: "200ms", "5.250s", "01:02:03.004", "1 day(s) 01:01:01". Only the
  // C library structure's `time` (seconds since 1970) and `millitm` fields are read.
  static std::u16string GetTimeDifferenceAsWstring(::timeb start, ::timeb end);
};

}  // namespace Qel
