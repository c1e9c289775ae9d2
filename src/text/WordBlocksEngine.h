// The block engine of the word filter, included by the translation units that build its paths
// (one of them compiled for BMI2). Everything here has internal linkage, so the copies compiled
// with different instruction sets never meet at link time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__BMI2__)
#include <immintrin.h>
#endif

#include "text/WordBlocks.h"

namespace Qel::Detail {
namespace {

constexpr unsigned char kBlockSeparator = 0;
constexpr unsigned char kBlockIgnore = 1;
constexpr unsigned char kBlockCjk = 241;
constexpr std::uint32_t kBlock = 64;
constexpr std::uint64_t kAll = ~std::uint64_t{0};

// Bits lo..hi-1 (lo < hi <= 64).
inline std::uint64_t BitRange(std::uint32_t lo, std::uint32_t hi) {
  return (hi == kBlock ? kAll : (std::uint64_t{1} << hi) - 1) & (kAll << lo);
}

// Bit k of each mask describes codes[k] of a block.
struct BlockMasks {
  std::uint64_t separators;  // code 0
  std::uint64_t ignorable;   // code 1
  std::uint64_t cjk;         // the CJK marker
};

// Maps the 64 units of a block to codes and classifies them. Eight codes are gathered in a
// register and stored together, and the masks are taken from those registers, which saves most
// of the memory traffic of storing and reloading single bytes.
template <class Unit>
inline BlockMasks MapBlock(const Unit* units, const unsigned char* map, unsigned char* codes) {
  std::uint64_t words[8];
  for (std::uint32_t g = 0; g < 8; ++g) {
    std::uint64_t w = 0;
    if constexpr (sizeof(Unit) == 2) {
      std::uint64_t a, b;
      std::memcpy(&a, units + 8 * g, 8);
      std::memcpy(&b, units + 8 * g + 4, 8);
      for (std::uint32_t j = 0; j < 4; ++j) {
        w |= std::uint64_t{map[(a >> (16 * j)) & 0xFFFF]} << (8 * j);
        w |= std::uint64_t{map[(b >> (16 * j)) & 0xFFFF]} << (8 * j + 32);
      }
    } else {
      std::uint64_t a;
      std::memcpy(&a, units + 8 * g, 8);
      for (std::uint32_t j = 0; j < 8; ++j) w |= std::uint64_t{map[(a >> (8 * j)) & 0xFF]} << (8 * j);
    }
    words[g] = w;
    std::memcpy(codes + 8 * g, &w, 8);
  }
  BlockMasks masks{0, 0, 0};
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i ignore = _mm_set1_epi8(static_cast<char>(kBlockIgnore));
  const __m128i cjk = _mm_set1_epi8(static_cast<char>(kBlockCjk));
  for (std::uint32_t k = 0; k < kBlock; k += 16) {
    const __m128i v = _mm_set_epi64x(static_cast<long long>(words[k / 8 + 1]),
                                     static_cast<long long>(words[k / 8]));
    const auto bits = [](__m128i m) { return std::uint64_t(unsigned(_mm_movemask_epi8(m))); };
    masks.separators |= bits(_mm_cmpeq_epi8(v, zero)) << k;
    masks.ignorable |= bits(_mm_cmpeq_epi8(v, ignore)) << k;
    masks.cjk |= bits(_mm_cmpeq_epi8(_mm_max_epu8(v, cjk), v)) << k;
  }
#else
  for (std::uint32_t k = 0; k < kBlock; ++k) {
    const unsigned char c = static_cast<unsigned char>(words[k / 8] >> (8 * (k % 8)));
    masks.separators |= std::uint64_t(c == kBlockSeparator) << k;
    masks.ignorable |= std::uint64_t(c == kBlockIgnore) << k;
    masks.cjk |= std::uint64_t(c >= kBlockCjk) << k;
  }
#endif
  return masks;
}

// Writes the codes whose bit is set in `keep` (only bits lo..hi-1 may be set) to dst in order and
// returns how many. May write up to 8 bytes past the count.
template <bool kBmi2>
inline std::uint32_t Compact(const unsigned char* codes, std::uint64_t keep, std::uint32_t lo,
                             std::uint32_t hi, char* dst) {
  std::uint32_t k = 0;
  for (std::uint32_t g = lo & ~7u; g < hi; g += 8) {
    const std::uint64_t bits = (keep >> g) & 0xFF;
#if defined(__BMI2__)
    if constexpr (kBmi2) {
      std::uint64_t v;
      std::memcpy(&v, codes + g, 8);
      const std::uint64_t bytes = _pdep_u64(bits, 0x0101010101010101) * 0xFF;
      const std::uint64_t packed = _pext_u64(v, bytes);
      std::memcpy(dst + k, &packed, 8);
      k += static_cast<std::uint32_t>(std::popcount(bits));
      continue;
    }
#endif
    for (std::uint32_t j = 0; j < 8; ++j) {
      dst[k] = static_cast<char>(codes[g + j]);
      k += static_cast<std::uint32_t>((bits >> j) & 1);
    }
  }
  return k;
}

template <bool kBmi2, class Unit>
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
  alignas(16) unsigned char codes[kBlock];

