// Turns one record of delimited text into normalised fields: delimiters compared in Unicode
// form KC, an optional text qualifier around fields, and per field control characters,
// half-width and full-width forms, case, removed characters, CJK sub-fields and two lists of
// substitutions. A plain value; one thread at a time, distinct objects are independent.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "qel/core/Export.h"
#include "qel/text/Unicode.h"

namespace Qel {

namespace Detail {
struct UnitHits;
}

// One field read from a record and where the next one starts (-1 when the record is done).
struct RecordFieldItem {
  std::u16string field;
  int position = -1;
};

class QEL_API RecordPreprocessor {
 public:
  using SpellingMap = std::map<std::u16string, std::u16string>;

  RecordPreprocessor() = default;

  // The formatted fields of `record`; empty fields are kept only if asked for. Throws
  // BaseException 74 for an unclosed field protection item and 73 for an unmapped
  // half-width/full-width code point.
  std::vector<std::u16string> ProcessRecord(const std::u16string& record);
  // The same into `fields`, which is replaced (also when it throws, with unspecified content).
  // Its strings are reused: a caller that passes the same vector for every record allocates
  // little once it has grown.
  void ProcessRecord(const std::u16string& record, std::vector<std::u16string>& fields);

  // Reads the field at `position`. A character is a delimiter when its form KC is one
  // character found in `delimiters`. Throws BaseException 74 when a field opened by the
  // protection item is never closed.
  static RecordFieldItem GetNextFieldUsingDelimiters(const std::u16string& record, int position,
                                                     const std::u16string& delimiters,
                                                     bool handleFieldProtection,
                                                     const std::u16string& fieldProtectionItem);

  // FilterString, then the spelling map, then the pairs.
  std::u16string FormatField(const std::u16string& field);
  static std::u16string FormatField(const std::u16string& field, const std::u16string& removeChars,
                                    bool ignoreCase, std::vector<SubstitutionPair>& pairs,
                                    const SpellingMap& spellingMap,
                                    bool performUnicodeNormalization, bool performCjkNormalization,
                                    char16_t subFieldDelimiter);

  // Control characters become one sub-field delimiter, block characters their counterparts,
  // case is folded, remove characters dropped and CJK characters set apart. Throws
  // BaseException 73 for an unmapped half-width/full-width code point.
  std::u16string FilterString(const std::u16string& s);
  static std::u16string FilterString(const std::u16string& s, bool ignoreCase,
                                     const std::u16string& removeChars,
                                     bool performUnicodeNormalization, bool performCjkNormalization,
                                     char16_t subFieldDelimiter);

  // The spelling map, then the formatted pairs.
  std::u16string SubstituteString(const std::u16string& s) const;
  static std::u16string SubstituteString(const std::u16string& s, const SpellingMap& spellingMap);
  static std::u16string SubstituteString(const std::u16string& s,
                                         const std::vector<SubstitutionPair>& pairs);
  // The map first, then the pairs.
  static std::u16string SubstituteString(const std::u16string& s,
                                         const std::vector<SubstitutionPair>& pairs,
                                         const SpellingMap& spellingMap);

  // Throws BaseException 1 when `search` is empty.
  void AddSubstitutionPair(const std::u16string& search, const std::u16string& replacement);
  // Throws BaseException 1 when `search` is empty, OutOfBoundsException 8 for a bad index.
  void ModifySubstitutionPair(unsigned int index, const std::u16string& search,
                              const std::u16string& replacement);
  // Throws OutOfBoundsException 8 for a bad index.
  void RemoveSubstitutionPair(unsigned int index);
  // A copy of pair `index` as given. Throws OutOfBoundsException 8 for a bad index.
  SubstitutionPair GetSubstitutionPair(unsigned int index) const;
  unsigned int GetSubstitutionPairCount() const;
  void SetSubstitutionPairs(const std::vector<SubstitutionPair>& pairs);
  void SetLanguageSpellingNormalizationSubstitutionPairs(
      const std::vector<SubstitutionPair>& pairs);

