#include "text/SubstitutionPairs.h"

#include <cstdint>

#include "core/Throw.h"

namespace Qel::Detail {

void CheckSubstitutionSearch(const std::u16string& search) {
  if (search.empty()) ThrowInvalidArgument(u"[1009]");
}

void CheckSubstitutionIndex(const std::vector<SubstitutionPair>& pairs, unsigned int index) {
  if (index >= pairs.size()) {
    Throw<OutOfBoundsException>(ErrorId::IndexOutOfRange, static_cast<std::int32_t>(index),
                                static_cast<std::int32_t>(pairs.size()));
  }
}

bool ReplaceOccurrences(std::u16string& text, std::u16string_view search,
                        std::u16string_view replacement, const SubstitutionSteps& steps) {
  const std::size_t n = text.size();
  std::size_t found = text.find(search);
  if (found == std::u16string::npos) return false;
  if (n < steps.minRemainingFirst) return true;
  std::u16string out;
  out.reserve(replacement.size() > search.size() ? n + n / 2 : n);
  std::size_t done = 0;  // units of `text` already in `out`
  do {
    out.append(text, done, found - done);
    out.append(replacement);
    done = found + search.size();
    // Matches are looked for in the original text only: the search restarts at or after the
    // end of a replacement, so a replacement never takes part in a later match.
    if (n - done < steps.minRemaining) break;
    found = text.find(search, done + steps.gap);
  } while (found != std::u16string::npos);
  out.append(text, done, std::u16string::npos);
  text = std::move(out);
  return true;
}

}  // namespace Qel::Detail
