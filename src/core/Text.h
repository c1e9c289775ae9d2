// Numbers as text and ASCII as UTF-16: the small formatting steps every area needs, in one
// place. Numbers are formatted independently of the host locale. Stateless; any thread.
#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <type_traits>

namespace Qel::Detail {

// ASCII text as UTF-16, one unit for each byte.
inline std::u16string AsciiToU16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// Decimal text of an integer, with "-" for negatives.
template <class Int>
std::string DecimalText(Int value) {
  static_assert(std::is_integral_v<Int> && !std::is_same_v<Int, bool>);
  char buffer[24];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}
template <class Int>
std::u16string DecimalU16(Int value) {
  return AsciiToU16(DecimalText(value));
}

// "%f": fixed notation with six digits after the point (the largest doubles need 317 chars).
inline std::string FixedText(double value) {
  char buffer[400];
  return std::string(
      buffer,
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6).ptr);
}

}  // namespace Qel::Detail
