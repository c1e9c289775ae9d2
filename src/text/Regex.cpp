#include "qel/text/Regex.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <stdexcept>
#include <utility>
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

// The nodes of one Regex's chains and the engine's match results, kept from one Match to the
// next. When every word matches, a node allocated and freed per match costs as much as the
// search itself; here nodes are built in blocks of growing size and reused, together with the
// capacity of their sub-match texts, so a repeated Match allocates nothing. Blocks after the
// one that holds the end of the latest chain are released, so the memory kept follows the
// latest chain.
class RegexMatchStore {
 public:
  RegexMatchStore() = default;
  RegexMatchStore(const RegexMatchStore&) = delete;
  RegexMatchStore& operator=(const RegexMatchStore&) = delete;
  ~RegexMatchStore() {
    for (Block& block : m_blocks) Free(block);
  }

  // Starts a new chain: the nodes of the previous chain become free for reuse.
  void Restart() {
    m_block = 0;
    m_used = 0;
  }

  // The next free node, its link null and its other fields those of an earlier chain (or of a
  // new node). Throws std::bad_alloc; the nodes handed out before stay valid.
  RegexMatch* Next() {
    if (m_block < m_blocks.size() && m_used == m_blocks[m_block].capacity) {
      ++m_block;
      m_used = 0;
    }
    if (m_block == m_blocks.size()) Grow();
    Block& block = m_blocks[m_block];
    RegexMatch* const node = block.nodes + m_used;
    if (m_used == block.constructed) {
      new (node) RegexMatch();
      ++block.constructed;
    } else {
      node->m_next = nullptr;
    }
    ++m_used;
    return node;
  }

  // Frees the blocks that the current chain does not reach.
  void ReleaseUnused() { Keep(std::min(m_block + 1, m_blocks.size())); }

  // Frees the blocks that do not fit in `nodes` nodes, counted from the first block.
  void Limit(std::size_t nodes) {
    std::size_t blocks = 0;
    for (std::size_t total = 0; blocks < m_blocks.size(); ++blocks) {
      total += m_blocks[blocks].capacity;
      if (total > nodes) break;
    }
    Keep(blocks);
  }

  std::size_t Capacity() const {
    std::size_t total = 0;
    for (const Block& block : m_blocks) total += block.capacity;
    return total;
  }

  boost::match_results<Utf16SearchIterator> found;

 private:
  struct Block {
    RegexMatch* nodes;
    std::size_t capacity;
    std::size_t constructed;  // nodes [0, constructed) are live objects
  };
  static constexpr std::size_t kFirstBlock = 64;
  static constexpr std::size_t kLargestBlock = std::size_t{1} << 16;

  void Grow() {
    const std::size_t capacity =
        m_blocks.empty() ? kFirstBlock : std::min(2 * m_blocks.back().capacity, kLargestBlock);
    m_blocks.reserve(m_blocks.size() + 1);
    m_blocks.push_back({std::allocator<RegexMatch>().allocate(capacity), capacity, 0});
  }

  void Keep(std::size_t blocks) {
    for (std::size_t i = blocks; i < m_blocks.size(); ++i) Free(m_blocks[i]);
    m_blocks.resize(std::min(blocks, m_blocks.size()));
    m_block = std::min(m_block, blocks);
    if (m_block == blocks) m_used = 0;
  }

  static void Free(Block& block) {
    for (std::size_t i = 0; i < block.constructed; ++i) {
      // The links point into the blocks, which the destructor must not follow.
      block.nodes[i].m_next = nullptr;
      block.nodes[i].~RegexMatch();
    }
    std::allocator<RegexMatch>().deallocate(block.nodes, block.capacity);
  }

  std::vector<Block> m_blocks;
  std::size_t m_block = 0;  // block of the next free node
  std::size_t m_used = 0;   // nodes of that block handed out since Restart
};

namespace {

// The store of the latest Regex destroyed, kept for the next Regex that matches. Fresh memory
// costs a page fault per page on first touch, more than a search when every word matches, so
// a new Regex takes over the nodes of an old one instead. At most kSpareNodes nodes are kept.
struct SpareStore {
  std::mutex mutex;
  RegexMatchStore* store = nullptr;
};

constexpr std::size_t kSpareNodes = std::size_t{1} << 16;

// Never destroyed, like the cache: a Regex may be destroyed during static destruction.
SpareStore& Spare() {
  static SpareStore* const spare = new SpareStore;
  return *spare;
}

RegexMatchStore* TakeRegexMatchStore() {
  {
    SpareStore& spare = Spare();
    std::lock_guard lock(spare.mutex);
    if (spare.store != nullptr) return std::exchange(spare.store, nullptr);
  }
  return new RegexMatchStore;
}

void ReturnRegexMatchStore(RegexMatchStore* store) {
  if (store == nullptr) return;
  store->Limit(kSpareNodes);
  {
    SpareStore& spare = Spare();
    std::lock_guard lock(spare.mutex);
    if (spare.store == nullptr || spare.store->Capacity() < store->Capacity()) {
      std::swap(spare.store, store);
    }
  }
  delete store;
}

}  // namespace
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
  m_result = nullptr;
  Detail::ReturnRegexMatchStore(std::exchange(m_store, nullptr));
  return *this;
}

Regex::~Regex() { Detail::ReturnRegexMatchStore(m_store); }

RegexMatch* Regex::Match(const std::u16string& text) {
  m_result = nullptr;
  if (m_store == nullptr) m_store = Detail::TakeRegexMatchStore();
  Detail::RegexMatchStore& store = *m_store;
  store.Restart();
  // What u32regex_search does for UTF-16, with the match results kept across searches instead
  // of built and copied by every search.
  using Iterator = Detail::Utf16SearchIterator;
  const boost::u32regex& expression = m_compiled->Expression();
  boost::match_results<Iterator>& found = store.found;
  const char16_t* const begin = text.data();
  const char16_t* const end = begin + text.size();
  const char16_t* start = begin;
  RegexMatch** tail = &m_result;
  try {
    while (boost::regex_search(Iterator(start, start, end), Iterator(end, start, end), found,
                               expression, boost::regex_constants::match_not_initial_null,
                               Iterator(start))) {
      const char16_t* const first = found[0].first.base();
      const char16_t* const second = found[0].second.base();
      RegexMatch* const node = store.Next();
      node->m_position = static_cast<std::int32_t>(first - begin);
      node->m_length = static_cast<std::int32_t>(second - first);
      node->m_matched = true;
      if (m_saveSubMatches) {
        node->m_subMatches.resize(found.size());
        for (std::size_t group = 0; group < found.size(); ++group) {
          const auto& sub = found[group];
          if (sub.matched) {
            node->m_subMatches[group].assign(sub.first.base(), sub.second.base());
          } else {
            node->m_subMatches[group].clear();
          }
        }
      } else {
        node->m_subMatches.clear();
      }
      *tail = node;
      tail = &node->m_next;
      start = second;
    }
    RegexMatch* const last = store.Next();
    last->m_position = -1;
    last->m_length = -1;
    last->m_matched = false;
    last->m_subMatches.clear();
    *tail = last;
  } catch (const std::out_of_range& e) {
    store.ReleaseUnused();
    Detail::Throw(e, "Qel::Regex::Match", m_pattern, Excerpt(text));
  } catch (const std::runtime_error& e) {
    store.ReleaseUnused();
    Detail::Throw(e, "Qel::Regex::Match", m_pattern, Excerpt(text));
  }
  store.ReleaseUnused();
  return m_result;
}

}  // namespace Qel
