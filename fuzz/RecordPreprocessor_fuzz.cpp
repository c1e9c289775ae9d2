// Fuzzes RecordPreprocessor and RecordFilter: the first bytes choose the settings, the next
// units the delimiters, remove characters, protection item and one substitution pair, the rest
// is the record (UTF-16, unpaired surrogates included). Only the library's own exceptions for
// bad settings or records may come out.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "qel/core/Exceptions.h"
#include "qel/text/RecordFilter.h"
#include "qel/text/RecordPreprocessor.h"

namespace {

// Takes `count` units from the front of `units`.
std::u16string Take(std::u16string& units, std::size_t count) {
  count = std::min(count, units.size());
  std::u16string part = units.substr(0, count);
  units.erase(0, count);
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint8_t flags = data[0];
  const std::uint8_t lengths = data[1];
  const char16_t subFieldDelimiter = static_cast<char16_t>(data[2] | data[3] << 8);
  std::u16string units((size - 4) / 2, u'\0');
  std::memcpy(units.data(), data + 4, units.size() * 2);

  const std::u16string delimiters = Take(units, lengths & 0x3);
  const std::u16string removeChars = Take(units, (lengths >> 2) & 0x3);
  const std::u16string item = Take(units, (lengths >> 4) & 0x3);
  const std::u16string search = Take(units, (lengths >> 6) & 0x3);
  const std::u16string replacement = Take(units, 2);
  const std::u16string& record = units;

  Qel::RecordPreprocessor p;
  try {
    p.SetIgnoreCharacterCase(flags & 0x01);
    p.SetKeepEmptyFields(flags & 0x02);
    p.SetHandleFieldProtection(flags & 0x04);
    p.SetPerformCjkNormalization(flags & 0x08);
    p.SetPerformUnicodeNormalization(flags & 0x10);
    if (flags & 0x20) {
      p.SetLanguageSpellingNormalizationSubstitutionPairs(
          Qel::Unicode::GetLanguageSpellingNormalizationSubstitutionPairs());
    }
    p.SetSubFieldDelimiter(subFieldDelimiter);
    p.SetFieldProtectionItem(item);
    p.SetRemoveChars(removeChars);
    p.SetDelimiterChars(delimiters);
    if (!search.empty()) p.AddSubstitutionPair(search, replacement);
  } catch (const Qel::BaseException&) {
    return 0;  // 73 or 75 for a bad setting
  }
  try {
    const std::vector<std::u16string> fields = p.ProcessRecord(record);
    if (!(flags & 0x02)) {
      for (const auto& field : fields) {
        if (field.empty()) __builtin_trap();
      }
    }
    // ProcessRecord tests delimiters through its table; the public reader tests each character's
    // form KC. Both must cut the record alike.
    std::u16string normalized;
    for (char16_t c : delimiters) {
      normalized += Qel::Unicode::PerformUnicodeKcNormalization(std::u16string(1, c));
    }
    std::vector<std::u16string> expected;
    for (int position = 0; position != -1 && !record.empty();) {
      Qel::RecordFieldItem next = Qel::RecordPreprocessor::GetNextFieldUsingDelimiters(
          record, position, normalized, (flags & 0x04) != 0, item);
      position = next.position;
      std::u16string formatted = next.field.empty() ? u"" : p.FormatField(next.field);
      if (!formatted.empty() || (flags & 0x02)) expected.push_back(std::move(formatted));
    }
    if (expected != fields) __builtin_trap();
    // The overload into a caller's vector, here one that held other strings, gives the same.
    std::vector<std::u16string> reused{record, u"x", std::u16string(40, u'y')};
    p.ProcessRecord(record, reused);
    if (reused != fields) __builtin_trap();
    // Formatting finds the spelling keys while filtering; the filter and then the substitution
    // look for them again, and must come to the same.
    if (p.FormatField(record) != p.SubstituteString(p.FilterString(record))) __builtin_trap();
  } catch (const Qel::BaseException&) {
    // 74 for an unclosed protection item, 73 for an unmapped code point
  }

  Qel::RecordFilter* filter = Qel::RecordFilter::Create();
  filter->SetHandleQuotes(flags & 0x04);
  filter->SetKeepEmptyFields(flags & 0x02);
  filter->SetConvertToLowerCase(flags & 0x01);
  if (!delimiters.empty()) filter->SetDelimiterChars(delimiters);
  filter->SetRemoveChars(removeChars);
  if (!search.empty()) filter->AddSubstitutionPair(search, replacement);
  std::vector<std::u16string> fields;
  filter->SplitLine(record, fields);
  filter->Release();
  return 0;
}
