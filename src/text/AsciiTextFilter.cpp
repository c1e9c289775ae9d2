#include "qel/text/AsciiTextFilter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/Throw.h"
#include "text/TextTables.h"
#include "text/WordBlocks.h"

namespace Qel {

std::atomic<bool> AsciiTextFilter::m_AlphaNumWInitialized{false};

namespace {
constexpr unsigned char kSeparator = 0;
constexpr unsigned char kIgnore = 1;
constexpr unsigned char kCjk = 241;
}  // namespace

AsciiTextFilter* AsciiTextFilter::Create(unsigned char minWordLen, bool useDigits) {
  AsciiTextFilter* filter = new (std::nothrow) AsciiTextFilter();
  if (filter == nullptr) Detail::ThrowOutOfMemory(u"[752]");
  filter->m_symbolCount = filter->InitFilter(useDigits);
  filter->m_minWordLen = minWordLen;
  filter->m_useDigits = useDigits;
  filter->AddRefCount();
  return filter;
}

AsciiTextFilter::AsciiTextFilter(const AsciiTextFilter& other) : TextFilter() { *this = other; }

AsciiTextFilter& AsciiTextFilter::operator=(const AsciiTextFilter& other) {
  if (this == &other) return *this;
  std::memcpy(m_narrowMap, other.m_narrowMap, sizeof m_narrowMap);
  std::memcpy(m_alphaNum, other.m_alphaNum, sizeof m_alphaNum);
  m_symbolCount = other.m_symbolCount;
  m_minSymbol = other.m_minSymbol;
  m_maxSymbol = other.m_maxSymbol;
  m_cjkSymbol = other.m_cjkSymbol;
  m_digitBase = other.m_digitBase;
  m_letterBase = other.m_letterBase;
  m_ignoreSymbol = other.m_ignoreSymbol;
  m_useDigits = other.m_useDigits;
  m_minWordLen = other.m_minWordLen;
  std::memcpy(m_wideMap, other.m_wideMap, sizeof m_wideMap);
  std::memcpy(m_blockMap, other.m_blockMap, sizeof m_blockMap);
  return *this;
}

void AsciiTextFilter::SetUseDigits(bool useDigits) {
  m_useDigits = useDigits;
  m_symbolCount = InitFilter(useDigits);
}

unsigned int AsciiTextFilter::InitFilter(bool useDigits) {
  m_minSymbol = 16;
  m_maxSymbol = 240;
  m_cjkSymbol = kCjk;
  m_digitBase = 16;
  m_letterBase = 26;
  m_ignoreSymbol = kIgnore;
  std::fill(std::begin(m_narrowMap), std::end(m_narrowMap), kSeparator);
  std::fill(std::begin(m_alphaNum), std::end(m_alphaNum), '_');

  for (unsigned d = 0; d < 10; ++d) {
    m_alphaNum[m_digitBase + d] = static_cast<unsigned char>('0' + d);
    if (useDigits) m_narrowMap['0' + d] = static_cast<unsigned char>(m_digitBase + d);
  }
  for (unsigned i = 0; i < 26; ++i) {
    m_alphaNum[m_letterBase + i] = static_cast<unsigned char>('A' + i);
    m_narrowMap['A' + i] = static_cast<unsigned char>(m_letterBase + i);
    m_narrowMap['a' + i] = m_narrowMap['A' + i];
  }
  // Latin-1 capitals start from the letter 0x7F below them; the last six get codes of their own.
  std::uint32_t next = m_letterBase + 26;
  for (unsigned b = 0xC0; b <= 0xDF; ++b) {
    m_narrowMap[b] = m_narrowMap[b - 0x7F];
    if (b >= 0xDA) {
      m_narrowMap[b] = static_cast<unsigned char>(next);
      m_alphaNum[next] = static_cast<unsigned char>(b);
      ++next;
    }
  }
  for (const Detail::NarrowFold& fold : Detail::NarrowFolds()) {
    const unsigned char code = m_narrowMap[static_cast<unsigned char>(fold.letter)];
    for (unsigned b = fold.first; b <= fold.last; ++b) m_narrowMap[b] = code;
  }

  std::fill(std::begin(m_wideMap), std::end(m_wideMap), kSeparator);
  std::copy(std::begin(m_narrowMap), std::end(m_narrowMap), std::begin(m_wideMap));
  std::uint32_t code = m_letterBase;
  for (const Detail::WideMapRule& rule : Detail::WideMapRules()) {
    switch (rule.kind) {
      case Detail::WideRuleKind::Numbered:
        code = rule.code;
        [[fallthrough]];
      case Detail::WideRuleKind::Continued:
        for (std::uint32_t u = rule.first; u <= rule.last && code < m_maxSymbol; ++u) {
          m_wideMap[u] = static_cast<unsigned char>(code++);
        }
        break;
      case Detail::WideRuleKind::Fixed:
        std::fill(m_wideMap + rule.first, m_wideMap + rule.last + 1, rule.code);
        break;
      case Detail::WideRuleKind::Digits:
        if (useDigits) {
          for (std::uint32_t u = rule.first; u <= rule.last; ++u) {
            m_wideMap[u] = static_cast<unsigned char>(m_digitBase + (u - rule.first));
          }
        }
        break;
      case Detail::WideRuleKind::Listed:
        std::copy(rule.list, rule.list + (rule.last - rule.first + 1), m_wideMap + rule.first);
        break;
    }
  }
  std::copy(std::begin(m_wideMap), std::end(m_wideMap), std::begin(m_blockMap));
  std::fill(m_blockMap + 0xD800, m_blockMap + 0xDC00, Detail::kWordBlockHighSurrogate);
  m_AlphaNumWInitialized.store(true, std::memory_order_relaxed);
  return code;
}

std::int32_t AsciiTextFilter::EncodeCJK(char16_t ch, char* out) const {
  return Detail::EncodeCjkUnit(ch, m_letterBase, out);
}

// One pass for both widths. A word is copied while it is measured and taken back if it turns
// out too short, which gives the same output as measuring first. The wide filter keeps within
// outSize; the narrow one ignores it, since its caller provides length + 2 bytes.
template <bool kWide, bool kPositions, class Unit>
unsigned int AsciiTextFilter::Filter(const Unit* text, unsigned int length, char* out,
                                     unsigned int outSize,
                                     std::vector<std::int32_t>* positions) const {
  if (kPositions) positions->clear();
  if (text == nullptr) length = 0;
  if constexpr (kWide) {
    if (outSize == 0) return 0;
  }
  if (out == nullptr) return 0;
  const unsigned char* const map = kWide ? m_wideMap : m_narrowMap;
  const auto codeAt = [&](std::uint32_t k) -> unsigned char {
    if constexpr (kWide) {
      return map[static_cast<char16_t>(text[k])];
    } else {
      return map[static_cast<unsigned char>(text[k])];
    }
  };
  const std::int64_t size = kWide ? std::int64_t{outSize} : std::int64_t{length} + 2;
  // Ordinary codes: the wide filter keeps the last byte for the terminator.
  const std::int64_t codeLimit = kWide ? size - 1 : size;
  const auto record = [&](std::uint32_t index) {
    if constexpr (kPositions) positions->push_back(static_cast<std::int32_t>(index));
  };

  std::int64_t n = 0;
  out[n++] = 0;
  record(0);
  std::uint32_t i = 0;
  if constexpr (!kPositions) {
    // The bulk of a long text goes through the block engine; the loop below finishes it.
    static const Detail::WordBlockPath path = Detail::BestWordBlockPath();
    const Detail::WordBlockTables tables{kWide ? m_blockMap : m_narrowMap, m_minWordLen,
                                         m_letterBase};
    Detail::FilterWordBlocks(text, length, out, size, i, n, tables, path);
  }
  bool full = false;
  while (i < length && !full && (!kWide || n < size - 2)) {
    while (i < length && codeAt(i) == kSeparator) ++i;
    if (i >= length) break;

    const std::uint32_t wordBegin = i;
    const std::int64_t wordOut = n;
    const std::size_t wordPositions = kPositions ? positions->size() : 0;
    bool reachesCjk = false;
    const auto keepWord = [&] {
      if (reachesCjk || i - wordBegin >= m_minWordLen) return true;
      n = wordOut;
      if constexpr (kPositions) positions->resize(wordPositions);
      return false;
    };
    for (;;) {
      if (i >= length) {
        keepWord();
        break;
      }
      const unsigned char c = codeAt(i);
      if (c > kIgnore && c < kCjk) {
        if (n < codeLimit) {
          out[n++] = static_cast<char>(c);
          record(i);
        }
        ++i;
        continue;
      }
      if (c == kIgnore) {
        ++i;
        continue;
      }
      if (c == kSeparator) {
        if (keepWord() && n < codeLimit) {
          out[n++] = 0;
          record(i);
        }
        ++i;
        break;
      }
      // CJK: measuring stops here and the word counts as long enough.
      reachesCjk = true;
      if (n < size - 5) {
        const std::int32_t written = EncodeCJK(static_cast<char16_t>(text[i]), out + n);
        for (std::int32_t k = 0; k < written; ++k) record(i);
        n += written;
        ++i;
        if (out[n - 1] == 0) break;
      } else {
        ++i;
        full = true;
      }
    }
  }
  if (out[n - 1] != 0 && n < size) {
    out[n++] = 0;
    if constexpr (kPositions) positions->push_back(positions->back() + 1);
  }
  if constexpr (kPositions) {
    if (positions->size() >= 3 && (*positions)[1] >= 1) (*positions)[0] = (*positions)[1] - 1;
  }
  return static_cast<unsigned int>(n);
}

unsigned int AsciiTextFilter::FilterTextA(const char* text, unsigned int length, char* out,
                                          unsigned int outSize,
                                          std::vector<std::int32_t>& positions) {
  return Filter<false, true>(text, length, out, outSize, &positions);
}

unsigned int AsciiTextFilter::FilterTextA(const char* text, unsigned int length, char* out,
                                          unsigned int outSize) {
  return Filter<false, false>(text, length, out, outSize, nullptr);
}

unsigned int AsciiTextFilter::FilterTextW(const char16_t* text, unsigned int length, char* out,
                                          unsigned int outSize,
                                          std::vector<std::int32_t>& positions) {
  return Filter<true, true>(text, length, out, outSize, &positions);
}

unsigned int AsciiTextFilter::FilterTextW(const char16_t* text, unsigned int length, char* out,
                                          unsigned int outSize) {
  return Filter<true, false>(text, length, out, outSize, nullptr);
}

}  // namespace Qel