  // A local count: through the reference, every byte stored to out could change it.
  std::int64_t n = written;
  std::uint32_t base = i;
  // The word not yet closed, if any: where it began in the text and in the output, and whether
  // it reached a CJK unit (which keeps it whatever its length).
  bool open = false;
  bool reachesCjk = false;
  std::uint32_t wordBegin = 0;
  std::int64_t wordOut = 0;
  BlockMasks masks{};

  // Units lo..hi-1 of the block, none of them CJK.
  const auto filterRange = [&](std::uint32_t lo, std::uint32_t hi) {
    if (lo >= hi) return;
    std::uint64_t range = BitRange(lo, hi);
    std::uint64_t keep = 0;
    if (open) {  // the word going on from before ends at the first separator
      const std::uint64_t separators = masks.separators & range;
      if (separators == 0) {
        n += Compact<kBmi2>(codes, range & ~masks.ignorable, lo, hi, out + n);
        return;
      }
      const std::uint32_t end = static_cast<std::uint32_t>(std::countr_zero(separators));
      open = false;
      if (reachesCjk || base + end - wordBegin >= minLen) {
        keep = BitRange(lo, end + 1) & ~masks.ignorable;  // its units and the closing 0
      } else {
        n = wordOut;
      }
      if (end + 1 == hi) {
        n += Compact<kBmi2>(codes, keep, lo, hi, out + n);
        return;
      }
      range = BitRange(end + 1, hi);
    }
    // Runs of word units (ignorable ones count for the length), each a new word.
    const std::uint64_t word = ~masks.separators & range;
    const std::uint64_t starts = word & ~(word << 1);
    std::uint64_t kept = starts;
    if (minLen > 1) {
      std::uint64_t long_ = 0;
      if (minLen <= kBlock) {
        // Bit k is set when units k - minLen + 1 .. k are all word units.
        std::uint64_t tail = word;
        for (std::uint32_t j = 1; j < minLen && tail != 0; ++j) tail &= word << j;
        long_ = tail >> (minLen - 1);
      }
      kept = starts & long_;
    }
    // A run reaching hi goes on: it is written now and judged when it ends.
    std::uint64_t openStart = 0;
    if ((word >> (hi - 1)) & 1) {
      openStart = std::uint64_t{1} << (63 - std::countl_zero(starts));
      kept |= openStart;
    }
    // Adding a run's first bit clears the run and sets the bit after it, its separator.
    keep |= ((word + kept) ^ word) & range & ~masks.ignorable;
    if (openStart != 0) {
      open = true;
      reachesCjk = false;
      wordBegin = base + static_cast<std::uint32_t>(std::countr_zero(openStart));
      wordOut = n + std::popcount(keep & (openStart - 1));
    }
    n += Compact<kBmi2>(codes, keep, lo, hi, out + n);
  };

  while (length - base >= kAhead && size - n >= kRoom) {
    const Unit* const units = text + base;
    masks = MapBlock(units, map, codes);
    std::uint32_t lo = 0;
    if constexpr (kWide) {
      // Each CJK unit joins the word before it, if any, and closes it (but for a high surrogate).
      for (std::uint64_t cjk = masks.cjk; cjk != 0; cjk &= cjk - 1) {
        const std::uint32_t c = static_cast<std::uint32_t>(std::countr_zero(cjk));
        filterRange(lo, c);
        const char16_t unit = static_cast<char16_t>(units[c]);
        wordBegin = open ? wordBegin : base + c;
        wordOut = open ? wordOut : n;
        reachesCjk = true;
        n += EncodeCjkUnit(unit, tables.letterBase, out + n);
        open = (unit & 0xFC00) == 0xD800;
        lo = c + 1;
      }
    }
    filterRange(lo, kBlock);
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
