// The block engine behind AsciiTextFilter's calls without positions: it filters whole blocks of
// 64 units with bit masks instead of a branch per unit, and stops where the exact word loop must
// take over (near the end of the text or of the output buffer). Internal to the library.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace Qel::Detail {

// The code the block engine's wide map gives high surrogates instead of the CJK marker 241, so
// that it can tell them apart from other CJK units by code alone.
constexpr unsigned char kWordBlockHighSurrogate = 242;

struct WordBlockTables {
  // Code of every unit: the narrow map, or the wide map with kWordBlockHighSurrogate for
  // U+D800 to U+DBFF.
  const unsigned char* map;
  std::uint32_t minWordLen;
  std::uint32_t letterBase;  // first symbol of a CJK encoding digit
};

// The builds of the block engine, for the instruction sets it can use.
enum class WordBlockPath {
  Portable,  // the target's baseline (SSE2 on x86-64)
  Bmi2,      // x86-64 with POPCNT, BMI1 and BMI2: the bit counts and scans are instructions
  Avx512,    // AVX-512 BW and VBMI2 as well: a few instructions classify and pack a block
};

// The path the filter uses: the best one the library was built with and the processor has.
WordBlockPath BestWordBlockPath();
bool WordBlockPathAvailable(WordBlockPath path);

// Filter from text[i] with `written` bytes already in out (the last of them 0, at a word
// boundary) while whole blocks fit, and return with i and written at the start of the first word
// or separator not yet filtered. Writes up to 64 bytes past the returned count, always within
// size bytes; the narrow form also stays within length + 2 bytes whatever size says.
void FilterWordBlocks(const char16_t* text, std::uint32_t length, char* out, std::int64_t size,
                      std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables,
                      WordBlockPath path);
void FilterWordBlocks(const char* text, std::uint32_t length, char* out, std::int64_t size,
                      std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables,
                      WordBlockPath path);

// For every UTF-16 unit, the bytes EncodeCjkUnit writes for it with letter base 0, in memory
// order. Built on first use, shared by the whole process.
const std::uint32_t* CjkSpellings();

// The encoding of one CJK unit: three base-40 digits from letterBase, then a closing 0 unless the
// unit is a high surrogate. Returns the bytes written; all four bytes are stored in one go, so
// after a high surrogate the byte past the three digits is 0 as well (it belongs to the output
// only once something is written there).
inline std::int32_t EncodeCjkUnit(char16_t ch, std::uint32_t letterBase, char* out) {
  const std::uint32_t v = static_cast<std::uint32_t>(ch) - 0x2E80;
  const std::uint32_t tens = v / 40;  // v < 52,352: digits v / 1600, (v / 40) % 40, v % 40
  const std::uint32_t hundreds = tens / 40;
  std::uint32_t digits = (letterBase + hundreds) | (letterBase + tens - 40 * hundreds) << 8 |
                         (letterBase + v - 40 * tens) << 16;
  if constexpr (std::endian::native == std::endian::big) digits = __builtin_bswap32(digits);
  std::memcpy(out, &digits, 4);  // the digits in order, then 0
  return (ch & 0xFC00) == 0xD800 ? 3 : 4;
}

}  // namespace Qel::Detail
