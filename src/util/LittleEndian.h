// The little-endian layout of the library's binary data, whatever the host: integers and IEEE
// 754 floating-point values as bytes and on binary streams. The stream forms report a failed
// stream by returning false; callers decide whether that throws. Stateless; any thread.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <type_traits>

namespace Qel::Detail {

// Integers and floating-point values of 1, 2, 4 or 8 bytes.
template <class T>
concept LittleEndianValue = std::is_arithmetic_v<T> && std::has_single_bit(sizeof(T)) &&
                            sizeof(T) <= 8;

// The unsigned integer with T's bits.
template <LittleEndianValue T>
using LittleEndianBits = std::conditional_t<
    sizeof(T) == 1, std::uint8_t,
    std::conditional_t<sizeof(T) == 2, std::uint16_t,
                       std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;

// Writes `value` as sizeof(T) bytes, least significant first.
template <LittleEndianValue T>
void StoreLittleEndian(T value, unsigned char* bytes) {
  const auto bits = std::bit_cast<LittleEndianBits<T>>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i)
    bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
}

// The value whose sizeof(T) bytes, least significant first, start at `bytes`.
template <LittleEndianValue T>
T LoadLittleEndian(const unsigned char* bytes) {
  LittleEndianBits<T> bits = 0;
  for (std::size_t i = sizeof(T); i-- > 0;)
    bits = static_cast<LittleEndianBits<T>>((bits << 8) | bytes[i]);
  return std::bit_cast<T>(bits);
}

// One value on a stream; false when the stream failed.
template <LittleEndianValue T>
bool WriteLittleEndian(std::ostream& os, T value) {
  unsigned char bytes[sizeof(T)];
  StoreLittleEndian(value, bytes);
  os.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  return !os.fail();
}

template <LittleEndianValue T>
bool ReadLittleEndian(std::istream& is, T& value) {
  unsigned char bytes[sizeof(T)];
  is.read(reinterpret_cast<char*>(bytes), sizeof bytes);
  if (is.fail()) return false;
  value = LoadLittleEndian<T>(bytes);
  return true;
}

// `count` values into `values` at once; false when the stream failed (`values` then holds
// what was read).
template <LittleEndianValue T>
bool ReadLittleEndian(std::istream& is, T* values, std::size_t count) {
  is.read(reinterpret_cast<char*>(values), static_cast<std::streamsize>(count * sizeof(T)));
  if constexpr (std::endian::native != std::endian::little) {
    for (std::size_t i = 0; i < count; ++i) {
      unsigned char bytes[sizeof(T)];
      std::memcpy(bytes, values + i, sizeof(T));
      values[i] = LoadLittleEndian<T>(bytes);
    }
  }
  return !is.fail();
}

}  // namespace Qel::Detail
