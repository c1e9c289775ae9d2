#include "qel/text/Regex.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>
#include <vector>

#include "core/Throw.h"
#include "text/RegexCache.h"

namespace Qel {
namespace Detail {
namespace {

struct RegexCache {
  std::shared_mutex mutex;
  std::map<boost::regex_constants::syntax_option_type,
           std::map<std::u16string, std::unique_ptr<const CompiledRegex>, std::less<>>>
      entries;
  std::atomic<std::uint64_t> compiles{0};
};

// Never destroyed: results of Regex objects that outlive static destruction stay usable.
RegexCache& Cache() {
  static RegexCache* const cache = new RegexCache;
  return *cache;
}

}  // namespace

const CompiledRegex& FindOrCompileRegex(const std::u16string& pattern,
                                        boost::regex_constants::syntax_option_type flags) {
  RegexCache& cache = Cache();
  {
    std::shared_lock lock(cache.mutex);
    const auto byFlags = cache.entries.find(flags);
    if (byFlags != cache.entries.end()) {
      const auto entry = byFlags->second.find(pattern);
      if (entry != byFlags->second.end()) return *entry->second;
    }
  }
  std::unique_lock lock(cache.mutex);
  auto& byPattern = cache.entries[flags];
  const auto entry = byPattern.find(pattern);
  if (entry != byPattern.end()) return *entry->second;
  // This Boost version's parser reads one element past the end of a pattern that ends inside a
  // set with a backslash ("[a\\"). A pattern ending in an unpaired backslash is always an
  // incomplete escape, so it is refused here with the engine's own error.
  std::size_t backslashes = 0;
  while (backslashes < pattern.size() && pattern[pattern.size() - 1 - backslashes] == u'\\') {
    ++backslashes;
  }
  if (backslashes % 2 == 1) {
    throw boost::regex_error("Incomplete escape sequence found.",
                             boost::regex_constants::error_escape,
                             static_cast<std::ptrdiff_t>(pattern.size()));
  }
  // The same parser also reads one element past the end of an unterminated set ending in a
  // range ("[a-z"). It parses code points in place when given constant pointers, so the pattern
  // is decoded here and followed by a few zeros that such a read finds instead of foreign
  // memory; the zeros are not part of the pattern.
  const char16_t* const first = pattern.data();
  const char16_t* const last = first + pattern.size();
  std::vector<UChar32> codePoints(Utf16SearchIterator(first, first, last),
                                  Utf16SearchIterator(last, first, last));
  const std::size_t count = codePoints.size();
  codePoints.resize(count + 4, 0);
  const UChar32* const begin = codePoints.data();
  auto compiled =
      std::make_unique<const CompiledRegex>(boost::u32regex(begin, begin + count, flags));
  cache.compiles.fetch_add(1, std::memory_order_relaxed);
  const CompiledRegex& result = *compiled;
  byPattern.emplace(pattern, std::move(compiled));
  return result;
}

std::uint64_t RegexCompileCount() { return Cache().compiles.load(std::memory_order_relaxed); }

}  // namespace Detail

namespace {

boost::regex_constants::syntax_option_type SyntaxFlags(bool ignoreCase) {
  return ignoreCase ? boost::regex_constants::icase : boost::regex_constants::normal;
}

// Enough of a searched text to recognise it in an error description.
std::u16string Excerpt(const std::u16string& text) {
  constexpr std::size_t kMax = 64;
  return text.size() <= kMax ? text : text.substr(0, kMax) + u"...";
}

}  // namespace

RegexMatch::~RegexMatch() {
  // Iterative, so that a chain of millions of matches cannot exhaust the stack.
  RegexMatch* node = m_next;
  while (node != nullptr) {
    RegexMatch* following = node->m_next;
    node->m_next = nullptr;
    delete node;
    node = following;
  }
}

Regex::Regex(const std::u16string& pattern, bool ignoreCase)
    : m_pattern(pattern), m_ignoreCase(ignoreCase) {
  try {
    m_compiled = &Detail::FindOrCompileRegex(m_pattern, SyntaxFlags(m_ignoreCase));
  } catch (const boost::regex_error&) {
    throw;  // a syntax error reaches the caller as the engine reports it
  } catch (const std::out_of_range& e) {
    Detail::Throw(e, "Qel::Regex::Regex", pattern);
  } catch (const std::runtime_error& e) {
    Detail::Throw(e, "Qel::Regex::Regex", pattern);
  }
}

Regex::Regex(const Regex& other)
    : m_pattern(other.m_pattern),
      m_ignoreCase(other.m_ignoreCase),
      m_saveSubMatches(other.m_saveSubMatches),
      m_compiled(other.m_compiled) {}

Regex& Regex::operator=(const Regex& other) {
  if (this == &other) return *this;
  m_pattern = other.m_pattern;
  m_ignoreCase = other.m_ignoreCase;
  m_saveSubMatches = other.m_saveSubMatches;
  m_compiled = other.m_compiled;
  delete m_result;
  m_result = nullptr;
  return *this;
}

Regex::~Regex() { delete m_result; }

RegexMatch* Regex::Match(const std::u16string& text) {
  delete m_result;
  m_result = nullptr;
  const boost::u32regex& expression = m_compiled->Expression();
  const char16_t* const begin = text.data();
  const char16_t* const end = begin + text.size();
  const char16_t* start = begin;
  RegexMatch** tail = &m_result;
  boost::match_results<const char16_t*> found;
  try {
    while (boost::u32regex_search(start, end, found, expression,
                                  boost::regex_constants::match_not_initial_null, start)) {
      auto node = std::make_unique<RegexMatch>();
      node->m_position = static_cast<std::int32_t>(found[0].first - begin);
      node->m_length = static_cast<std::int32_t>(found[0].second - found[0].first);
      node->m_matched = true;
      if (m_saveSubMatches) {
        node->m_subMatches.reserve(found.size());
        for (std::size_t group = 0; group < found.size(); ++group) {
          node->m_subMatches.push_back(found[group].matched ? found[group].str()
                                                            : std::u16string());
        }
      }
      *tail = node.release();
      tail = &(*tail)->m_next;
      start = found[0].second;
    }
    *tail = new RegexMatch();
  } catch (const std::out_of_range& e) {
    Detail::Throw(e, "Qel::Regex::Match", m_pattern, Excerpt(text));
  } catch (const std::runtime_error& e) {
    Detail::Throw(e, "Qel::Regex::Match", m_pattern, Excerpt(text));
  }
  return m_result;
}

}  // namespace Qel
