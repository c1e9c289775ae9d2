#include "text/SubstitutionPairs.h"

#include <cstdint>
#include <string>
#include <vector>

#include "core/Throw.h"
#include "text/FindUnit.h"

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

namespace {

// The first occurrence of `search` in `text` at or after `from`, or npos.
std::size_t Find(const std::u16string& text, std::u16string_view search, std::size_t from) {
  return search.size() == 1 ? FindUnit(text.data(), from, text.size(), search[0])
                            : FindUnits(text, from, search);
}

// Copies `count` units that may overlap the destination: short pieces, the usual ones, without
// a library call.
inline void MoveUnits(char16_t* to, const char16_t* from, std::size_t count) {
  if (count > 8) {
    std::char_traits<char16_t>::move(to, from, count);
  } else if (to > from) {
    for (std::size_t k = count; k-- > 0;) to[k] = from[k];
  } else {
    for (std::size_t k = 0; k < count; ++k) to[k] = from[k];
  }
}

}  // namespace

bool ReplaceOccurrences(std::u16string& text, std::u16string_view search,
                        std::u16string_view replacement, const SubstitutionSteps& steps) {
  const std::size_t n = text.size();
  const std::size_t s = search.size();
  const std::size_t r = replacement.size();
  std::size_t found = Find(text, search, 0);
  if (found == std::u16string::npos) return false;
  if (n < steps.minRemainingFirst) return true;
  // Matches are looked for in the original text only: the search restarts at or after the end
  // of a replacement, so a replacement never takes part in a later match. The match after the
  // one at `at` (npos when there is none):
  const auto next = [&](std::size_t at) {
    const std::size_t done = at + s;
    return n - done < steps.minRemaining ? std::u16string::npos
                                         : Find(text, search, done + steps.gap);
  };
  char16_t* data = text.data();
  if (r <= s) {
    // Front to back in the text's own buffer: what is written never reaches text not yet read.
    std::size_t out = found;
    while (found != std::u16string::npos) {
      const std::size_t following = next(found);
      MoveUnits(data + out, replacement.data(), r);
      out += r;
      const std::size_t from = found + s;
      const std::size_t to = following == std::u16string::npos ? n : following;
      if (out != from) MoveUnits(data + out, data + from, to - from);
      out += to - from;
      found = following;
    }
    text.resize(out);
    return true;
  }
  // Growing, back to front: the matches are found first, so that what is written lies past all
  // that is still to be read. Their positions go on the stack, or for a text with many of them
  // into a buffer the thread keeps (a very large one is not kept).
  constexpr std::size_t kLocal = 256;
  std::size_t local[kLocal];
  thread_local std::vector<std::size_t> many;
  std::size_t count = 0;
  std::size_t* positions = local;
  for (std::size_t at = found; at != std::u16string::npos; at = next(at), ++count) {
    if (count == kLocal) {
      many.clear();
      many.reserve(n / s + 1);  // room for the most matches the text can hold, taken at once
      many.assign(local, local + kLocal);
      positions = nullptr;
    }
    if (positions != nullptr) {
      positions[count] = at;
    } else {
      many.push_back(at);
    }
  }
  if (positions == nullptr) positions = many.data();
  text.resize(n + count * (r - s));
  data = text.data();
  std::size_t out = text.size();
  std::size_t end = n;  // units of the original text not yet moved
  for (std::size_t k = count; k-- > 0;) {
    const std::size_t from = positions[k] + s;
    out -= end - from;
    MoveUnits(data + out, data + from, end - from);
    out -= r;
    MoveUnits(data + out, replacement.data(), r);
    end = positions[k];
  }
  if (many.capacity() > (std::size_t{1} << 16)) std::vector<std::size_t>().swap(many);
  return true;
}

}  // namespace Qel::Detail
