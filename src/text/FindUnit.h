// The first occurrence of one UTF-16 unit in a range, eight units at a time where the processor
// allows: the search behind qualifiers and one-unit substitution keys.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Qel::Detail {

// Index of the first `unit` in data[from, size), or std::u16string::npos.
inline std::size_t FindUnit(const char16_t* data, std::size_t from, std::size_t size,
                            char16_t unit) {
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  for (; i + 8 <= size; i += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const int found = _mm_movemask_epi8(_mm_cmpeq_epi16(units, wanted));
    if (found != 0)
      return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(found))) / 2;
  }
#endif
  for (; i < size; ++i) {
    if (data[i] == unit) return i;
  }
  return std::u16string::npos;
}

// Index of the first occurrence of `item` (not empty) in text[from, size), or npos.
inline std::size_t FindUnits(const std::u16string& text, std::size_t from,
                             std::u16string_view item) {
  const char16_t* data = text.data();
  const std::size_t size = text.size();
  if (item.size() > size) return std::u16string::npos;
  const std::size_t last = size - item.size() + 1;  // starts past it leave too little room
  for (std::size_t i = from; i < last; ++i) {
    i = FindUnit(data, i, last, item[0]);
    if (i == std::u16string::npos) return i;
    if (std::u16string_view(data + i, item.size()) == item) return i;
  }
  return std::u16string::npos;
}

}  // namespace Qel::Detail
