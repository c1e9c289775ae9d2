#include "qel/text/RecordPreprocessor.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/Throw.h"
#include "qel/core/StringConversion.h"
#include "text/FindUnit.h"
#include "text/SubstitutionPairs.h"
#include "text/UnicodeKc.h"

namespace Qel {
namespace {

// QelToLower, Unicode::IsCjkCharacter and Unicode::IsControlCharacter of every UTF-16 unit, and
// the width block's mapping, looked up instead of computed per character (the case mapping goes
// through ICU). Built once, on first use.
struct UnitTables {
  static constexpr char16_t kWidthFirst = 0xFF00;  // the half-width and full-width block
  static constexpr char16_t kWidthLast = 0xFFEF;
  std::array<char16_t, 0x10000> lower;
  std::array<bool, 0x10000> cjk;
  std::array<bool, 0x10000> control;
  std::array<char16_t, kWidthLast - kWidthFirst + 1> width;
  std::array<bool, kWidthLast - kWidthFirst + 1> widthMapped;  // false: the mapping throws
};

const UnitTables& Units() {
  static const UnitTables* const tables = [] {
    auto* t = new UnitTables;
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
      t->lower[c] = QelToLower(static_cast<char16_t>(c));
      t->cjk[c] = Unicode::IsCjkCharacter(static_cast<char16_t>(c));
      t->control[c] = Unicode::IsControlCharacter(static_cast<char16_t>(c));
    }
    for (std::uint32_t c = UnitTables::kWidthFirst; c <= UnitTables::kWidthLast; ++c) {
      const std::size_t i = c - UnitTables::kWidthFirst;
      t->widthMapped[i] =
          Unicode::CharacterIsInHalfWidthAndFullWidthUnicodeBlock(static_cast<char16_t>(c));
      t->width[i] = static_cast<char16_t>(c);
      if (!t->widthMapped[i]) continue;
      try {
        t->width[i] =
            Unicode::GetHalfWidthAndFullWidthCharacterNormalizedCharacter(static_cast<char16_t>(c));
      } catch (const BaseException&) {
        t->widthMapped[i] = false;
      }
    }
    return t;
  }();
  return *tables;
}

// What FilterUnits does with each UTF-16 unit under one set of switches: the unit it writes
// (the width form mapped, then the case folded) in the low 16 bits, with flags. Built once per
// set of switches, on first use.
enum UnitFlags : std::uint32_t {
  kCjkUnit = 1u << 16,      // the unit written is CJK and CJK normalisation is on
  kControlUnit = 1u << 17,  // a control character: it ends a sub-field
  kComputed = 1u << 18,     // a width form without a mapping: the mapping is asked (and throws)
};

using UnitMap = std::array<std::uint32_t, 0x10000>;

UnitMap* BuildUnitMap(bool ignoreCase, bool widthForms, bool cjkUnits) {
  const UnitTables& units = Units();
  auto* map = new UnitMap;
  for (std::uint32_t i = 0; i < 0x10000; ++i) {
    auto c = static_cast<char16_t>(i);
    std::uint32_t flags = 0;
    if (units.control[c]) {
      flags = kControlUnit;
    } else if (c >= 0x80) {
      if (widthForms && c >= UnitTables::kWidthFirst && c <= UnitTables::kWidthLast) {
        const std::size_t w = c - UnitTables::kWidthFirst;
        if (units.widthMapped[w]) {
          c = units.width[w];
        } else {
          flags = kComputed;
        }
      }
      if (ignoreCase) c = units.lower[c];
      if (cjkUnits && units.cjk[c]) flags |= kCjkUnit;
    } else if (ignoreCase && c >= u'A' && c <= u'Z') {
      c = static_cast<char16_t>(c + 0x20);
    }
    (*map)[i] = flags | c;
  }
  return map;
}

template <int kSwitches>
const UnitMap& UnitMapOf() {
  static const UnitMap* const map =
      BuildUnitMap((kSwitches & 1) != 0, (kSwitches & 2) != 0, (kSwitches & 4) != 0);
  return *map;
}

const UnitMap& UnitMapFor(bool ignoreCase, bool widthForms, bool cjkUnits) {
  using Get = const UnitMap& (*)();
  static constexpr Get kMaps[8] = {UnitMapOf<0>, UnitMapOf<1>, UnitMapOf<2>, UnitMapOf<3>,
                                   UnitMapOf<4>, UnitMapOf<5>, UnitMapOf<6>, UnitMapOf<7>};
  return kMaps[(ignoreCase ? 1 : 0) | (widthForms ? 2 : 0) | (cjkUnits ? 4 : 0)]();
}

// The units from `low` to `low + span`.
struct UnitRange {
  char16_t low = 0xFFFF;
  char16_t span = 0;
  bool Holds(char16_t c) const { return static_cast<char16_t>(c - low) <= span; }
};

}  // namespace

namespace Detail {

// Where FilterUnits wrote units of the watched range: the first 64 positions, in order.
struct UnitHits {
  static constexpr std::size_t kMost = 64;
  std::uint32_t position[kMost + 1];  // one more, written and dropped: no branch per unit
  std::size_t count = 0;              // more than kMost: the positions are not all there
  void Add(std::size_t at, bool hit) {
    position[count < kMost ? count : kMost] = static_cast<std::uint32_t>(at);
    count += hit ? 1 : 0;
  }
  bool Complete() const { return count <= kMost; }
};

}  // namespace Detail

