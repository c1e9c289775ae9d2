// The block engine of the word filter, included by the translation units that build its paths
// (some of them compiled for later instruction sets). Everything here has internal linkage, so
// the copies compiled with different instruction sets never meet at link time.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__AVX512BW__)
#include <immintrin.h>
#endif

#include "text/WordBlocks.h"

namespace Qel::Detail {
namespace {

constexpr unsigned char kBlockSeparator = 0;
constexpr unsigned char kBlockIgnore = 1;
constexpr unsigned char kBlockCjk = 241;
constexpr unsigned char kBlockHighSurrogate = kWordBlockHighSurrogate;
constexpr std::uint32_t kBlock = 64;
constexpr std::uint64_t kAll = ~std::uint64_t{0};

// Bit k of each mask describes codes[k] of a block.
struct BlockMasks {
  std::uint64_t separators;  // code 0
  std::uint64_t ignorable;   // code 1
  std::uint64_t cjk;         // the CJK marker (high surrogates included)
  std::uint64_t high;        // high surrogates
};

// Maps the 64 units of a block to codes, eight at a time gathered in a register.
template <class Unit>
inline void MapBlock(const Unit* units, const unsigned char* map, unsigned char* codes) {
  for (std::uint32_t g = 0; g < 8; ++g) {
    std::uint64_t w = 0;
    if constexpr (sizeof(Unit) == 2) {
      for (std::uint32_t j = 0; j < 8; ++j) {
        w |= std::uint64_t{map[static_cast<char16_t>(units[8 * g + j])]} << (8 * j);
      }
    } else {
      std::uint64_t a;
      std::memcpy(&a, units + 8 * g, 8);
      for (std::uint32_t j = 0; j < 8; ++j)
        w |= std::uint64_t{map[(a >> (8 * j)) & 0xFF]} << (8 * j);
    }
    std::memcpy(codes + 8 * g, &w, 8);
  }
}

template <WordBlockPath kPath>
inline BlockMasks ClassifyBlock(const unsigned char* codes) {
  BlockMasks masks{0, 0, 0, 0};
#if defined(__AVX512BW__)
  if constexpr (kPath == WordBlockPath::Avx512) {
    const __m512i v = _mm512_load_si512(codes);
    masks.separators = _mm512_cmpeq_epi8_mask(v, _mm512_setzero_si512());
    masks.ignorable = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(kBlockIgnore)));
    masks.cjk = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(kBlockCjk)));
    masks.high =
        _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(kBlockHighSurrogate)));
    return masks;
  }
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i ignore = _mm_set1_epi8(static_cast<char>(kBlockIgnore));
  const __m128i cjk = _mm_set1_epi8(static_cast<char>(kBlockCjk));
  const __m128i high = _mm_set1_epi8(static_cast<char>(kBlockHighSurrogate));
  for (std::uint32_t k = 0; k < kBlock; k += 16) {
    const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(codes + k));
    const auto bits = [](__m128i m) { return std::uint64_t(unsigned(_mm_movemask_epi8(m))); };
    masks.separators |= bits(_mm_cmpeq_epi8(v, zero)) << k;
    masks.ignorable |= bits(_mm_cmpeq_epi8(v, ignore)) << k;
    masks.cjk |= bits(_mm_cmpeq_epi8(_mm_max_epu8(v, cjk), v)) << k;
    masks.high |= bits(_mm_cmpeq_epi8(v, high)) << k;
  }
#else
  for (std::uint32_t k = 0; k < kBlock; ++k) {
    masks.separators |= std::uint64_t(codes[k] == kBlockSeparator) << k;
    masks.ignorable |= std::uint64_t(codes[k] == kBlockIgnore) << k;
    masks.cjk |= std::uint64_t(codes[k] >= kBlockCjk) << k;
    masks.high |= std::uint64_t(codes[k] == kBlockHighSurrogate) << k;
  }
#endif
  return masks;
}

