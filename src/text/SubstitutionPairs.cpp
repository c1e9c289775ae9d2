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

// Positions of matches: the first few on the stack, the rest on the heap.
class Matches {
 public:
  void Add(std::size_t position) {
    if (m_count < kLocal) {
      m_local[m_count] = position;
    } else {
      m_more.push_back(position);
    }
    ++m_count;
  }
  std::size_t Count() const { return m_count; }
  std::size_t operator[](std::size_t k) const {
    return k < kLocal ? m_local[k] : m_more[k - kLocal];
  }

 private:
  static constexpr std::size_t kLocal = 64;
  std::size_t m_local[kLocal];
  std::size_t m_count = 0;
  std::vector<std::size_t> m_more;
};

}  // namespace

bool ReplaceOccurrences(std::u16string& text, std::u16string_view search,
                        std::u16string_view replacement, const SubstitutionSteps& steps) {
  const std::size_t n = text.size();
  std::size_t found = Find(text, search, 0);
  if (found == std::u16string::npos) return false;
  if (n < steps.minRemainingFirst) return true;
  // The matches are looked for in the original text only: the search restarts at or after the
  // end of a replacement, so a replacement never takes part in a later match. They are all
  // found first, so that the result is built in the text's own buffer.
  Matches matches;
  for (;;) {
    matches.Add(found);
    const std::size_t done = found + search.size();
    if (n - done < steps.minRemaining) break;
    found = Find(text, search, done + steps.gap);
    if (found == std::u16string::npos) break;
  }
  const std::size_t count = matches.Count();
  const std::size_t s = search.size();
  const std::size_t r = replacement.size();
  using Traits = std::char_traits<char16_t>;
  if (r <= s) {
    // Front to back: what is written never reaches text not yet moved.
    char16_t* data = text.data();
    std::size_t out = matches[0];
    for (std::size_t k = 0; k < count; ++k) {
      Traits::copy(data + out, replacement.data(), r);
      out += r;
      const std::size_t from = matches[k] + s;
      const std::size_t to = k + 1 < count ? matches[k + 1] : n;
      if (out != from) Traits::move(data + out, data + from, to - from);
      out += to - from;
    }
    text.resize(out);
  } else {
    // Back to front into the grown text: each piece moves right, past what is still to move.
    text.resize(n + count * (r - s));
    char16_t* data = text.data();
    std::size_t out = text.size();
    std::size_t end = n;
    for (std::size_t k = count; k-- > 0;) {
      const std::size_t from = matches[k] + s;
      out -= end - from;
      Traits::move(data + out, data + from, end - from);
      out -= r;
      Traits::copy(data + out, replacement.data(), r);
      end = matches[k];
    }
  }
  return true;
}

}  // namespace Qel::Detail
