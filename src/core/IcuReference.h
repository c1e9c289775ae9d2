// ICU's UTF-8/UTF-16 conversions with U+FFFD substitution, the reference the library's own
// transcoder is checked against by its tests and fuzz target. Not part of the library.
#pragma once

#include <unicode/ustring.h>

#include <cstddef>
#include <optional>
#include <string>

namespace Qel::Testing {

// Nothing when ICU reports a failure.
inline std::optional<std::u16string> IcuFromUtf8WithSub(const char* data, std::size_t size) {
  std::u16string out(size + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, data,
                       static_cast<int32_t>(size), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(length));
  return out;
}

inline std::optional<std::string> IcuToUtf8WithSub(const std::u16string& units) {
  std::string out(units.size() * 3 + 1, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, units.data(),
                     static_cast<int32_t>(units.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(length));
  return out;
}

}  // namespace Qel::Testing