  std::u16string GetDelimiterChars() const { return m_delimiterChars; }
  // Throws BaseException 75 for a delimiter whose form KC is longer than one character.
  void SetDelimiterChars(const std::u16string& chars);
  std::u16string GetRemoveChars() const { return m_removeChars; }
  void SetRemoveChars(const std::u16string& chars);
  std::u16string GetFieldProtectionItem() const { return m_fieldProtectionItem; }
  void SetFieldProtectionItem(const std::u16string& item) { m_fieldProtectionItem = item; }
  bool GetIgnoreCharacterCase() const { return m_ignoreCharacterCase; }
  void SetIgnoreCharacterCase(bool on);
  bool GetKeepEmptyFields() const { return m_keepEmptyFields; }
  void SetKeepEmptyFields(bool on) { m_keepEmptyFields = on; }
  bool GetHandleFieldProtection() const { return m_handleFieldProtection; }
  void SetHandleFieldProtection(bool on) { m_handleFieldProtection = on; }
  bool GetPerformCjkNormalization() const { return m_performCjkNormalization; }
  void SetPerformCjkNormalization(bool on) { m_performCjkNormalization = on; }
  bool GetPerformUnicodeNormalization() const { return m_performUnicodeNormalization; }
  void SetPerformUnicodeNormalization(bool on);
  char16_t GetSubFieldDelimiter() const { return m_subFieldDelimiter; }
  void SetSubFieldDelimiter(char16_t delimiter) { m_subFieldDelimiter = delimiter; }

 private:
  // FormatField of `size` units into `result`, which is replaced.
  void FormatUnits(const char16_t* field, std::size_t size, std::u16string& result) const;
  // The spelling substitution of `text`, in place; `hits`, when given, tells where the units
  // in the range of the keys' first units are.
  void SubstituteSpelling(std::u16string& text, const Detail::UnitHits* hits = nullptr) const;
  // The same in one pass, for lists of single-unit keys (m_spellingSingleUnits); false, with
  // `text` unchanged, when the text holds too many keys for it.
  bool SubstituteSingleUnitSpelling(std::u16string& text, const Detail::UnitHits* hits) const;
  // Calls visit(position) for each unit of `text` in the range of the keys' first units, until
  // it returns false.
  template <class Visit>
  void ForEachInKeyRange(const std::u16string& text, Visit&& visit) const;
  void CreateAndSaveFormattedSubstitutionPair(const SubstitutionPair& pair);
  void RecreateTheFormattedSubstitutionPairs();
  void RecreateTheFormattedRemoveCharacters();
  void RecreateTheFormattedLanguageSpellingNormalizationSubstitutionStringMap();

  std::u16string m_delimiterChars;
  std::u16string m_normalizedDelimiterChars;
  // One bit per UTF-16 unit: set when the unit is a delimiter (empty without delimiters).
  std::vector<std::uint64_t> m_delimiterUnits;
  // A quick test that passes every delimiter, for searching eight units at a time: up to four
  // ASCII delimiters (repeated to fill; `asciiExact` false when there are more) and the range
  // of the others (`otherLow` to `otherLow + otherSpan`).
  struct DelimiterProbe {
    char16_t ascii[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    bool asciiExact = true;
    char16_t otherLow = 0xFFFF;
    char16_t otherSpan = 0;
  } m_delimiterProbe;
  std::u16string m_removeChars;
  std::u16string m_formattedRemoveChars;
  bool m_ignoreCharacterCase = false;
  bool m_keepEmptyFields = false;
  bool m_handleFieldProtection = false;
  std::vector<SubstitutionPair> m_substitutionPairs;
  std::vector<SubstitutionPair> m_formattedSubstitutionPairs;
  std::vector<SubstitutionPair> m_languageSpellingPairs;
  SpellingMap m_formattedSpellingMap;
  // The map's entries in its order and the set of the first units of their keys (one bit per
  // UTF-16 unit; empty with the map), so that fields without any of them skip the spelling
  // substitution at once. Then those units in ascending order, each with the set of entries
  // whose key starts with it (one bit per entry), so that only the entries whose key can occur
  // in a field are looked for.
  std::vector<SubstitutionPair> m_formattedSpellingList;
  std::vector<std::uint64_t> m_spellingFirstUnits;
  std::vector<char16_t> m_spellingKeyUnits;
  std::vector<std::uint64_t> m_spellingEntries;
  // Per word of `m_spellingFirstUnits`: the bits set in the words before it, so that a unit's
  // place among the first units is found without a search.
  std::vector<std::uint16_t> m_spellingRanks;
  // Every key is one unit, no replacement holds a key's unit and none is empty.
  bool m_spellingSingleUnits = false;
  bool m_performCjkNormalization = false;
  bool m_performUnicodeNormalization = false;
  char16_t m_subFieldDelimiter = u' ';
  std::u16string m_fieldProtectionItem = u"\"";
};

}  // namespace Qel
