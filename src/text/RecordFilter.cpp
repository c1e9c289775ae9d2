#include "qel/text/RecordFilter.h"

#include <cstdint>
#include <new>

#include "core/Throw.h"
#include "qel/core/StringConversion.h"
#include "text/SubstitutionPairs.h"

namespace Qel {

RecordFilter::RecordFilter() : m_delimiterChars(u";\t"), m_removeChars(u".,") {}

RecordFilter* RecordFilter::Create() {
  RecordFilter* filter = nullptr;
  try {
    filter = new RecordFilter();
  } catch (const std::bad_alloc&) {
    Detail::ThrowOutOfMemory(u"[1008]");
  }
  filter->AddRefCount();
  return filter;
}

std::u16string RecordFilter::GetNextToken(const std::u16string& line, std::size_t pos,
                                          std::size_t& nextPos, bool& delimiterFound) const {
  const std::size_t length = line.size();
  std::u16string token;
  delimiterFound = false;
  std::size_t i = pos;
  if (m_handleQuotes && i < length && line[i] == u'"') {
    ++i;
    bool closed = false;
    while (i < length) {
      if (line[i] == u'"') {
        if (i + 1 < length && line[i + 1] == u'"') {
          token.push_back(u'"');
          i += 2;
          continue;
        }
        ++i;
        closed = true;
        break;
      }
      token.push_back(line[i++]);
    }
    if (!closed) {
      nextPos = length;
      return token;
    }
  }
  const std::size_t delimiter = line.find_first_of(m_delimiterChars, i);
  if (delimiter == std::u16string::npos) {
    token.append(line, i, std::u16string::npos);
    nextPos = length + 1;
  } else {
    token.append(line, i, delimiter - i);
    nextPos = delimiter + 1;
    delimiterFound = true;
  }
  return token;
}

void RecordFilter::SplitLine(const std::u16string& line, std::vector<std::u16string>& fields) {
  fields.clear();
  if (line.empty()) return;
  std::size_t pos = 0;
  bool delimiterFound = false;
  do {
    std::size_t nextPos = 0;
    const std::u16string token = GetNextToken(line, pos, nextPos, delimiterFound);
    std::u16string value;
    if (!token.empty()) {
      value = FilterString(token);
      if (!value.empty() && !m_formattedSubstitutionPairs.empty()) {
        value = SubstituteString(value, m_formattedSubstitutionPairs);
      }
    }
    if (!value.empty()) {
      fields.push_back(std::move(value));
    } else if (m_keepEmptyFields) {
      fields.emplace_back();
    }
    pos = nextPos;
  } while (pos < line.size());
  if (delimiterFound && m_keepEmptyFields) fields.emplace_back();
}

std::u16string RecordFilter::FilterString(const std::u16string& s) {
  return FilterString(s, m_convertToLowerCase, m_removeChars);
}

std::u16string RecordFilter::FilterString(const std::u16string& s, bool toLower,
                                          const std::u16string& removeChars) {
  std::u16string result;
  result.reserve(s.size());
  for (char16_t c : s) {
    if (c == 0) break;  // the text ends at its terminator
    if (removeChars.find(c) != std::u16string::npos) continue;
    result.push_back(toLower ? QelToLower(c) : c);
  }
  return result;
}

std::u16string RecordFilter::SubstituteString(const std::u16string& s) {
  return SubstituteString(s, m_substitutionPairs);
}

std::u16string RecordFilter::SubstituteString(const std::u16string& s,
                                              const std::vector<SubstitutionPair>& pairs) {
  std::u16string result = s;
  for (const SubstitutionPair& pair : pairs) {
    if (pair.first.empty() || pair.first == pair.second) continue;
    Detail::ReplaceOccurrences(result, pair.first, pair.second, Detail::kRecordFilterSteps);
  }
  return result;
}

void RecordFilter::AddSubstitutionPair(const std::u16string& search,
                                       const std::u16string& replacement) {
  Detail::AddSubstitutionPair(m_substitutionPairs, search, replacement,
                              [this](const SubstitutionPair& pair) {
                                m_formattedSubstitutionPairs.emplace_back(
                                    FilterString(pair.first), FilterString(pair.second));
                              });
}

void RecordFilter::ModifySubstitutionPair(unsigned int index, const std::u16string& search,
                                          const std::u16string& replacement) {
  Detail::ModifySubstitutionPair(m_substitutionPairs, index, search, replacement,
                                 [this] { RecreateTheFormattedSubstitutionsPairsList(); });
}

void RecordFilter::RemoveSubstitutionPair(unsigned int index) {
  Detail::RemoveSubstitutionPair(m_substitutionPairs, index,
                                 [this] { RecreateTheFormattedSubstitutionsPairsList(); });
}

const SubstitutionPair& RecordFilter::GetSubstitutionPair(unsigned int index) {
  Detail::CheckSubstitutionIndex(m_substitutionPairs, index);
  return m_substitutionPairs[index];
}

unsigned int RecordFilter::GetSubstitutionPairCount() const {
  return static_cast<unsigned int>(m_substitutionPairs.size());
}

void RecordFilter::RecreateTheFormattedSubstitutionsPairsList() {
  std::vector<SubstitutionPair> formatted;
  formatted.reserve(m_substitutionPairs.size());
  for (const SubstitutionPair& pair : m_substitutionPairs) {
    formatted.emplace_back(FilterString(pair.first), FilterString(pair.second));
  }
  m_formattedSubstitutionPairs = std::move(formatted);
}

void RecordFilter::SetRemoveChars(const std::u16string& chars) {
  m_removeChars = chars;
  RecreateTheFormattedSubstitutionsPairsList();
}

void RecordFilter::SetConvertToLowerCase(bool on) {
  m_convertToLowerCase = on;
  RecreateTheFormattedSubstitutionsPairsList();
}

}  // namespace Qel
