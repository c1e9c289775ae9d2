// Hand-written because ICU's u_strFromUTF8WithSub/u_strToUTF8WithSub give the same U+FFFD
// results but walk ASCII one unit at a time: the wide ASCII path here is several times faster
// on ASCII, and the loops for other text are no slower.
#include "core/Utf.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
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

// Decodes one sequence that starts with a byte >= 0x80 at s[i] as Utf8Decoding::Unchecked
// reads it; advances i past it (to the end when it is cut off there).
inline void DecodeUnchecked(const unsigned char* s, std::size_t size, std::size_t& i, char16_t*& o,
                            bool& errors) {
  const unsigned b0 = s[i];
  const std::size_t extra = b0 < 0xE0 ? 1 : b0 < 0xF0 ? 2 : 3;
  if (b0 < 0xC0 || b0 >= 0xF8 || size - i - 1 < extra) {
    *o++ = kReplacement;
    i = b0 < 0xC0 || b0 >= 0xF8 ? i + 1 : size;
    errors = true;
    return;
  }
  std::uint32_t cp = b0 & (0x3F >> extra);
  for (std::size_t k = 1; k <= extra; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
  i += extra + 1;
  if (cp > 0x10FFFF) {
    *o++ = kReplacement;
    errors = true;
  } else if (cp > 0xFFFF) {
    *o++ = static_cast<char16_t>(0xD7C0 + (cp >> 10));
    *o++ = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
  } else {
    *o++ = static_cast<char16_t>(cp);
  }
}

// Bytes of the sequence at data[i]; advances i past it.
inline std::size_t ScalarUtf8Length(const char16_t* data, std::size_t size, std::size_t& i) {
  const char16_t c = data[i++];
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (c >= 0xD800 && c < 0xDC00 && i < size && (data[i] & 0xFC00) == 0xDC00) {
    ++i;
    return 4;
  }
  return 3;
}

template <Utf8Decoding kDecoding>
std::size_t DecodeUtf8(const char* data, std::size_t size, char16_t* out, bool* hadErrors) {
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
      // The ASCII prefix is already stored; the run of non-ASCII sequences follows.
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
      const unsigned b0 = s[i];
      // Well-formed two- and three-byte sequences first; everything else takes the full check.
      if (b0 >= 0xC2 && b0 < 0xE0 && i + 1 < size && IsContinuation(s[i + 1])) {
        *o++ = static_cast<char16_t>(((b0 & 0x1F) << 6) | (s[i + 1] & 0x3F));
        i += 2;
        continue;
      }
      if ((b0 & 0xF0) == 0xE0 && i + 2 < size && IsContinuation(s[i + 1]) &&
          IsContinuation(s[i + 2])) {
        const unsigned c = ((b0 & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
        if (c >= 0x800 && (c & 0xF800) != 0xD800) {
          *o++ = static_cast<char16_t>(c);
          i += 3;
          continue;
        }
      }
      // Both decodings read well-formed sequences alike; they differ only on the rest.
      if constexpr (kDecoding == Utf8Decoding::Strict) {
        DecodeMultiByte(s, size, i, o, errors);
      } else {
        DecodeUnchecked(s, size, i, o, errors);
      }
    } while (i < size && s[i] >= 0x80);
  }
  if (hadErrors != nullptr) *hadErrors = errors;
  return static_cast<std::size_t>(o - out);
}

}  // namespace

std::size_t Utf8ToUtf16Buffer(const char* data, std::size_t size, char16_t* out, bool* hadErrors,
                              Utf8Decoding decoding) {
  return decoding == Utf8Decoding::Strict
             ? DecodeUtf8<Utf8Decoding::Strict>(data, size, out, hadErrors)
             : DecodeUtf8<Utf8Decoding::Unchecked>(data, size, out, hadErrors);
}

