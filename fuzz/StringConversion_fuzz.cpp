// Fuzzes the UTF-8/UTF-16 conversions against ICU with U+FFFD substitution (the same rules) and
// checks round trips, then feeds the decoded text to the number parsers and checks that their
// forms agree with each other.
#include <unicode/ustring.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/IcuReference.h"
#include "qel/core/Exceptions.h"
#include "qel/core/StringConversion.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::u16string IcuFromUtf8WithSub(const char* data, std::size_t size) {
  return Qel::Testing::IcuFromUtf8WithSub(data, size).value();
}

std::string IcuToUtf8WithSub(const std::u16string& units) {
  return Qel::Testing::IcuToUtf8WithSub(units).value();
}

bool IsWellFormedUtf8(const std::string& bytes) {
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING ||
         U_SUCCESS(status);
}

void CheckNumbers(const std::u16string& text) {
  int value32 = 0;
  std::int64_t value64 = 0;
  const bool ok32 = Qel::QelStringToInteger(text, value32);
  const bool ok64 = Qel::QelStringToLongLong(text, value64);
  if (!Qel::IsNumber(text)) {
    Check(!ok32 && !ok64 && value32 == -1 && value64 == -1);
    try {
      Qel::QelStringToLong(text);
      Check(false);
    } catch (const Qel::BaseException& e) {
      Check(e.GetErrorId() == 1);
    }
    return;
  }
  if (ok32) Check(ok64 && value64 == value32);
  if (ok64 && value64 >= INT32_MIN && value64 <= INT32_MAX) Check(ok32);
  if (ok32) Check(Qel::QelStringToInteger(Qel::IntegerToQelString(value32)) == value32);
  Check(Qel::QelStringToLongWithDefault(text, 77) == (ok32 ? value32 : 77));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);

  // UTF-8 to UTF-16 and back.
  const std::u16string wide = Qel::Utf8ToUtf16(bytes, size);
  Check(wide == IcuFromUtf8WithSub(bytes, size));
  const std::string narrow = Qel::Utf16ToUtf8(wide.data(), wide.size());
  Check(IsWellFormedUtf8(narrow));
  Check(Qel::Utf8ToUtf16(narrow.data(), narrow.size()) == wide);

  // The NUL-terminated forms stop at the first NUL.
  const std::string terminated(bytes, size);
  const std::u16string untilNul = Qel::ConvertUtf8ToWideChar(terminated);
  Check(untilNul == std::u16string(wide.c_str()));
  std::string withTerminator;
  Check(Qel::ConvertWideCharToUTF8(wide, withTerminator));
  Check(wide.empty() ? withTerminator.empty()
                     : withTerminator == IcuToUtf8WithSub(untilNul) + std::string(1, '\0'));

  // The same bytes as UTF-16 units, unpaired surrogates included.
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  const std::string encoded = Qel::ConvertWideCharToUtf8(units);
  Check(encoded == IcuToUtf8WithSub(units));
  Check(IsWellFormedUtf8(encoded));
  // Into caller buffers of exactly the stated size (the vector encoder stores 16 bytes a step).
  const auto into = std::make_unique_for_overwrite<char[]>(3 * units.size());
  Check(std::string(into.get(), Qel::Utf16ToUtf8(units.data(), units.size(), into.get())) ==
        encoded);
  const auto decoded = std::make_unique_for_overwrite<char16_t[]>(size);
  Check(std::u16string(decoded.get(), Qel::Utf8ToUtf16(bytes, size, decoded.get())) == wide);

  if (wide.size() <= 64) CheckNumbers(wide);
  return 0;
}
