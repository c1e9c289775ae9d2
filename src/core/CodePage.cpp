#include "core/CodePage.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Text.h"
#include "core/Throw.h"
#include "platform/AnsiCodePage.h"

namespace Qel::Detail {
namespace {

// Code page numbers whose ICU name is not "windows-N", "ibm-N" or "cpN".
struct NamedCodePage {
  unsigned int codePage;
  const char* name;
};
constexpr NamedCodePage kNamedCodePages[] = {
    {1, "ibm-437"},         {2, "macintosh"},      {10000, "macintosh"},   {20866, "KOI8-R"},
    {21866, "KOI8-U"},      {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},  {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},  {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
    {50220, "ISO-2022-JP"}, {51932, "EUC-JP"},     {51949, "EUC-KR"},      {54936, "GB18030"},
    {65000, "UTF-7"},
};
// UTF-16 and UTF-32 are not byte texts that end at a NUL byte.
constexpr unsigned int kRejectedCodePages[] = {1200, 1201, 12000, 12001};

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

[[noreturn]] void ThrowUnknownCodePage(unsigned int codePage, const std::string& detail) {
  std::string text = " (no converter for code page " + std::to_string(codePage);
  if (!detail.empty()) text += " '" + detail + "'";
  text += ")";
  ThrowGeneral(SystemErrorText(EINVAL) + AsciiToU16(text));
}

ConverterPtr OpenNamed(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(name, &status));
  if (U_FAILURE(status)) return nullptr;
  return converter;
}

// Opens the converter for `codePage`, set up to substitute "?" for unmappable characters and to
// use best-fit mappings where the converter has them.
ConverterPtr OpenForCodePage(unsigned int codePage) {
  ConverterPtr converter;
  if (IsAnsiCodePage(codePage)) {
    converter = OpenNamed(AnsiConverterName().c_str());
    if (!converter) ThrowUnknownCodePage(codePage, "QEL_ANSI_CODEPAGE=" + AnsiConverterName());
  } else {
    for (unsigned int rejected : kRejectedCodePages) {
      if (rejected == codePage) ThrowUnknownCodePage(codePage, "");
    }
    for (const NamedCodePage& named : kNamedCodePages) {
      if (named.codePage == codePage) converter = OpenNamed(named.name);
    }
    const std::string number = std::to_string(codePage);
    for (const char* prefix : {"windows-", "ibm-", "cp"}) {
      if (!converter) converter = OpenNamed((prefix + number).c_str());
    }
    if (!converter) ThrowUnknownCodePage(codePage, "");
  }
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setSubstChars(converter.get(), "?", 1, &status);
  ucnv_setFallback(converter.get(), true);
  return converter;
}

// Each thread keeps the converters it used: ICU converters are stateful and not shareable.
UConverter* ConverterFor(unsigned int codePage) {
  thread_local std::vector<std::pair<unsigned int, ConverterPtr>> cache;
  if (IsAnsiCodePage(codePage)) codePage = 0;
  for (auto& [cachedPage, converter] : cache) {
    if (cachedPage == codePage) {
      ucnv_reset(converter.get());
      return converter.get();
    }
  }
  cache.emplace_back(codePage, OpenForCodePage(codePage));
  return cache.back().second.get();
}

// Writes U+FFFD for every byte sequence the converter cannot decode.
void SubstituteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*,
                                    int32_t, UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close and clone need nothing
  static const UChar replacement = 0xFFFD;
  *status = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, status);
}

}  // namespace

bool IsAnsiCodePage(unsigned int codePage) { return codePage == 0 || codePage == 3; }

std::u16string CodePageToUtf16(unsigned int codePage, const char* data, std::size_t size,
                               bool strict) {
  UConverter* converter = ConverterFor(codePage);
  UErrorCode status = U_ZERO_ERROR;
  if (strict) {
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  } else {
    ucnv_setToUCallBack(converter, SubstituteReplacementCharacter, nullptr, nullptr, nullptr,
                        &status);
  }
  std::u16string out(size + 8, u'\0');
  const char* source = data;
  const char* sourceEnd = data + size;
  std::size_t written = 0;
  for (;;) {
    UChar* target = out.data() + written;
    status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, out.data() + out.size(), &source, sourceEnd, nullptr, true,
                   &status);
    written = static_cast<std::size_t>(target - out.data());
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    out.resize(out.size() * 2);
  }
  if (U_FAILURE(status)) {
    ThrowGeneral(SystemErrorText(status == U_ILLEGAL_ARGUMENT_ERROR ? EINVAL : EILSEQ));
  }
  out.resize(written);
  return out;
}

std::string Utf16ToCodePage(unsigned int codePage, const char16_t* data, std::size_t size) {
  UConverter* converter = ConverterFor(codePage);
  std::string out(size * static_cast<std::size_t>(ucnv_getMaxCharSize(converter)) + 8, '\0');
  const UChar* source = data;
  const UChar* sourceEnd = data + size;
  std::size_t written = 0;
  UErrorCode status = U_ZERO_ERROR;
  for (;;) {
    char* target = out.data() + written;
    status = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, out.data() + out.size(), &source, sourceEnd, nullptr, true,
                     &status);
    written = static_cast<std::size_t>(target - out.data());
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    out.resize(out.size() * 2);
  }
  if (U_FAILURE(status)) ThrowGeneral(SystemErrorText(EILSEQ));
  out.resize(written);
  return out;
}

char AnsiByteToLower(char c) {
  // Built once: the ANSI code page is fixed for the life of the process.
  static const std::array<char, 256> table = [] {
    std::array<char, 256> result{};
    ConverterPtr converter = OpenNamed(AnsiConverterName().c_str());
    for (int b = 0; b < 256; ++b) {
      result[b] = static_cast<char>(b);
      if (!converter) continue;
      const char byte = static_cast<char>(b);
      UChar unit[4];
      UErrorCode status = U_ZERO_ERROR;
      ucnv_reset(converter.get());
      if (ucnv_toUChars(converter.get(), unit, 4, &byte, 1, &status) != 1 || U_FAILURE(status)) {
        continue;
      }
      const UChar32 lower = u_tolower(unit[0]);
      if (lower == unit[0] || lower > 0xFFFF) continue;
      const UChar lowerUnit = static_cast<UChar>(lower);
      char encoded[8];
      status = U_ZERO_ERROR;
      ucnv_reset(converter.get());
      // Only an exact mapping counts: a substituted "?" is no lower case.
      ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                            &status);
      if (ucnv_fromUChars(converter.get(), encoded, 8, &lowerUnit, 1, &status) == 1 &&
          U_SUCCESS(status)) {
        result[b] = encoded[0];
      }
    }
    return result;
  }();
  return table[static_cast<unsigned char>(c)];
}

}  // namespace Qel::Detail