std::size_t Utf8LengthOf(const char16_t* data, std::size_t size) {
  std::size_t length = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  // Each unit counts 3 bytes, less one below U+0800 and one more below U+0080; a surrogate
  // pair (3 + 3) is 4 bytes, so two are taken off for each high surrogate followed by a low
  // one. The second load, one unit further, sees the unit after each lane.
  const __m128i below80 = _mm_set1_epi16(0x7F);
  const __m128i below800 = _mm_set1_epi16(0x7FF);
  const __m128i surrogateBits = _mm_set1_epi16(static_cast<short>(0xFC00));
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xD800));
  const __m128i low = _mm_set1_epi16(static_cast<short>(0xDC00));
  const __m128i zero = _mm_setzero_si128();
  while (size - i >= 9) {
    // A lane loses at most 2 per chunk: summing every 4096 chunks keeps it within 16 bits.
    __m128i reductions = zero;
    for (int chunks = 0; chunks < 4096 && size - i >= 9; ++chunks, i += 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
      const __m128i isAscii = _mm_cmpeq_epi16(_mm_subs_epu16(units, below80), zero);
      const __m128i isTwoByte = _mm_cmpeq_epi16(_mm_subs_epu16(units, below800), zero);
      const __m128i isPair =
          _mm_and_si128(_mm_cmpeq_epi16(_mm_and_si128(units, surrogateBits), high),
                        _mm_cmpeq_epi16(_mm_and_si128(next, surrogateBits), low));
      reductions = _mm_add_epi16(reductions, _mm_add_epi16(_mm_add_epi16(isAscii, isTwoByte),
                                                           _mm_add_epi16(isPair, isPair)));
      length += 24;
    }
    alignas(16) std::int16_t lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), reductions);
    for (std::int16_t lane : lanes) length -= static_cast<std::size_t>(-lane);
  }
#endif
  // A low surrogate whose pair was counted above counts 3 here, which completes the pair's 4.
  while (i < size) length += ScalarUtf8Length(data, size, i);
  return length;
}

#if defined(__SSE2__)

// For four units in 32-bit lanes, each lane holding its UTF-8 in its low bytes: which bytes to
// keep, indexed by the lanes of two bytes or more (bits 0-3) and of three (bits 4-7), and how
// many they are.
struct Utf8Compaction {
  alignas(16) unsigned char shuffle[256][16];
  unsigned char length[256];
};

constexpr Utf8Compaction MakeUtf8Compaction() {
  Utf8Compaction table{};
  for (int index = 0; index < 256; ++index) {
    int n = 0;
    for (int lane = 0; lane < 4; ++lane) {
      const int bytes = 1 + ((index >> lane) & 1) + ((index >> (lane + 4)) & 1);
      for (int b = 0; b < bytes; ++b)
        table.shuffle[index][n++] = static_cast<unsigned char>(4 * lane + b);
    }
    table.length[index] = static_cast<unsigned char>(n);
    while (n < 16) table.shuffle[index][n++] = 0x80;  // a zero byte
  }
  return table;
}

constexpr Utf8Compaction kUtf8Compaction = MakeUtf8Compaction();

// Encodes four units (no surrogates) held in 32-bit lanes at `o`, storing 16 bytes; returns the
// number that count.
__attribute__((target("ssse3"))) inline std::size_t EncodeFour(__m128i c, char* o) {
  const __m128i isOne = _mm_cmplt_epi32(c, _mm_set1_epi32(0x80));
  const __m128i isUpToTwo = _mm_cmplt_epi32(c, _mm_set1_epi32(0x800));
  const __m128i low6 = _mm_set1_epi32(0x3F);
  const __m128i two = _mm_or_si128(_mm_or_si128(_mm_set1_epi32(0x80C0), _mm_srli_epi32(c, 6)),
                                   _mm_slli_epi32(_mm_and_si128(c, low6), 8));
  const __m128i three =
      _mm_or_si128(_mm_or_si128(_mm_set1_epi32(0x8080E0), _mm_srli_epi32(c, 12)),
                   _mm_or_si128(_mm_slli_epi32(_mm_and_si128(_mm_srli_epi32(c, 6), low6), 8),
                                _mm_slli_epi32(_mm_and_si128(c, low6), 16)));
  const __m128i multi =
      _mm_or_si128(_mm_and_si128(isUpToTwo, two), _mm_andnot_si128(isUpToTwo, three));
  const __m128i bytes = _mm_or_si128(_mm_and_si128(isOne, c), _mm_andnot_si128(isOne, multi));
  const int atLeastTwo = ~_mm_movemask_ps(_mm_castsi128_ps(isOne)) & 15;
  const int threeBytes = ~_mm_movemask_ps(_mm_castsi128_ps(isUpToTwo)) & 15;
  const int index = atLeastTwo | (threeBytes << 4);
  const __m128i keep =
      _mm_load_si128(reinterpret_cast<const __m128i*>(kUtf8Compaction.shuffle[index]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(bytes, keep));
  return kUtf8Compaction.length[index];
}

// Encodes eight units at a time while they hold no surrogate and 32 bytes of room remain;
// advances `p` and `o` past what it wrote.
__attribute__((target("ssse3"))) void EncodeEights(const char16_t*& p, const char16_t* end,
                                                   char*& o, const char* outEnd) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i surrogateBits = _mm_set1_epi16(static_cast<short>(0xF800));
  const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
  const __m128i nonAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  while (end - p >= 8 && outEnd - o >= 32) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, surrogateBits), surrogate)) != 0) {
      return;
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, nonAscii), zero)) == 0xFFFF) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(units, units));
      o += 8;
    } else {
      o += EncodeFour(_mm_unpacklo_epi16(units, zero), o);
      o += EncodeFour(_mm_unpackhi_epi16(units, zero), o);
    }
    p += 8;
  }
}

