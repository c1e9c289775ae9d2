// Hand-written because ICU's u_strFromUTF8WithSub/u_strToUTF8WithSub give the same U+FFFD
// results but walk ASCII one unit at a time; the wide ASCII path here makes common text
// several times faster.
#include "util/Utf.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Qel::Detail {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

inline bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Decodes one sequence that starts with a byte >= 0x80 at s[i]; advances i past it, or past
// its maximal ill-formed subpart, which becomes one U+FFFD.
inline void DecodeMultiByte(const unsigned char* s, std::size_t size, std::size_t& i, char16_t*& o,
                            bool& errors) {
  const unsigned b0 = s[i];
  if (b0 >= 0xC2 && b0 < 0xE0) {
    if (i + 1 < size && IsContinuation(s[i + 1])) {
      *o++ = static_cast<char16_t>(((b0 & 0x1F) << 6) | (s[i + 1] & 0x3F));
      i += 2;
      return;
    }
  } else if (b0 >= 0xE0 && b0 < 0xF0) {
    // E0 needs A0..BF next (no overlong forms), ED needs 80..9F (no surrogates).
    const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80;
    const unsigned hi = b0 == 0xED ? 0x9F : 0xBF;
    if (i + 1 < size && s[i + 1] >= lo && s[i + 1] <= hi) {
      if (i + 2 < size && IsContinuation(s[i + 2])) {
        *o++ = static_cast<char16_t>(((b0 & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) |
                                     (s[i + 2] & 0x3F));
        i += 3;
        return;
      }
      i += 1;  // the lead and the valid second byte form one subpart
    }
  } else if (b0 >= 0xF0 && b0 < 0xF5) {
    // F0 needs 90..BF next (no overlong forms), F4 needs 80..8F (nothing above U+10FFFF).
    const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80;
    const unsigned hi = b0 == 0xF4 ? 0x8F : 0xBF;
    if (i + 1 < size && s[i + 1] >= lo && s[i + 1] <= hi) {
      if (i + 2 < size && IsContinuation(s[i + 2])) {
        if (i + 3 < size && IsContinuation(s[i + 3])) {
          const std::uint32_t cp = ((b0 & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) |
                                   ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
          *o++ = static_cast<char16_t>(0xD7C0 + (cp >> 10));
          *o++ = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
          i += 4;
          return;
        }
        i += 1;
      }
      i += 1;
    }
  }
  *o++ = kReplacement;
  i += 1;
  errors = true;
}

inline void EncodeNonAscii(const char16_t* s, std::size_t size, std::size_t& i, char*& o,
                           bool& errors) {
  const unsigned c = s[i];
  if (c < 0x800) {
    *o++ = static_cast<char>(0xC0 | (c >> 6));
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
    i += 1;
  } else if ((c & 0xF800) != 0xD800) {
    *o++ = static_cast<char>(0xE0 | (c >> 12));
    *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
    i += 1;
  } else if (c < 0xDC00 && i + 1 < size && (s[i + 1] & 0xFC00) == 0xDC00) {
    const std::uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
    *o++ = static_cast<char>(0xF0 | (cp >> 18));
    *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    i += 2;
  } else {
    *o++ = static_cast<char>(0xEF);
    *o++ = static_cast<char>(0xBF);
    *o++ = static_cast<char>(0xBD);
    i += 1;
    errors = true;
  }
}

}  // namespace

std::size_t Utf8ToUtf16Buffer(const char* data, std::size_t size, char16_t* out, bool* hadErrors) {
  const auto* s = reinterpret_cast<const unsigned char*>(data);
  char16_t* o = out;
  std::size_t i = 0;
  bool errors = false;
  while (i < size) {
#if defined(__SSE2__)
    // Output never runs ahead of input (o - out <= i), so 16 units fit whenever 16 bytes remain.
    if (size - i >= 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      const __m128i zero = _mm_setzero_si128();
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(chunk, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(chunk, zero));
      const int mask = _mm_movemask_epi8(chunk);
      if (mask == 0) {
        i += 16;
        o += 16;
        continue;
      }
      const int ascii = __builtin_ctz(static_cast<unsigned>(mask));
      i += ascii;
      o += ascii;
    }
#endif
    if (s[i] < 0x80) {
      *o++ = s[i++];
      continue;
    }
    do {
      DecodeMultiByte(s, size, i, o, errors);
    } while (i < size && s[i] >= 0x80);
  }
  if (hadErrors != nullptr) *hadErrors = errors;
  return static_cast<std::size_t>(o - out);
}

std::size_t Utf8LengthOf(const char16_t* data, std::size_t size) {
  std::size_t length = 0;
  std::size_t i = 0;
  while (i < size) {
#if defined(__SSE2__)
    if (size - i >= 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xFFFF) {
        length += 8;
        i += 8;
        continue;
      }
    }
#endif
    const std::size_t end = size - i > 8 ? i + 8 : size;
    while (i < end) {
      const char16_t c = data[i++];
      if (c < 0x80) {
        length += 1;
      } else if (c < 0x800) {
        length += 2;
      } else if (c >= 0xD800 && c < 0xDC00 && i < size && (data[i] & 0xFC00) == 0xDC00) {
        length += 4;
        ++i;
      } else {
        length += 3;
      }
    }
  }
  return length;
}

std::size_t Utf16ToUtf8Buffer(const char16_t* data, std::size_t size, char* out, bool* hadErrors) {
  char* o = out;
  std::size_t i = 0;
  bool errors = false;
  while (i < size) {
#if defined(__SSE2__)
    // 8 units take at least 8 output bytes, so a packed store of 8 fits an exact-size buffer.
    if (size - i >= 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
      const unsigned asciiMask =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(units, units));
      if (asciiMask == 0xFFFF) {
        i += 8;
        o += 8;
        continue;
      }
      const int ascii = __builtin_ctz(~asciiMask) / 2;
      i += ascii;
      o += ascii;
    }
#endif
    if (data[i] < 0x80) {
      *o++ = static_cast<char>(data[i++]);
      continue;
    }
    do {
      EncodeNonAscii(data, size, i, o, errors);
    } while (i < size && data[i] >= 0x80);
  }
  if (hadErrors != nullptr) *hadErrors = errors;
  return static_cast<std::size_t>(o - out);
}

}  // namespace Qel::Detail
