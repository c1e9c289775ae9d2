// The hashed text vectorizer: word features from the word filter, character n-grams of the
// case-folded form KC text, one fixed hash for both.
#include <qel/kit/TextVectorizer.h>
#include <qel/text/AsciiTextFilter.h>
#include <qel/text/Unicode.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "core/Throw.h"

namespace Qel {

namespace {

constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;
constexpr std::uint64_t kWordSeed = 1;
constexpr std::uint64_t kGramSeed = 2;

std::uint64_t Mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

// Separates the words of the n-gram text (after form KC, which maps the other spaces onto these).
bool IsSeparator(char32_t c) {
  return c == u' ' || c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x1680 || c == 0x2028 ||
         c == 0x2029;
}

// A thread's working buffers, kept between calls.
struct Buffers {
  std::vector<std::uint32_t> ids;
  std::vector<std::uint32_t> sortBuffer;
  std::vector<std::uint32_t> units;
  std::string symbols;
};

// Out of line, so that the thread-local address is looked up once per call and not again at
// every use inside the loops.
[[gnu::noinline]] Buffers& ThreadBuffers() {
  thread_local Buffers buffers;
  return buffers;
}

// 1 + ln(count) for the small counts most features have, as the expression computes it.
const std::array<float, 32> kLogTable = [] {
  std::array<float, 32> table{};
  for (std::size_t i = 1; i < table.size(); ++i) {
    table[i] = 1.0f + std::log(static_cast<float>(i));
  }
  return table;
}();

// Sorts ids below 2^bits: a least-significant-digit radix sort in passes of at most 8 bits
// (three passes of 7 for the default 19), std::sort for short lists.
void SortIds(std::vector<std::uint32_t>& ids, std::vector<std::uint32_t>& buffer, unsigned bits) {
  if (ids.size() < 64) {
    std::sort(ids.begin(), ids.end());
    return;
  }
  // Small digits keep the counting arrays small beside a document's few hundred ids.
  const unsigned passes = (bits + 7) / 8;
  const unsigned digit = (bits + passes - 1) / passes;
  const std::uint32_t mask = (1u << digit) - 1;
  buffer.resize(ids.size());
  std::uint32_t* from = ids.data();
  std::uint32_t* to = buffer.data();
  std::uint32_t offsets[1u << 8];
  for (unsigned pass = 0; pass < passes; ++pass) {
    const unsigned shift = pass * digit;
    std::fill_n(offsets, mask + 1, 0u);
    for (std::size_t i = 0; i < ids.size(); ++i) ++offsets[(from[i] >> shift) & mask];
    std::uint32_t sum = 0;
    for (std::uint32_t d = 0; d <= mask; ++d) sum += std::exchange(offsets[d], sum);
    for (std::size_t i = 0; i < ids.size(); ++i) to[offsets[(from[i] >> shift) & mask]++] = from[i];
    std::swap(from, to);
  }
  if (from != ids.data()) std::copy_n(from, ids.size(), ids.data());
}

}  // namespace

std::uint64_t TextVectorizer::Hash(std::uint64_t seed, const std::uint32_t* units,
                                   std::size_t count) {
  std::uint64_t h = kFnvBasis ^ seed;
  for (std::size_t i = 0; i < count; ++i) h = (h ^ units[i]) * kFnvPrime;
  return Mix(h);
}

TextVectorizer::TextVectorizer(const VectorizerOptions& options) : m_options(options) {
  if (options.minWordLength < 1 || options.minWordLength > 255) {
    Detail::ThrowInvalidArgument(u"minWordLength");
  }
  if (options.charMax > 8 ||
      (options.charMax != 0 && (options.charMin < 1 || options.charMin > options.charMax))) {
    Detail::ThrowInvalidArgument(u"charMin/charMax");
  }
  if (options.hashBits < 8 || options.hashBits > 26) Detail::ThrowInvalidArgument(u"hashBits");
  if (!options.words && options.charMax == 0) Detail::ThrowInvalidArgument(u"no features");
  if (options.words) {
    m_filter = AdoptRef(
        AsciiTextFilter::Create(static_cast<unsigned char>(options.minWordLength), options.digits));
  }
}

TextVectorizer::~TextVectorizer() = default;

void TextVectorizer::Vectorize(std::u16string_view text, std::vector<TermEntry>& out) const {
  out.clear();
  Buffers& buffers = ThreadBuffers();
  std::vector<std::uint32_t>& ids = buffers.ids;
  std::vector<std::uint32_t>& units = buffers.units;
  ids.clear();
  const unsigned shift = 64 - m_options.hashBits;
  auto hashOf = [shift](std::uint64_t seed, const std::uint32_t* u, std::size_t n) {
    return static_cast<std::uint32_t>(Hash(seed, u, n) >> shift);
  };

  if (m_options.words && !text.empty()) {
    // The filter writes at most three symbols and a separator per character.
    const std::size_t outSize = text.size() * 4 + 2;
    std::string& symbols = buffers.symbols;
    if (symbols.size() < outSize) symbols.resize(outSize);  // only the n bytes written are read
    // The filter only reads its tables (see AsciiTextFilter); it is not const-qualified.
    const unsigned n = m_filter->FilterTextW(text.data(), static_cast<unsigned>(text.size()),
                                             symbols.data(), static_cast<unsigned>(outSize));
    units.clear();
    for (unsigned i = 0; i <= n; ++i) {
      if (i < n && symbols[i] != '\0') {
        units.push_back(static_cast<unsigned char>(symbols[i]));
        continue;
      }
      if (!units.empty()) ids.push_back(hashOf(kWordSeed, units.data(), units.size()));
      units.clear();
    }
  }

  if (m_options.charMax != 0 && !text.empty()) {
    const std::u16string folded = Unicode::PerformUnicodeKcCaseFolding(std::u16string(text));
    // Code points of one word padded by a space on each side.
    units.clear();
    auto flush = [&] {
      if (units.empty()) return;
      units.push_back(u' ');
      const std::size_t len = units.size();
      for (std::size_t start = 0; start < len; ++start) {
        std::uint64_t h = kFnvBasis ^ kGramSeed;
        const std::size_t maxN = std::min<std::size_t>(m_options.charMax, len - start);
        for (std::size_t k = 0; k < maxN; ++k) {
          h = (h ^ units[start + k]) * kFnvPrime;
          // A gram that is the padding alone is no feature.
          if (k + 1 >= m_options.charMin && !(k == 0 && units[start] == u' ')) {
            ids.push_back(static_cast<std::uint32_t>(Mix(h) >> shift));
          }
        }
      }
      units.clear();
    };
    for (std::size_t i = 0; i < folded.size(); ++i) {
      char32_t c = folded[i];
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < folded.size() && folded[i + 1] >= 0xDC00 &&
          folded[i + 1] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (folded[i + 1] - 0xDC00);
        ++i;
      }
      if (IsSeparator(c)) {
        flush();
      } else {
        if (units.empty()) units.push_back(u' ');
        units.push_back(static_cast<std::uint32_t>(c));
      }
    }
    flush();
  }

  SortIds(ids, buffers.sortBuffer, m_options.hashBits);
  std::size_t unique = 0;
  for (std::size_t i = 0; i < ids.size(); ++i) unique += i == 0 || ids[i] != ids[i - 1];
  out.reserve(unique);
  for (std::size_t i = 0; i < ids.size();) {
    std::size_t j = i + 1;
    while (j < ids.size() && ids[j] == ids[i]) ++j;
    const auto count = static_cast<float>(j - i);
    out.push_back({ids[i], !m_options.sublinearTf     ? count
                           : j - i < kLogTable.size() ? kLogTable[j - i]
                                                      : 1.0f + std::log(count)});
    i = j;
  }
}

}  // namespace Qel
