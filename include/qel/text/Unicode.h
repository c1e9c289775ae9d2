// Classification and normalisation of UTF-16 characters and strings: compatibility form KC,
// the half-width and full-width forms block, CJK, control and blank tests, and the language
// spelling substitutions. Stateless: every function may be called from any thread.
#pragma once

#include <qel/core/Export.h>

#include <string>
#include <vector>

namespace Qel {

// A text to search for and the text that replaces it.
struct SubstitutionPair {
  SubstitutionPair() = default;
  SubstitutionPair(const std::u16string& search, const std::u16string& replacement)
      : first(search), second(replacement) {}
  bool operator==(const SubstitutionPair&) const = default;

  std::u16string first;   // search text
  std::u16string second;  // replacement
};

class QEL_API Unicode {
 public:
  Unicode() = delete;

  // `s` in Unicode normalisation form KC (embedded NULs and unpaired surrogates are kept).
  // Throws BaseException 17 when the normaliser fails.
  static std::u16string PerformUnicodeKcNormalization(const std::u16string& s);
  // `s` case-folded and in form KC at once (the NFKC_Casefold mapping: "\uFB01X\u00C5" gives
  // "fix\u00E5"; default-ignorable characters are dropped). Throws BaseException 17 when the
  // normaliser fails.
  static std::u16string PerformUnicodeKcCaseFolding(const std::u16string& s);
  // True when `s` is already in form KC.
  static bool IsUnicodeKcNormalizedString(const std::u16string& s);

  // True for U+FF00 to U+FFEF.
  static bool CharacterIsInHalfWidthAndFullWidthUnicodeBlock(char16_t c);
  // The normal-width counterpart of a half-width or full-width form. Throws BaseException 73
  // for a code point without one (its "U+XXXX" text inside the block, its value below it).
  static char16_t GetHalfWidthAndFullWidthCharacterNormalizedCharacter(char16_t c);
  // The counterpart of `c` when it lies in the block, else `c`. Throws like the function above.
  static char16_t PerformUnicodeNormalization(char16_t c);
  // `s` with every character of the block replaced by its counterpart. Throws BaseException 73
  // for an unmapped code point of the block.
  static std::u16string PerformUnicodeNormalization(const std::u16string& s);

  // True for ideographic and related East Asian characters (surrogates excluded).
  static bool IsCjkCharacter(char16_t c);
  // True below U+0020, for U+007F and for U+0080 to U+009F.
  static bool IsControlCharacter(char16_t c);
  // True when `s` is empty or its form KC holds only blanks and control characters.
  // Throws BaseException 17 when the normaliser fails.
  static bool IsEmptyOrSpaceOrControl(const std::u16string& s);

  // "U+XXXX": four upper-case hexadecimal digits.
  static std::u16string GetUnicodeFormat(char16_t c);

  // The 48 accented-letter spellings and their plain replacements, a new list on every call.
  static std::vector<SubstitutionPair> GetLanguageSpellingNormalizationSubstitutionPairs();
};

}  // namespace Qel