namespace {

using Detail::UnitHits;

// FilterString of `size` units into `result`, which is replaced; `hits` gets the positions of
// the units of the result in `watched` (all of them when the sub-field delimiter lies there).
// Returns whether there are any.
bool FilterUnits(const char16_t* s, std::size_t size, bool ignoreCase,
                 const std::u16string& removeChars, bool performUnicodeNormalization,
                 bool performCjkNormalization, char16_t subFieldDelimiter, UnitRange watched,
                 UnitHits& hits, std::u16string& result) {
  // Each unit gives at most itself and one sub-field delimiter before it; eight more units of
  // room let the last units of a field be stored as a whole vector.
  result.resize(size * 2 + 8);
  char16_t* const first = result.data();
  char16_t* out = first;
  const char16_t sub = subFieldDelimiter;
  // The last unit written; as if a delimiter came first, so that none is written first.
  char16_t last = sub;
  unsigned previousCjk = 0;
  // The delimiter may be written too: then every position would have to be told.
  if (watched.Holds(sub)) hits.count = UnitHits::kMost + 1;
  const UnitMap& map = UnitMapFor(ignoreCase, performUnicodeNormalization, performCjkNormalization);
  const bool removes = !removeChars.empty();
#if defined(__SSE2__)
  const bool wide = !removes;
  const __m128i watchedLow = _mm_set1_epi16(static_cast<short>(watched.low));
  const __m128i watchedSpan = _mm_set1_epi16(static_cast<short>(watched.span));
#else
  const bool wide = false;
#endif
  for (std::size_t i = 0; i < size;) {
#if defined(__SSE2__)
    // Eight units without CJK, control characters or width forms to ask for, after a unit that
    // is not CJK: each is written as its table entry says, with nothing between them.
    if (wide && previousCjk == 0) {
      // The last units of the field too: lanes past its end hold zeros, are stored into the
      // room kept at the end of the result and are not counted.
      const std::size_t lanes = size - i < 8 ? size - i : 8;
      std::uint32_t e[8];
      std::uint32_t flags = 0;
      for (std::size_t k = 0; k < 8; ++k) {
        e[k] = k < lanes ? map[s[i + k]] : 0;
        flags |= e[k];
      }
      if ((flags & (kCjkUnit | kControlUnit | kComputed)) == 0) {
        const __m128i units = _mm_setr_epi16(static_cast<short>(e[0]), static_cast<short>(e[1]),
                                             static_cast<short>(e[2]), static_cast<short>(e[3]),
                                             static_cast<short>(e[4]), static_cast<short>(e[5]),
                                             static_cast<short>(e[6]), static_cast<short>(e[7]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), units);
        const auto at = static_cast<std::size_t>(out - first);
        out += lanes;
        last = static_cast<char16_t>(e[lanes - 1]);
        const __m128i beyond = _mm_subs_epu16(_mm_sub_epi16(units, watchedLow), watchedSpan);
        // Two mask bits per lane: the lower one stands for it.
        auto inRange =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128()))) &
            0x5555u & ((1u << (2 * lanes)) - 1);
        for (; inRange != 0; inRange &= inRange - 1) {
          hits.Add(at + static_cast<std::size_t>(__builtin_ctz(inRange)) / 2, true);
        }
        i += lanes;
        continue;
      }
    }
#endif
    // Text mixes scripts unit by unit, so the common path decides without branches.
    const std::size_t stop = wide && size - i > 8 ? i + 8 : size;
    for (; i < stop; ++i) {
      char16_t c = s[i];
      std::uint32_t entry = map[c];
      if (entry & (kControlUnit | kComputed)) [[unlikely]] {
        if (entry & kControlUnit) {
          if (last != sub) {
            *out++ = sub;
            last = sub;
            previousCjk = 0;
          }
          continue;
        }
        c = Unicode::GetHalfWidthAndFullWidthCharacterNormalizedCharacter(c);
        const UnitTables& units = Units();
        if (ignoreCase) c = units.lower[c];
        entry = c | (performCjkNormalization && units.cjk[c] ? kCjkUnit : 0u);
      }
      c = static_cast<char16_t>(entry);
      if (removes && removeChars.find(c) != std::u16string::npos) continue;
      const unsigned cjk = (entry >> 16) & 1;  // kCjkUnit
      const unsigned split = (cjk | (previousCjk & static_cast<unsigned>(c != sub))) &
                             static_cast<unsigned>(last != sub);
      *out = sub;
      out += split;
      *out++ = c;
      last = c;
      hits.Add(static_cast<std::size_t>(out - first) - 1, watched.Holds(c));
      previousCjk = cjk;
    }
  }
  result.resize(static_cast<std::size_t>(out - first));
  return hits.count > 0;
}

// The delimiter test: the character's own form KC is one character found in `delimiters`.
bool IsDelimiter(char16_t c, const std::u16string& delimiters) {
  char16_t form = 0;
  return Detail::SingleUnitKcForm(c, form) && delimiters.find(form) != std::u16string::npos;
}

