// Splits one line of delimited text into cleaned fields: optional double-quote quoting,
// removal of unwanted characters, lower case and substitution pairs. Reference counted:
// created by Create with one reference that the caller owns. One thread at a time.
#pragma once

#include <string>
#include <vector>

#include "qel/core/Export.h"
#include "qel/core/RefCounter.h"
#include "qel/text/Unicode.h"

namespace Qel {

class QEL_API RecordFilter : public RefCounter {
 public:
  // A filter with the defaults (delimiters ";" and tab, remove characters ".,") and one
  // reference. Throws BaseException 5 when out of memory.
  static RecordFilter* Create();

  // Clears `fields` and fills it with the cleaned fields of `line`.
  void SplitLine(const std::u16string& line, std::vector<std::u16string>& fields);

  // `s` up to its first NUL without the remove characters, lower-cased if asked for.
  std::u16string FilterString(const std::u16string& s);
  static std::u16string FilterString(const std::u16string& s, bool toLower,
                                     const std::u16string& removeChars);
  // `s` with the substitution pairs as given (not formatted) applied in order.
  std::u16string SubstituteString(const std::u16string& s);
  static std::u16string SubstituteString(const std::u16string& s,
                                         const std::vector<SubstitutionPair>& pairs);

  // Appends a pair. Throws BaseException 1 when `search` is empty.
  void AddSubstitutionPair(const std::u16string& search, const std::u16string& replacement);
  // Replaces pair `index`. Throws BaseException 1 when `search` is empty and
  // OutOfBoundsException 8 when there is no such pair.
  void ModifySubstitutionPair(unsigned int index, const std::u16string& search,
                              const std::u16string& replacement);
  // Throws OutOfBoundsException 8 when there is no such pair.
  void RemoveSubstitutionPair(unsigned int index);
  // Throws OutOfBoundsException 8 when there is no such pair.
  const SubstitutionPair& GetSubstitutionPair(unsigned int index);
  unsigned int GetSubstitutionPairCount() const;
  // Formats every pair again with the current lower-case flag and remove characters.
  void RecreateTheFormattedSubstitutionsPairsList();

  const std::u16string& GetDelimiterChars() const { return m_delimiterChars; }
  void SetDelimiterChars(const std::u16string& chars) { m_delimiterChars = chars; }
  const std::u16string& GetRemoveChars() const { return m_removeChars; }
  void SetRemoveChars(const std::u16string& chars);
  bool GetConvertToLowerCase() const { return m_convertToLowerCase; }
  void SetConvertToLowerCase(bool on);
  bool GetKeepEmptyFields() const { return m_keepEmptyFields; }
  void SetKeepEmptyFields(bool on) { m_keepEmptyFields = on; }
  bool GetHandleQuotes() const { return m_handleQuotes; }
  void SetHandleQuotes(bool on) { m_handleQuotes = on; }

 protected:
  RecordFilter();
  ~RecordFilter() override = default;

 private:
  // The field starting at `pos`; `nextPos` is where the next one starts, `delimiterFound`
  // whether a delimiter (rather than the end of the line) ended it.
  std::u16string GetNextToken(const std::u16string& line, std::size_t pos, std::size_t& nextPos,
                              bool& delimiterFound) const;

  std::u16string m_delimiterChars;
  std::u16string m_removeChars;
  bool m_convertToLowerCase = false;
  bool m_keepEmptyFields = false;
  bool m_handleQuotes = false;
  std::vector<SubstitutionPair> m_substitutionPairs;
  std::vector<SubstitutionPair> m_formattedSubstitutionPairs;
};

}  // namespace Qel