bool PickWideEncoder() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

const bool kWideEncoder = PickWideEncoder();

#endif

std::size_t Utf16ToUtf8Buffer(const char16_t* data, std::size_t size, char* out,
                              std::size_t capacity, bool* hadErrors) {
  // Without the vector encoder, deciding per block of 32 units, not per chunk of 8, keeps the
  // plain loop running through mixed text, where switching between the two paths costs more
  // than the wide ASCII path saves.
  constexpr std::ptrdiff_t kBlock = 32;
  const char16_t* p = data;
  const char16_t* const dataEnd = data + size;
  char* o = out;
  const char* const outEnd = out + capacity;
  bool errors = false;
  while (p < dataEnd) {
#if defined(__SSE2__)
    if (kWideEncoder) {
      EncodeEights(p, dataEnd, o, outEnd);
      if (p == dataEnd) break;
    }
    // After the vector encoder stops, the plain loop takes the next eight units (or the rest).
    const std::ptrdiff_t block = kWideEncoder ? 8 : kBlock;
#else
    const std::ptrdiff_t block = kBlock;
#endif
    const char16_t* blockEnd = dataEnd - p > block ? p + block : dataEnd;
#if defined(__SSE2__)
    // A block of ASCII is packed 8 units at a time (exactly one output byte per unit).
    if (blockEnd - p == kBlock) {
      __m128i any = _mm_setzero_si128();
      for (int k = 0; k < kBlock; k += 8) {
        any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k)));
      }
      any = _mm_and_si128(any, _mm_set1_epi16(static_cast<short>(0xFF80)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(any, _mm_setzero_si128())) == 0xFFFF) {
        for (int k = 0; k < kBlock; k += 8) {
          const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
          _mm_storel_epi64(reinterpret_cast<__m128i*>(o + k), _mm_packus_epi16(units, units));
        }
        p += kBlock;
        o += kBlock;
        continue;
      }
    }
#endif
    while (p < blockEnd) {
      const unsigned c = *p++;
      if (c < 0x80) {
        *o++ = static_cast<char>(c);
      } else if (c < 0x800) {
        o[0] = static_cast<char>(0xC0 | (c >> 6));
        o[1] = static_cast<char>(0x80 | (c & 0x3F));
        o += 2;
      } else if ((c & 0xF800) != 0xD800) {
        o[0] = static_cast<char>(0xE0 | (c >> 12));
        o[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        o[2] = static_cast<char>(0x80 | (c & 0x3F));
        o += 3;
      } else if (c < 0xDC00 && p < dataEnd && (*p & 0xFC00) == 0xDC00) {
        const std::uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00u);
        o[0] = static_cast<char>(0xF0 | (cp >> 18));
        o[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        o[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        o[3] = static_cast<char>(0x80 | (cp & 0x3F));
        o += 4;
      } else {
        o[0] = static_cast<char>(0xEF);
        o[1] = static_cast<char>(0xBF);
        o[2] = static_cast<char>(0xBD);
        o += 3;
        errors = true;
      }
    }
  }
  if (hadErrors != nullptr) *hadErrors = errors;
  return static_cast<std::size_t>(o - out);
}

}  // namespace Qel::Detail