// One bit per UTF-16 unit that IsDelimiter accepts; empty when there are no delimiters.
void BuildDelimiterUnits(const std::u16string& delimiters, std::vector<std::uint64_t>& units) {
  units.assign(delimiters.empty() ? 0 : 0x10000 / 64, 0);
  if (delimiters.empty()) return;
  for (std::uint32_t c = 0; c < 0x10000; ++c) {
    if (IsDelimiter(static_cast<char16_t>(c), delimiters)) {
      units[c >> 6] |= std::uint64_t{1} << (c & 63);
    }
  }
}

template <class Probe>
void BuildDelimiterProbe(const std::vector<std::uint64_t>& units, Probe& probe) {
  probe = Probe{};
  std::size_t ascii = 0;
  char16_t high = 0;
  for (std::uint32_t c = 0; c < units.size() * 64; ++c) {
    if (!((units[c >> 6] >> (c & 63)) & 1)) continue;
    const auto unit = static_cast<char16_t>(c);
    if (c < 0x80) {
      if (ascii < std::size(probe.ascii)) {
        probe.ascii[ascii++] = unit;
      } else {
        probe.asciiExact = false;
      }
    } else {
      if (probe.otherLow == 0xFFFF) probe.otherLow = unit;
      high = unit;
    }
  }
  for (std::size_t k = ascii; k < std::size(probe.ascii) && ascii > 0; ++k) {
    probe.ascii[k] = probe.ascii[0];
  }
  if (high >= probe.otherLow) probe.otherSpan = static_cast<char16_t>(high - probe.otherLow);
}

std::size_t FindDelimiter(const std::u16string& record, std::size_t from,
                          const std::u16string& delimiters) {
  // ASCII is its own form KC: those delimiters are looked up in a bit set without the table.
  std::uint64_t ascii[2] = {0, 0};
  for (char16_t d : delimiters) {
    if (d < 0x80) ascii[d >> 6] |= std::uint64_t{1} << (d & 63);
  }
  const char16_t* data = record.data();
  const std::size_t size = record.size();
  for (std::size_t i = from; i < size; ++i) {
    const char16_t c = data[i];
    if (c < 0x80) {
      if ((ascii[c >> 6] >> (c & 63)) & 1) return i;
    } else if (IsDelimiter(c, delimiters)) {
      return i;
    }
  }
  return std::u16string::npos;
}

// Replaces occurrences of `search` from left to right, stepping one character past each
// replacement and stopping once that step reaches the last character of the text. Returns
// whether anything was replaced.
bool SubstituteInPlace(std::u16string& text, const std::u16string& search,
                       const std::u16string& replacement) {
  if (search.empty()) return false;  // nothing to find: inserting everywhere is never meant
  return Detail::ReplaceOccurrences(text, search, replacement, Detail::kRecordPreprocessorSteps);
}

// A superset of the code units a text holds (1,024 hashed bits), so that the pairs whose search
// text cannot occur are skipped without searching. Units only ever get added, as replacements
// bring them in.
class UnitSet {
 public:
  UnitSet() = default;
  explicit UnitSet(const std::u16string& text) { Add(text); }
  void Add(const std::u16string& text) {
    for (char16_t c : text) m_bits[(c >> 6) & 15] |= std::uint64_t{1} << (c & 63);
  }
  bool MayContain(char16_t c) const { return (m_bits[(c >> 6) & 15] >> (c & 63)) & 1; }

 private:
  std::array<std::uint64_t, 16> m_bits{};
};

template <class Pairs>
void SubstituteAll(std::u16string& text, const Pairs& pairs, UnitSet& units) {
  for (const auto& [search, replacement] : pairs) {
    if (search.empty() || !units.MayContain(search[0])) continue;
    if (SubstituteInPlace(text, search, replacement)) units.Add(replacement);
  }
}

template <class Pairs>
void SubstituteAll(std::u16string& text, const Pairs& pairs) {
  if (text.empty() || pairs.empty()) return;
  UnitSet units(text);
  SubstituteAll(text, pairs, units);
}

// The bits set in `word`, without the library call that std::popcount becomes on processors
// of the base instruction set.
inline unsigned BitCount(std::uint64_t word) {
  word -= (word >> 1) & 0x5555555555555555u;
  word = (word & 0x3333333333333333u) + ((word >> 2) & 0x3333333333333333u);
  word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<unsigned>((word * 0x0101010101010101u) >> 56);
}

// The spelling keys' first units: one bit per UTF-16 unit, and per word of bits the number set
// in the words before it, so that a unit's place among the first units needs no search.
struct FirstUnits {
  const std::uint64_t* bits;
  const std::uint16_t* ranks;
  bool Holds(char16_t c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
  std::size_t Rank(char16_t c) const {
    return ranks[c >> 6] + BitCount(bits[c >> 6] & ((std::uint64_t{1} << (c & 63)) - 1));
  }
};

// Index of the first bit set in `bits` (`words` words) at or after `from`, or a value past them.
std::size_t NextBit(const std::uint64_t* bits, std::size_t words, std::size_t from) {
  std::size_t w = from / 64;
  if (w >= words) return words * 64;
  std::uint64_t word = bits[w] & (~std::uint64_t{0} << (from & 63));
  while (word == 0) {
    if (++w == words) return words * 64;
    word = bits[w];
  }
  return w * 64 + static_cast<std::size_t>(__builtin_ctzll(word));
}

void SubstituteInPlace(std::u16string& text, const RecordPreprocessor::SpellingMap& map) {
  SubstituteAll(text, map);
}

void SubstituteInPlace(std::u16string& text, const std::vector<SubstitutionPair>& pairs) {
  SubstituteAll(text, pairs);
}

}  // namespace

