// Editing the substitution pairs that RecordFilter and RecordPreprocessor hold: the checks and
// error ids both apply, and when an edit reaches the owner's formatted list. An owner keeps its
// pairs as given and a list formatted from them; it passes how one added pair is formatted onto
// that list (`appendFormatted`) and how the whole list is formatted again (`reformat`). When
// either throws, the pairs are left as they were before the edit. One thread at a time.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "qel/text/Unicode.h"

namespace Qel::Detail {

// InvalidArgumentException (BaseException 1) "[1009]" for an empty search text.
void CheckSubstitutionSearch(const std::u16string& search);
// OutOfBoundsException 8 (index, count) unless `index` names one of `pairs`.
void CheckSubstitutionIndex(const std::vector<SubstitutionPair>& pairs, unsigned int index);

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