// Copies len bytes (at most 64) 16 at a time: reads and writes up to 16 bytes past them, so that
// short copies, the usual ones, take no branch.
inline void CopyShort(char* dst, const unsigned char* src, std::uint32_t len) {
  std::memcpy(dst, src, 16);
  for (std::uint32_t k = 16; k < len; k += 16) std::memcpy(dst + k, src + k, 16);
}

// Writes the codes whose bit is set in `keep` to dst in order and returns how many. May write
// up to 64 bytes past the count.
template <WordBlockPath kPath>
inline std::uint32_t Compact(const unsigned char* codes, std::uint64_t keep, char* dst) {
#if defined(__AVX512VBMI2__)
  if constexpr (kPath == WordBlockPath::Avx512) {
    const __m512i packed = _mm512_maskz_compress_epi8(keep, _mm512_load_si512(codes));
    _mm512_storeu_si512(dst, packed);
    return static_cast<std::uint32_t>(std::popcount(keep));
  }
#endif
  std::uint32_t k = 0;
  // Run by run (a kept word and its separator make one run), 16 bytes at a time.
  for (std::uint64_t rest = keep; rest != 0;) {
    const std::uint32_t first = static_cast<std::uint32_t>(std::countr_zero(rest));
    const std::uint32_t length = static_cast<std::uint32_t>(std::countr_one(rest >> first));
    CopyShort(dst + k, codes + first, length);
    k += length;
    rest &= rest + (rest & (0 - rest));  // adding the lowest bit clears the lowest run
  }
  return k;
}

#if defined(__AVX512VBMI2__)
// The wide form of Compact with every kept CJK unit spelled out in its place (three digits from
// letterBase, then a 0 unless it is a high surrogate), all in vector registers: each unit becomes
// four bytes, of which the kept ones are packed. May write up to 64 bytes past the count.
inline std::uint32_t CompactSpelledAvx512(const char16_t* units, const unsigned char* codes,
                                          std::uint64_t keep, std::uint64_t spelled,
                                          std::uint64_t high, std::uint32_t letterBase, char* dst) {
  constexpr std::uint64_t kFirstBytes = 0x1111111111111111;
  // For the units 16q to 16q + 15 of a half: word j of `low` (the code, or the first two
  // digits), then word j of `last` (the third digit and a 0), unit after unit.
  static constexpr auto kPairs = [] {
    std::array<std::array<std::uint16_t, 32>, 2> pairs{};
    for (std::uint16_t q = 0; q < 2; ++q) {
      for (std::uint16_t j = 0; j < 16; ++j) {
        pairs[q][2 * j] = static_cast<std::uint16_t>(16 * q + j);
        pairs[q][2 * j + 1] = static_cast<std::uint16_t>(32 + 16 * q + j);
      }
    }
    return pairs;
  }();
  const __m512i digitBase = _mm512_set1_epi16(static_cast<short>(letterBase * 0x0101));
  const __m512i lastBase = _mm512_set1_epi16(static_cast<short>(letterBase));
  const __m512i forty = _mm512_set1_epi16(40);
  std::uint32_t k = 0;
  for (std::uint32_t h = 0; h < 2; ++h) {
    // Base-40 digits of unit - 0x2E80 (below 53,632): division by multiplying with the inverse.
    const __m512i v =
        _mm512_sub_epi16(_mm512_loadu_si512(units + 32 * h), _mm512_set1_epi16(0x2E80));
    const __m512i tens =
        _mm512_srli_epi16(_mm512_mulhi_epu16(v, _mm512_set1_epi16(static_cast<short>(52429))), 5);
    const __m512i hundreds = _mm512_mulhi_epu16(tens, _mm512_set1_epi16(1639));
    const __m512i ones = _mm512_sub_epi16(v, _mm512_mullo_epi16(tens, forty));
    const __m512i middle = _mm512_sub_epi16(tens, _mm512_mullo_epi16(hundreds, forty));
    const __m512i firstTwo =
        _mm512_add_epi16(_mm512_or_si512(hundreds, _mm512_slli_epi16(middle, 8)), digitBase);
    const __m512i codes16 =
        _mm512_cvtepu8_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(codes + 32 * h)));
    // Other units keep their code in the first byte.
    const __m512i low =
        _mm512_mask_blend_epi16(static_cast<__mmask32>(spelled >> (32 * h)), codes16, firstTwo);
    const __m512i last = _mm512_add_epi16(ones, lastBase);
    for (std::uint32_t q = 0; q < 2; ++q) {
      const std::uint32_t shift = 32 * h + 16 * q;
      const __m512i units4 =
          _mm512_permutex2var_epi16(low, _mm512_loadu_si512(kPairs[q].data()), last);
      // The first byte of each kept unit, the next two of a CJK one, the fourth unless it is a
      // high surrogate.
      const std::uint64_t c = _pdep_u64((spelled >> shift) & 0xFFFF, kFirstBytes);
      const std::uint64_t bytes = _pdep_u64((keep >> shift) & 0xFFFF, kFirstBytes) | c * 6 |
                                  _pdep_u64(((spelled & ~high) >> shift) & 0xFFFF, kFirstBytes)
                                      << 3;
      _mm512_storeu_si512(dst + k, _mm512_maskz_compress_epi8(bytes, units4));
      k += static_cast<std::uint32_t>(std::popcount(bytes));
    }
  }
  return k;
}
#endif