namespace {

// The field at `position`; `find(from)` gives the first delimiter at or after `from` (npos when
// none) and `isDelimiter(c)` tests one character.
template <class Find, class Test>
RecordFieldItem NextField(const std::u16string& record, int position, bool hasDelimiters,
                          bool handleFieldProtection, const std::u16string& fieldProtectionItem,
                          Find find, Test isDelimiter) {
  const std::size_t length = record.size();
  if (record.empty()) return {};
  if (!hasDelimiters) return {record, -1};
  if (position < 0 || static_cast<std::size_t>(position) >= length) return {};
  const auto pos = static_cast<std::size_t>(position);
  const std::size_t itemLength = fieldProtectionItem.size();

  if (handleFieldProtection && itemLength > 0 &&
      record.compare(pos, itemLength, fieldProtectionItem) == 0) {
    const std::size_t start = pos + itemLength;
    const std::size_t close = record.find(fieldProtectionItem, start);
    if (close == std::u16string::npos) {
      Detail::Throw(ErrorId::UnmatchedTextQualifier, record, fieldProtectionItem,
                    IntegerToQelString(position));
    }
    const std::size_t after = close + itemLength;
    RecordFieldItem item{record.substr(start, close - start), -1};
    if (after >= length) return item;
    if (isDelimiter(record[after])) {
      item.position = static_cast<int>(after + 1);
      return item;
    }
    const std::size_t delimiter = find(after);
    if (delimiter == std::u16string::npos) {
      item.field.append(record, after, std::u16string::npos);
    } else {
      item.field.append(record, after, delimiter - after);
      item.position = static_cast<int>(delimiter + 1);
    }
    return item;
  }

  const std::size_t delimiter = find(pos);
  if (delimiter == std::u16string::npos) return {record.substr(pos), -1};
  return {record.substr(pos, delimiter - pos), static_cast<int>(delimiter + 1)};
}

}  // namespace

std::vector<std::u16string> RecordPreprocessor::ProcessRecord(const std::u16string& record) {
  std::vector<std::u16string> fields;
  ProcessRecord(record, fields);
  return fields;
}

void RecordPreprocessor::ProcessRecord(const std::u16string& record,
                                       std::vector<std::u16string>& fields) {
  std::size_t count = 0;
  // Formats one field into the next string of `fields`, which keeps its capacity.
  const auto add = [&](const char16_t* data, std::size_t size) {
    if (count == fields.size()) fields.emplace_back();
    std::u16string& field = fields[count];
    if (size > 0) {
      FormatUnits(data, size, field);
    } else {
      field.clear();
    }
    if (!field.empty() || m_keepEmptyFields) ++count;
  };
  // The delimiter test of GetNextFieldUsingDelimiters, through the table of every unit.
  const auto isDelimiter = [this](char16_t c) {
    return (m_delimiterUnits[c >> 6] >> (c & 63)) & 1;
  };
  const char16_t* const data = record.data();
  const std::size_t size = record.size();
  const auto find = [&](std::size_t from) {
    std::size_t i = from;
#if defined(__SSE2__)
    if (m_delimiterProbe.asciiExact) {
      const DelimiterProbe& probe = m_delimiterProbe;
      const __m128i a0 = _mm_set1_epi16(static_cast<short>(probe.ascii[0]));
      const __m128i a1 = _mm_set1_epi16(static_cast<short>(probe.ascii[1]));
      const __m128i a2 = _mm_set1_epi16(static_cast<short>(probe.ascii[2]));
      const __m128i a3 = _mm_set1_epi16(static_cast<short>(probe.ascii[3]));
      const __m128i low = _mm_set1_epi16(static_cast<short>(probe.otherLow));
      const __m128i span = _mm_set1_epi16(static_cast<short>(probe.otherSpan));
      const __m128i zero = _mm_setzero_si128();
      for (; i + 8 <= size; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i ascii =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, a0), _mm_cmpeq_epi16(units, a1)),
                         _mm_or_si128(_mm_cmpeq_epi16(units, a2), _mm_cmpeq_epi16(units, a3)));
        const __m128i other =
            _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(units, low), span), zero);
        auto candidates = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(ascii, other)));
        while (candidates != 0) {
          const std::size_t k = static_cast<std::size_t>(__builtin_ctz(candidates)) / 2;
          if (isDelimiter(data[i + k])) return i + k;
          candidates &= ~(3u << (2 * k));
        }
      }
    }
