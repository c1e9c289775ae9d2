// The process-wide cache of compiled regular expressions: syntax flags to pattern to the
// compiled expression. Entries live until the process ends. Thread-safe.
// Every file that searches UTF-16 text with u32regex includes this header before any other
// Boost.Regex header, so that all of them see the same complexity bound below.
#pragma once

#include <algorithm>
#include <boost/regex/icu.hpp>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace Qel::Detail {

// The most states one search over UTF-16 text may visit when the text length alone would
// allow more: about half a second of backtracking.
constexpr std::ptrdiff_t kRegexMaxStateCount = 8'000'000;

using Utf16SearchIterator = boost::u16_to_u32_iterator<const char16_t*, UChar32>;

}  // namespace Qel::Detail

// Boost bounds a search over a bidirectional iterator (which the UTF-16 adaptor is) by a fixed
// 100 million states, several seconds of runaway backtracking. The adaptor knows its position
// in the UTF-16 text, so the bound can follow the text length as Boost does for random-access
// text: the larger of N*S*S and N*N (the latter capped), N units and S states.
template <>
inline void boost::BOOST_REGEX_DETAIL_NS::perl_matcher<
    Qel::Detail::Utf16SearchIterator,
    std::allocator<boost::sub_match<Qel::Detail::Utf16SearchIterator>>,
    boost::icu_regex_traits>::estimate_max_state_count(void*) {
  constexpr std::ptrdiff_t k = 100000;
  constexpr std::ptrdiff_t kMax = std::numeric_limits<std::ptrdiff_t>::max() / 4;
  const std::ptrdiff_t dist = std::max<std::ptrdiff_t>(last.base() - base.base(), 1);
  const std::ptrdiff_t states = std::max<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(re.size()), 1);
  std::ptrdiff_t byStates = kMax;
  if (states < 3'000'000 && dist < kMax / (states * states)) byStates = dist * states * states + k;
  std::ptrdiff_t byLength = Qel::Detail::kRegexMaxStateCount;
  if (dist < 3'000) byLength = std::min(dist * dist + k, byLength);
  max_state_count = std::max(byStates, byLength);
}

namespace Qel::Detail {

class CompiledRegex {
 public:
  explicit CompiledRegex(boost::u32regex expression) : m_expression(std::move(expression)) {}
  const boost::u32regex& Expression() const { return m_expression; }

 private:
  boost::u32regex m_expression;
};

// The compiled form of `pattern` under `flags`, compiled on first use. Throws what compiling
// throws (boost::regex_error for a syntax error, std::out_of_range for invalid UTF-16);
// nothing is cached then.
const CompiledRegex& FindOrCompileRegex(const std::u16string& pattern,
                                        boost::regex_constants::syntax_option_type flags);

// How many expressions the cache has compiled since the process started.
std::uint64_t RegexCompileCount();

}  // namespace Qel::Detail