// Bit k is set when unit k of the block starts a word long enough to keep: its first minLen units
// are all letters or ignorable units, or a CJK unit comes before a separator does.
inline std::uint64_t LongEnough(std::uint64_t plain, std::uint64_t cjk, std::uint32_t minLen) {
  std::uint64_t run = kAll;  // units k .. k + j - 1 are all plain
  std::uint64_t good = 0;
  std::uint32_t j = 0;
  for (; j < minLen && j < kBlock && run != 0; ++j) {
    good |= run & (cjk >> j);
    run &= plain >> j;
  }
  return j == minLen ? good | run : good;
}

template <WordBlockPath kPath, class Unit>
void FilterBlocks(const Unit* text, std::uint32_t length, char* out, std::int64_t size,
                  std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables) {
  constexpr bool kWide = sizeof(Unit) == 2;
  // Room for the most a block can write (four bytes per CJK unit) and a store's overrun. The
  // narrow filter may be given a buffer of only length + 2 bytes whatever size says; as it writes
  // at most one byte per unit after the first 0, a block with 32 units after it keeps any
  // overrun within that buffer.
  constexpr std::int64_t kRoom = (kWide ? 4 : 1) * std::int64_t{kBlock} + 32;
  constexpr std::uint32_t kAhead = kWide ? kBlock : kBlock + 32;
  const unsigned char* const map = tables.map;
  const std::uint32_t minLen = tables.minWordLen;
  const std::uint32_t* const spellings = kWide ? CjkSpellings() : nullptr;
  const std::uint32_t letterDigits = tables.letterBase * 0x010101u;
  alignas(64) unsigned char buffers[2][2 * kBlock] = {};  // rows stay 64-byte aligned

  // A local count: through the reference, every byte stored to out could change it.
  std::int64_t n = written;
  std::uint32_t base = i;
  // The word not yet closed, if any: where it began in the text and in the output, and whether
  // it reached a CJK unit (which keeps it whatever its length).
  bool open = false;
  bool reachesCjk = false;
  std::uint32_t wordBegin = 0;
  std::int64_t wordOut = 0;

  // Each block is mapped one round ahead, into the other buffer: reading the codes back right
  // after storing them would wait for the stores.
  if (length - base >= kAhead) MapBlock(text + base, map, buffers[0]);
  for (unsigned current = 0; length - base >= kAhead && size - n >= kRoom; current ^= 1) {
    const Unit* const units = text + base;
    const unsigned char* const codes = buffers[current];
    const BlockMasks masks = ClassifyBlock<kPath>(codes);
    if (length - base - kBlock >= kAhead) MapBlock(units + kBlock, map, buffers[current ^ 1]);
    // A CJK unit closes its word, but a high surrogate lets it go on (to the low one).
    const std::uint64_t high = masks.high;
    const std::uint64_t closers = masks.cjk & ~high;
    const std::uint64_t wordUnits = ~masks.separators;
    const std::uint64_t goesOn = wordUnits & ~closers;  // units a word may go on after

    std::uint64_t keep = 0;     // units that produce output
    std::uint64_t rest = kAll;  // units not yet decided
    if (open) {                 // the word going on from the block before
      const std::uint64_t stops = masks.separators | closers;
      if (stops == 0) {
        keep = kAll;
        rest = 0;
        reachesCjk = reachesCjk || high != 0;
      } else {
        const std::uint32_t end = static_cast<std::uint32_t>(std::countr_zero(stops));
        const std::uint64_t upTo = (std::uint64_t{2} << end) - 1;
        open = false;
        if (((closers >> end) & 1) != 0 || reachesCjk || (high & upTo) != 0 ||
            base + end - wordBegin >= minLen) {
          keep = upTo;  // with the separator's 0 or the CJK unit that closes it
        } else {
          n = wordOut;
        }
        rest = ~upTo;
      }
    }
    std::uint64_t openStart = 0;
    if (rest != 0) {
      // Every other word starts in this block, after a separator or a closing CJK unit.
      const std::uint64_t starts = wordUnits & ~(goesOn << 1) & rest;
      std::uint64_t kept = starts;
      if (minLen > 1) kept &= LongEnough(wordUnits & ~masks.cjk, masks.cjk, minLen);
      // A word reaching the end of the block goes on: it is written now and judged later.
      if (((goesOn & rest) >> 63) != 0) {
        openStart = std::uint64_t{1} << (63 - std::countl_zero(starts));
        kept |= openStart;
      }
      // Adding a word's first bit clears the word and sets the bit of the unit that ends it.
      const std::uint64_t words = goesOn & rest;
      keep |= ((words + kept) ^ words) & rest;
    }
    keep &= ~masks.ignorable;
    if (openStart != 0) {
      const std::uint64_t before = keep & (openStart - 1);
      open = true;
      wordBegin = base + static_cast<std::uint32_t>(std::countr_zero(openStart));
      wordOut = n + std::popcount(before) + 3 * std::popcount(before & closers) +
                2 * std::popcount(before & high);
      reachesCjk = (high & ~(openStart - 1)) != 0;
    }

    const std::uint64_t spelled = keep & masks.cjk;
    if (!kWide || spelled == 0) {
      n += Compact<kPath>(codes, keep, out + n);
#if defined(__AVX512VBMI2__)
    } else if constexpr (kWide && kPath == WordBlockPath::Avx512) {
      n += CompactSpelledAvx512(units, codes, keep, spelled, high, tables.letterBase, out + n);
#endif
    } else {
      // The codes between CJK units run by run, each CJK unit spelled out in its place.
      std::uint64_t plain = keep & ~spelled;
      for (std::uint64_t c = spelled; c != 0; c &= c - 1) {
        const std::uint64_t bit = c & (0 - c);
        n += Compact<kPath>(codes, plain & (bit - 1), out + n);
        plain &= 0 - bit;
        const auto at = static_cast<std::uint32_t>(std::countr_zero(c));
        const std::uint32_t spelling = spellings[static_cast<char16_t>(units[at])] + letterDigits;
        std::memcpy(out + n, &spelling, 4);
        n += 4 - ((high >> at) & 1);
      }
      n += Compact<kPath>(codes, plain, out + n);
    }
    base += kBlock;
  }
  if (open) {
    i = wordBegin;
    written = wordOut;
  } else {
    i = base;
    written = n;
  }
}

}  // namespace
}  // namespace Qel::Detail