#endif
    for (; i < size; ++i) {
      if (isDelimiter(data[i])) return i;
    }
    return std::u16string::npos;
  };
  const bool hasDelimiters = !m_normalizedDelimiterChars.empty();
  const std::u16string_view qualifier = m_fieldProtectionItem;
  const std::size_t itemLength = m_handleFieldProtection ? qualifier.size() : 0;
  int position = record.empty() ? -1 : 0;
  while (position != -1) {
    const auto pos = static_cast<std::size_t>(position);
    if (hasDelimiters && pos < size) {
      if (itemLength == 0 || data[pos] != qualifier[0] ||
          std::u16string_view(record).substr(pos, itemLength) != qualifier) {
        // An unqualified field: formatted straight from the record.
        const std::size_t delimiter = find(pos);
        const std::size_t end = delimiter == std::u16string::npos ? size : delimiter;
        add(data + pos, end - pos);
        position = delimiter == std::u16string::npos ? -1 : static_cast<int>(delimiter + 1);
        continue;
      }
      // A qualified field that ends the record or a delimiter follows: formatted straight from
      // the record too. Anything else (text after the closing qualifier, none) as below.
      const std::size_t start = pos + itemLength;
      const std::size_t close = Detail::FindUnits(record, start, qualifier);
      const std::size_t after = close + itemLength;
      if (close != std::u16string::npos && (after >= size || isDelimiter(data[after]))) {
        add(data + start, close - start);
        position = after >= size ? -1 : static_cast<int>(after + 1);
        continue;
      }
    }
    const RecordFieldItem item = NextField(record, position, hasDelimiters, m_handleFieldProtection,
                                           m_fieldProtectionItem, find, isDelimiter);
    add(item.field.data(), item.field.size());
    position = item.position;
  }
  fields.resize(count);
}

RecordFieldItem RecordPreprocessor::GetNextFieldUsingDelimiters(
    const std::u16string& record, int position, const std::u16string& delimiters,
    bool handleFieldProtection, const std::u16string& fieldProtectionItem) {
  return NextField(
      record, position, !delimiters.empty(), handleFieldProtection, fieldProtectionItem,
      [&](std::size_t from) { return FindDelimiter(record, from, delimiters); },
      [&](char16_t c) { return IsDelimiter(c, delimiters); });
}

std::u16string RecordPreprocessor::FormatField(const std::u16string& field) {
  std::u16string result;
  FormatUnits(field.data(), field.size(), result);
  return result;
}

template <class Visit>
void RecordPreprocessor::ForEachInKeyRange(const std::u16string& text, Visit&& visit) const {
  // Units outside the keys' range are passed over, eight at a time where the processor allows.
  const char16_t low = m_spellingKeyUnits.front();
  const char16_t span = static_cast<char16_t>(m_spellingKeyUnits.back() - low);
  const char16_t* data = text.data();
  const std::size_t size = text.size();
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i lowUnits = _mm_set1_epi16(static_cast<short>(low));
  const __m128i spanUnits = _mm_set1_epi16(static_cast<short>(span));
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= size; i += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    // A lane is in range when its distance above `low` (wrapping) is at most `span`.
    const __m128i beyond = _mm_subs_epu16(_mm_sub_epi16(units, lowUnits), spanUnits);
    // Two mask bits per lane: the lower one stands for it.
    auto inRange =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, zero))) & 0x5555u;
    for (; inRange != 0; inRange &= inRange - 1) {
      if (!visit(i + static_cast<std::size_t>(__builtin_ctz(inRange)) / 2)) return;
    }
  }
#endif
  for (; i < size; ++i) {
    if (static_cast<char16_t>(data[i] - low) <= span && !visit(i)) return;
  }
}

