// Conversions between UTF-16 and the byte code pages other than UTF-8 (the ANSI code page and
// Windows code page numbers), through ICU converters. Each thread uses its own converters, so
// every function may be called from any thread at the same time.
#pragma once

#include <cstddef>
#include <string>

namespace Qel::Detail {

// Code page numbers 0 (ANSI) and 3 (the thread's ANSI code page, the same here).
bool IsAnsiCodePage(unsigned int codePage);

// Decodes `size` bytes of `codePage`. Bytes the code page does not define become U+FFFD, or, when
// `strict`, throw BaseException 17. Throws BaseException 17 for a code page without converter.
std::u16string CodePageToUtf16(unsigned int codePage, const char* data, std::size_t size,
                               bool strict);
// Encodes `size` units into `codePage`; characters it cannot hold become its best fit or "?".
// Throws BaseException 17 for a code page without converter.
std::string Utf16ToCodePage(unsigned int codePage, const char16_t* data, std::size_t size);

// Lower-case mapping of one byte of the ANSI code page (the byte itself when its lower case is
// not a single byte of that code page).
char AnsiByteToLower(char c);

}  // namespace Qel::Detail
