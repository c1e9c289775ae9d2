// Typed values as text, independent of the host locale: the formats the XML classes write and
// the C scanning rules they read back with ("%d", "%u", "%I64d", "%I64u", "%lf", atol).
// Works on narrow (UTF-8) and UTF-16 text alike. Stateless.
#pragma once

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

namespace Qel::Detail {

template <class Char>
const Char* SkipSpaces(const Char* p, const Char* end) {
  while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
  return p;
}

// Optional sign and decimal digits after leading white space, as strtoull reads them: the
// magnitude saturates at the 64-bit maximum. Empty when no digit follows.
template <class Char>
std::optional<std::pair<bool, std::uint64_t>> ScanDecimal(const Char* p, const Char* end) {
  p = SkipSpaces(p, end);
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == end || *p < '0' || *p > '9') return std::nullopt;
  std::uint64_t value = 0;
  bool overflow = false;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    const auto digit = static_cast<std::uint64_t>(*p - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) overflow = true;
    value = overflow ? std::numeric_limits<std::uint64_t>::max() : value * 10 + digit;
  }
  return std::make_pair(negative, value);
}

// A signed value of type T, saturating at its limits.
template <class T, class Char>
std::optional<T> ScanSigned(const Char* p, const Char* end) {
  const auto scanned = ScanDecimal(p, end);
  if (!scanned) return std::nullopt;
  const auto [negative, magnitude] = *scanned;
  const auto maxPositive = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
  if (!negative)
    return magnitude > maxPositive ? std::numeric_limits<T>::max() : static_cast<T>(magnitude);
  if (magnitude > maxPositive) return std::numeric_limits<T>::min();
  return static_cast<T>(-static_cast<T>(magnitude));
}

// An unsigned value of type T: a negative text wraps around as the C library's "%u" does, a
// magnitude beyond T saturates.
template <class T, class Char>
std::optional<T> ScanUnsigned(const Char* p, const Char* end) {
  const auto scanned = ScanDecimal(p, end);
  if (!scanned) return std::nullopt;
  const auto [negative, magnitude] = *scanned;
  const T value = magnitude > std::numeric_limits<T>::max() ? std::numeric_limits<T>::max()
                                                            : static_cast<T>(magnitude);
  return negative ? static_cast<T>(T{0} - value) : value;
}

// A floating-point number as "%lf" scans it ("2.5abc" is 2.5; "abc" does not scan).
template <class T, class Char>
std::optional<T> ScanFloating(const Char* p, const Char* end) {
  p = SkipSpaces(p, end);
  char ascii[512];
  std::size_t n = 0;
  for (; p < end && n<sizeof ascii&& * p> 0 && *p < 0x7F; ++p) ascii[n++] = static_cast<char>(*p);
  const char* first = ascii;
  const char* last = ascii + n;
  bool negative = false;
  if (first < last && (*first == '+' || *first == '-')) negative = *first++ == '-';
  if (first < last && (*first == '+' || *first == '-')) return std::nullopt;
  T value{};
  std::from_chars_result result{};
  if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
    result = std::from_chars(first + 2, last, value, std::chars_format::hex);
    if (result.ec == std::errc::invalid_argument) {  // "0x" alone scans as 0
      value = 0;
      result.ec = std::errc{};
    }
  } else {
    result = std::from_chars(first, last, value, std::chars_format::general);
  }
  if (result.ec == std::errc::invalid_argument) return std::nullopt;
  if (result.ec == std::errc::result_out_of_range) {
    // As the C library: a negative exponent underflows to zero, anything else overflows.
    bool negativeExponent = false;
    for (const char* q = first; q + 1 < last; ++q)
      if ((*q == 'e' || *q == 'E' || *q == 'p' || *q == 'P') && q[1] == '-')
        negativeExponent = true;
    value = negativeExponent ? T{0} : std::numeric_limits<T>::infinity();
  }
  return negative ? -value : value;
}

// atol: the leading number, 0 when there is none.
template <class Char>
std::int32_t AtoL(const Char* p, const Char* end) {
  return ScanSigned<std::int32_t>(p, end).value_or(0);
}
template <class Char>
std::int64_t AtoLL(const Char* p, const Char* end) {
  return ScanSigned<std::int64_t>(p, end).value_or(0);
}

}  // namespace Qel::Detail