bool RecordPreprocessor::SubstituteSingleUnitSpelling(std::u16string& text,
                                                      const UnitHits* hits) const {
  // The keys are single units that no replacement holds, and no replacement is empty. Entry k
  // replaces its key in the text the entries before it left, from left to right, stepping over
  // the unit after each replacement and stopping once fewer than three units follow one. As
  // replacements never hold a key, every entry meets its keys where the text first held them:
  // whether each is replaced follows from the positions alone, and the result is written once.
  struct Occurrence {
    std::uint32_t position;
    std::uint32_t entry;  // the key's rank among the first units: its place in the list
    bool replaced;
  };
  constexpr std::size_t kMost = 64;
  Occurrence found[kMost + 1];  // the last one written and dropped: no branch per unit
  std::size_t count = 0;
  const FirstUnits keys{m_spellingFirstUnits.data(), m_spellingRanks.data()};
  const char16_t* units = text.data();
  const auto visit = [&](std::size_t position) {
    const char16_t c = units[position];
    found[count] = {static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(keys.Rank(c)),
                    false};
    count += keys.Holds(c) ? 1 : 0;
    return count < kMost;
  };
  // The filter has told where the units in the keys' range are, or the text is looked through.
  if (hits != nullptr && hits->Complete()) {
    for (std::size_t k = 0; k < hits->count && visit(hits->position[k]); ++k) {
    }
  } else {
    ForEachInKeyRange(text, visit);
  }
  if (count == kMost) return false;
  if (count == 0) return true;
  const std::vector<SubstitutionPair>& list = m_formattedSpellingList;
  const std::size_t size = text.size();
  // Units that follow `position` in the text entry `entry` meets: the replacements of earlier
  // entries after it count their length.
  const auto unitsAfter = [&](std::size_t position, std::uint32_t entry) {
    std::size_t units = size - 1 - position;
    for (std::size_t k = 0; k < count; ++k) {
      const Occurrence& o = found[k];
      if (o.replaced && o.entry < entry && o.position > position) {
        units += list[o.entry].second.size() - 1;
      }
    }
    return units;
  };
  // Entry by entry in list order, each entry's keys from left to right.
  std::uint32_t order[kMost];
  for (std::size_t k = 0; k < count; ++k) {
    std::size_t j = k;
    for (; j > 0 && found[order[j - 1]].entry > found[k].entry; --j) order[j] = order[j - 1];
    order[j] = static_cast<std::uint32_t>(k);
  }
  std::size_t grown = 0;
  for (std::size_t g = 0; g < count;) {
    const std::uint32_t entry = found[order[g]].entry;
    std::int64_t last = -1;  // position of this entry's last replacement
    bool stopped = false;
    for (; g < count && found[order[g]].entry == entry; ++g) {
      Occurrence& o = found[order[g]];
      if (stopped) continue;
      if (last >= 0) {
        const auto previous = static_cast<std::size_t>(last);
        if (size - 1 - previous < 3 && unitsAfter(previous, entry) < 3) {
          stopped = true;
          continue;
        }
        if (o.position == previous + 1) continue;
      }
      o.replaced = true;
      last = o.position;
      grown += list[entry].second.size() - 1;
    }
  }
  // The text with each replaced key written as its replacement.
  text.resize(size + grown);
  char16_t* data = text.data();
  std::size_t end = size;  // units of the original text not yet moved
  std::size_t out = size + grown;
  for (std::size_t k = count; k-- > 0;) {
    const Occurrence& o = found[k];
    if (!o.replaced) continue;
    const std::u16string& replacement = list[o.entry].second;
    const std::size_t tail = end - o.position - 1;
    out -= tail;
    if (out != o.position + 1)
      std::char_traits<char16_t>::move(data + out, data + o.position + 1, tail);
    out -= replacement.size();
    std::char_traits<char16_t>::copy(data + out, replacement.data(), replacement.size());
    end = o.position;
  }
  return true;
}

void RecordPreprocessor::SubstituteSpelling(std::u16string& text, const UnitHits* hits) const {
  const std::vector<SubstitutionPair>& list = m_formattedSpellingList;
  if (text.empty() || list.empty()) return;
  if (m_spellingSingleUnits && SubstituteSingleUnitSpelling(text, hits)) return;
  const std::size_t words = (list.size() + 63) / 64;
  // The entries whose key starts with a unit of the text, then of each replacement made: the
  // entries are applied in order, so an entry that a replacement brings in is a later one.
  std::uint64_t local[4] = {0, 0, 0, 0};
  std::vector<std::uint64_t> more;
  std::uint64_t* entries = local;
  if (words > std::size(local)) {
    more.assign(words, 0);
    entries = more.data();
  }
  const auto add = [&](std::size_t rank) {
    const std::uint64_t* row = m_spellingEntries.data() + rank * words;
    for (std::size_t w = 0; w < words; ++w) entries[w] |= row[w];
  };
  const FirstUnits keys{m_spellingFirstUnits.data(), m_spellingRanks.data()};
  bool any = false;
  ForEachInKeyRange(text, [&](std::size_t position) {
    const char16_t c = text[position];
    if (keys.Holds(c)) {
      add(keys.Rank(c));
      any = true;
    }
    return true;
  });
  if (!any) return;
  for (std::size_t i = NextBit(entries, words, 0); i < list.size();
       i = NextBit(entries, words, i + 1)) {
    if (!SubstituteInPlace(text, list[i].first, list[i].second)) continue;
    for (char16_t c : list[i].second) {
      if (keys.Holds(c)) add(keys.Rank(c));
    }
  }
}

void RecordPreprocessor::FormatUnits(const char16_t* field, std::size_t size,
                                     std::u16string& result) const {
  // A field whose units beyond ASCII all lie outside the range of the keys' first units holds
  // no key that starts beyond ASCII, as the spelling keys mostly do.
  UnitRange keys;
  if (!m_spellingKeyUnits.empty()) {
    keys.low = m_spellingKeyUnits.front();
    keys.span = static_cast<char16_t>(m_spellingKeyUnits.back() - keys.low);
  }
  UnitHits hits;
  const bool mayHoldKey = FilterUnits(field, size, m_ignoreCharacterCase, m_formattedRemoveChars,
                                      m_performUnicodeNormalization, m_performCjkNormalization,
                                      m_subFieldDelimiter, keys, hits, result);
  const bool asciiKeys = !m_spellingKeyUnits.empty() && m_spellingKeyUnits.front() < 0x80;
  if (mayHoldKey || asciiKeys) {
    SubstituteSpelling(result, &hits);
  }
  SubstituteInPlace(result, m_formattedSubstitutionPairs);
}

