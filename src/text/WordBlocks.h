// The block engine behind AsciiTextFilter's calls without positions: it filters whole blocks of
// 64 units with bit masks instead of a branch per unit, and stops where the exact word loop must
// take over (near the end of the text or of the output buffer). Internal to the library.
#pragma once

#include <cstdint>

namespace Qel::Detail {

struct WordBlockTables {
  const unsigned char* map;  // code of every unit (256 entries narrow, 65,536 wide)
  std::uint32_t minWordLen;
  std::uint32_t letterBase;  // first symbol of a CJK encoding digit
};

// How the kept codes of a block are packed together.
enum class WordBlockPath {
  Portable,  // one conditional store per unit
  Bmi2,      // eight units at a time with pdep/pext (x86-64 with BMI2)
};

// The path the filter uses: BMI2 when the library was built with it and the processor runs
// pdep/pext in hardware (not on the first two Zen generations, which microcode them).
WordBlockPath BestWordBlockPath();
bool WordBlockPathAvailable(WordBlockPath path);

// Filter from text[i] with `written` bytes already in out (the last of them 0, at a word
// boundary) while whole blocks fit, and return with i and written at the start of the first word
// or separator not yet filtered. Writes up to 15 bytes past the returned count, always within
// size bytes; the narrow form also stays within length + 2 bytes whatever size says.
void FilterWordBlocks(const char16_t* text, std::uint32_t length, char* out, std::int64_t size,
                      std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables,
                      WordBlockPath path);
void FilterWordBlocks(const char* text, std::uint32_t length, char* out, std::int64_t size,
                      std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables,
                      WordBlockPath path);

// The encoding of one CJK unit: three base-40 digits from letterBase, then a closing 0 unless the
// unit is a high surrogate. Returns the bytes written.
inline std::int32_t EncodeCjkUnit(char16_t ch, std::uint32_t letterBase, char* out) {
  const std::uint32_t v = static_cast<std::uint32_t>(ch) - 0x2E80;
  out[0] = static_cast<char>(letterBase + v / 1600);
  out[1] = static_cast<char>(letterBase + (v / 40) % 40);
  out[2] = static_cast<char>(letterBase + v % 40);
  if (ch >= 0xD800 && ch <= 0xDBFF) return 3;  // the low surrogate continues the word
  out[3] = 0;
  return 4;
}

}  // namespace Qel::Detail
