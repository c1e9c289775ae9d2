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
  // The result is built in a buffer of the thread's own and swapped in, so that the text's old
  // buffer serves the next call: a caller replacing in field after field allocates once.
  thread_local std::u16string scratch;
  std::u16string& out = scratch;
  out.clear();
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
  text.swap(out);
  // A very long text's buffer is not kept for the thread's lifetime.
  if (out.capacity() > (std::size_t{1} << 16)) std::u16string().swap(out);
  return true;
}

}  // namespace Qel::Detail