std::u16string RecordPreprocessor::FormatField(
    const std::u16string& field, const std::u16string& removeChars, bool ignoreCase,
    std::vector<SubstitutionPair>& pairs, const SpellingMap& spellingMap,
    bool performUnicodeNormalization, bool performCjkNormalization, char16_t subFieldDelimiter) {
  std::u16string result = FilterString(field, ignoreCase, removeChars, performUnicodeNormalization,
                                       performCjkNormalization, subFieldDelimiter);
  SubstituteInPlace(result, spellingMap);
  SubstituteInPlace(result, pairs);
  return result;
}

std::u16string RecordPreprocessor::FilterString(const std::u16string& s) {
  return FilterString(s, m_ignoreCharacterCase, m_formattedRemoveChars,
                      m_performUnicodeNormalization, m_performCjkNormalization,
                      m_subFieldDelimiter);
}

std::u16string RecordPreprocessor::FilterString(const std::u16string& s, bool ignoreCase,
                                                const std::u16string& removeChars,
                                                bool performUnicodeNormalization,
                                                bool performCjkNormalization,
                                                char16_t subFieldDelimiter) {
  std::u16string result;
  UnitHits hits;
  FilterUnits(s.data(), s.size(), ignoreCase, removeChars, performUnicodeNormalization,
              performCjkNormalization, subFieldDelimiter, UnitRange{}, hits, result);
  return result;
}

std::u16string RecordPreprocessor::SubstituteString(const std::u16string& s) const {
  std::u16string result = s;
  SubstituteSpelling(result);
  SubstituteInPlace(result, m_formattedSubstitutionPairs);
  return result;
}

std::u16string RecordPreprocessor::SubstituteString(const std::u16string& s,
                                                    const SpellingMap& spellingMap) {
  std::u16string result = s;
  SubstituteInPlace(result, spellingMap);
  return result;
}

std::u16string RecordPreprocessor::SubstituteString(const std::u16string& s,
                                                    const std::vector<SubstitutionPair>& pairs) {
  std::u16string result = s;
  SubstituteInPlace(result, pairs);
  return result;
}

std::u16string RecordPreprocessor::SubstituteString(const std::u16string& s,
                                                    const std::vector<SubstitutionPair>& pairs,
                                                    const SpellingMap& spellingMap) {
  std::u16string result = s;
  SubstituteInPlace(result, spellingMap);
  SubstituteInPlace(result, pairs);
  return result;
}

void RecordPreprocessor::AddSubstitutionPair(const std::u16string& search,
                                             const std::u16string& replacement) {
  Detail::AddSubstitutionPair(
      m_substitutionPairs, search, replacement,
      [this](const SubstitutionPair& pair) { CreateAndSaveFormattedSubstitutionPair(pair); });
}

void RecordPreprocessor::ModifySubstitutionPair(unsigned int index, const std::u16string& search,
                                                const std::u16string& replacement) {
  Detail::ModifySubstitutionPair(m_substitutionPairs, index, search, replacement,
                                 [this] { RecreateTheFormattedSubstitutionPairs(); });
}

void RecordPreprocessor::RemoveSubstitutionPair(unsigned int index) {
  Detail::RemoveSubstitutionPair(m_substitutionPairs, index,
                                 [this] { RecreateTheFormattedSubstitutionPairs(); });
}

SubstitutionPair RecordPreprocessor::GetSubstitutionPair(unsigned int index) const {
  Detail::CheckSubstitutionIndex(m_substitutionPairs, index);
  return m_substitutionPairs[index];
}

unsigned int RecordPreprocessor::GetSubstitutionPairCount() const {
  return static_cast<unsigned int>(m_substitutionPairs.size());
}

void RecordPreprocessor::SetSubstitutionPairs(const std::vector<SubstitutionPair>& pairs) {
  m_substitutionPairs = pairs;
  RecreateTheFormattedSubstitutionPairs();
}

void RecordPreprocessor::SetLanguageSpellingNormalizationSubstitutionPairs(
    const std::vector<SubstitutionPair>& pairs) {
  m_languageSpellingPairs = pairs;
  RecreateTheFormattedLanguageSpellingNormalizationSubstitutionStringMap();
  RecreateTheFormattedSubstitutionPairs();
}

void RecordPreprocessor::SetDelimiterChars(const std::u16string& chars) {
  m_delimiterChars = chars;
  m_normalizedDelimiterChars.clear();
  // The table follows the delimiters taken so far, also when a bad one stops the loop.
  struct Rebuild {
    ~Rebuild() {
      BuildDelimiterUnits(delimiters, units);
      BuildDelimiterProbe(units, probe);
    }
    const std::u16string& delimiters;
    std::vector<std::uint64_t>& units;
    DelimiterProbe& probe;
  } rebuild{m_normalizedDelimiterChars, m_delimiterUnits, m_delimiterProbe};
  for (char16_t c : chars) {
    const std::u16string delimiter(1, c);
    const std::u16string normalized = Unicode::PerformUnicodeKcNormalization(delimiter);
    if (normalized.size() > 1)
      Detail::Throw(ErrorId::DelimiterNotSingleSymbol, delimiter, normalized);
    m_normalizedDelimiterChars += normalized;
  }
}

