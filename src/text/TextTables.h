// Character tables of the text area: the half-width and full-width mapping, the language
// spelling pairs and the symbol assignments of the ASCII text filter. Read-only data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace Qel::Detail {

// Code points first..last map to c - delta, or to table[c - first] when table is set.
struct WidthRange {
  char16_t first;
  char16_t last;
  char16_t delta;
  const char16_t* table;
};
std::span<const WidthRange> HalfWidthFullWidthRanges();

struct SpellingPair {
  const char16_t* search;
  const char16_t* replacement;
};
std::span<const SpellingPair> LanguageSpellingPairs();

// Letters folded onto a Latin letter in the narrow map: bytes first..last get letter's code.
struct NarrowFold {
  char letter;
  std::uint8_t first;
  std::uint8_t last;
};
std::span<const NarrowFold> NarrowFolds();

// How a rule of the wide map assigns codes to first..last, applied in table order.
enum class WideRuleKind : std::uint8_t {
  Numbered,   // code, code + 1, ... (restarts the running code at `code`)
  Continued,  // the running code onward
  Fixed,      // `code` for every unit
  Digits,     // 16 to 25, only when digits are used
  Listed,     // list[unit - first]
};
struct WideMapRule {
  char16_t first;
  char16_t last;
  WideRuleKind kind;
  std::uint8_t code;
  const std::uint8_t* list;
};
std::span<const WideMapRule> WideMapRules();

}  // namespace Qel::Detail
