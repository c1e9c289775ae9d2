// The substitution pairs that RecordFilter and RecordPreprocessor hold: applying one pair to a
// text, the checks and error ids both apply, and when an edit reaches the owner's formatted
// list. An owner keeps its
// pairs as given and a list formatted from them; it passes how one added pair is formatted onto
// that list (`appendFormatted`) and how the whole list is formatted again (`reformat`). When
// either throws, the pairs are left as they were before the edit. One thread at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qel/text/Unicode.h"

namespace Qel::Detail {

// InvalidArgumentException (BaseException 1) "[1009]" for an empty search text.
void CheckSubstitutionSearch(const std::u16string& search);
// OutOfBoundsException 8 (index, count) unless `index` names one of `pairs`.
void CheckSubstitutionIndex(const std::vector<SubstitutionPair>& pairs, unsigned int index);

// How a replacement run steps through a text. RecordFilter replaces only while at least two
// units follow the previous replacement (for the first, while the text holds two units) and
// searches on right after it; RecordPreprocessor replaces the first occurrence whatever
// follows, then only while at least three units follow, and searches on one unit after it.
struct SubstitutionSteps {
  std::size_t minRemainingFirst;  // units the text must hold for the first replacement
  std::size_t minRemaining;       // units of the text that must follow a replacement to go on
  std::size_t gap;                // units skipped after a replacement before searching on
};
inline constexpr SubstitutionSteps kRecordFilterSteps{2, 2, 0};
inline constexpr SubstitutionSteps kRecordPreprocessorSteps{0, 3, 1};

// Replaces the occurrences of `search` (not empty) in `text` from left to right as `steps`
// say, in the text's own buffer: time linear in the length of `text` and of the result, and no
// allocation beyond the text's growth (a text that grows by more than 256 matches keeps their
// positions in a buffer of the thread's). Returns whether `search` occurs in `text`.
bool ReplaceOccurrences(std::u16string& text, std::u16string_view search,
                        std::u16string_view replacement, const SubstitutionSteps& steps);

template <class AppendFormatted>
void AddSubstitutionPair(std::vector<SubstitutionPair>& pairs, const std::u16string& search,
                         const std::u16string& replacement, AppendFormatted&& appendFormatted) {
  CheckSubstitutionSearch(search);
  pairs.emplace_back(search, replacement);
  try {
    appendFormatted(pairs.back());
  } catch (...) {
    pairs.pop_back();
    throw;
  }
}

// Nothing changes when pair `index` already is (search, replacement).
template <class Reformat>
void ModifySubstitutionPair(std::vector<SubstitutionPair>& pairs, unsigned int index,
                            const std::u16string& search, const std::u16string& replacement,
                            Reformat&& reformat) {
  CheckSubstitutionSearch(search);
  CheckSubstitutionIndex(pairs, index);
  SubstitutionPair& pair = pairs[index];
  if (pair.first == search && pair.second == replacement) return;
  SubstitutionPair previous = std::exchange(pair, SubstitutionPair(search, replacement));
  try {
    reformat();
  } catch (...) {
    pairs[index] = std::move(previous);
    throw;
  }
}

template <class Reformat>
void RemoveSubstitutionPair(std::vector<SubstitutionPair>& pairs, unsigned int index,
                            Reformat&& reformat) {
  CheckSubstitutionIndex(pairs, index);
  SubstitutionPair removed = std::move(pairs[index]);
  pairs.erase(pairs.begin() + index);
  try {
    reformat();
  } catch (...) {
    // The erase kept the capacity: putting the pair back does not allocate.
    pairs.insert(pairs.begin() + index, std::move(removed));
    throw;
  }
}

}  // namespace Qel::Detail