void RecordPreprocessor::SetRemoveChars(const std::u16string& chars) {
  m_removeChars = chars;
  RecreateTheFormattedRemoveCharacters();
  RecreateTheFormattedSubstitutionPairs();
}

void RecordPreprocessor::SetIgnoreCharacterCase(bool on) {
  m_ignoreCharacterCase = on;
  RecreateTheFormattedLanguageSpellingNormalizationSubstitutionStringMap();
  RecreateTheFormattedRemoveCharacters();
  RecreateTheFormattedSubstitutionPairs();
}

void RecordPreprocessor::SetPerformUnicodeNormalization(bool on) {
  m_performUnicodeNormalization = on;
  RecreateTheFormattedRemoveCharacters();
  RecreateTheFormattedSubstitutionPairs();
}

void RecordPreprocessor::CreateAndSaveFormattedSubstitutionPair(const SubstitutionPair& pair) {
  SubstitutionPair formatted;
  formatted.first = FilterString(pair.first);
  SubstituteSpelling(formatted.first);
  formatted.second = FilterString(pair.second);
  SubstituteSpelling(formatted.second);
  if (formatted.first == formatted.second) return;
  for (const SubstitutionPair& existing : m_formattedSubstitutionPairs) {
    if (existing.first == formatted.first) return;
  }
  m_formattedSubstitutionPairs.push_back(std::move(formatted));
}

void RecordPreprocessor::RecreateTheFormattedSubstitutionPairs() {
  m_formattedSubstitutionPairs.clear();
  for (const SubstitutionPair& pair : m_substitutionPairs) {
    CreateAndSaveFormattedSubstitutionPair(pair);
  }
}

void RecordPreprocessor::RecreateTheFormattedRemoveCharacters() {
  std::u16string formatted;
  for (char16_t c : m_removeChars) {
    if (m_performUnicodeNormalization &&
        Unicode::CharacterIsInHalfWidthAndFullWidthUnicodeBlock(c)) {
      c = Unicode::GetHalfWidthAndFullWidthCharacterNormalizedCharacter(c);
    }
    if (m_ignoreCharacterCase) c = QelToLower(c);
    if (formatted.find(c) == std::u16string::npos) formatted.push_back(c);
  }
  m_formattedRemoveChars = std::move(formatted);
}

void RecordPreprocessor::RecreateTheFormattedLanguageSpellingNormalizationSubstitutionStringMap() {
  m_formattedSpellingMap.clear();
  for (const SubstitutionPair& pair : m_languageSpellingPairs) {
    if (pair.first.empty()) continue;
    std::u16string search = m_ignoreCharacterCase ? QelStrToLower(pair.first) : pair.first;
    std::u16string replacement = m_ignoreCharacterCase ? QelStrToLower(pair.second) : pair.second;
    if (search == replacement) continue;
    m_formattedSpellingMap.emplace(std::move(search), std::move(replacement));
  }
  m_formattedSpellingList.clear();
  m_spellingFirstUnits.assign(m_formattedSpellingMap.empty() ? 0 : 0x10000 / 64, 0);
  m_spellingKeyUnits.clear();
  for (const auto& [search, replacement] : m_formattedSpellingMap) {
    m_formattedSpellingList.emplace_back(search, replacement);
    m_spellingFirstUnits[search[0] >> 6] |= std::uint64_t{1} << (search[0] & 63);
    m_spellingKeyUnits.push_back(search[0]);
  }
  std::sort(m_spellingKeyUnits.begin(), m_spellingKeyUnits.end());
  m_spellingKeyUnits.erase(std::unique(m_spellingKeyUnits.begin(), m_spellingKeyUnits.end()),
                           m_spellingKeyUnits.end());
  // Single-unit keys that no replacement holds, and no empty replacement: one pass suffices.
  m_spellingSingleUnits = true;
  for (const auto& [search, replacement] : m_formattedSpellingList) {
    bool holdsKey = replacement.empty() || search.size() != 1;
    for (char16_t c : replacement) {
      holdsKey = holdsKey || ((m_spellingFirstUnits[c >> 6] >> (c & 63)) & 1) != 0;
    }
    m_spellingSingleUnits = m_spellingSingleUnits && !holdsKey;
  }
  m_spellingRanks.assign(m_spellingFirstUnits.size(), 0);
  for (std::size_t w = 1; w < m_spellingFirstUnits.size(); ++w) {
    m_spellingRanks[w] =
        static_cast<std::uint16_t>(m_spellingRanks[w - 1] + BitCount(m_spellingFirstUnits[w - 1]));
  }
  const std::size_t words = (m_formattedSpellingList.size() + 63) / 64;
  m_spellingEntries.assign(m_spellingKeyUnits.size() * words, 0);
  for (std::size_t i = 0; i < m_formattedSpellingList.size(); ++i) {
    const char16_t unit = m_formattedSpellingList[i].first[0];
    const auto k = static_cast<std::size_t>(
        std::lower_bound(m_spellingKeyUnits.begin(), m_spellingKeyUnits.end(), unit) -
        m_spellingKeyUnits.begin());
    m_spellingEntries[k * words + i / 64] |= std::uint64_t{1} << (i % 64);
  }
}

}  // namespace Qel
