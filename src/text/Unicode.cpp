#include "qel/text/Unicode.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <array>
#include <bitset>
#include <climits>
#include <memory>

#include "core/Throw.h"
#include "qel/core/StringConversion.h"
#include "text/TextTables.h"
#include "text/UnicodeKc.h"

namespace Qel {
namespace {

std::u16string IcuFailureText(const char* operation, UErrorCode status) {
  return ConvertA2W(std::string(operation) + " failed: " + u_errorName(status));
}

const icu::Normalizer2& Nfkc() {
  static const icu::Normalizer2* const instance = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFKCInstance(status);
    if (U_FAILURE(status) || n == nullptr) {
      Detail::ThrowGeneral(IcuFailureText("Loading the form KC normaliser", status));
    }
    return n;
  }();
  return *instance;
}

const icu::Normalizer2& NfkcCaseFold() {
  static const icu::Normalizer2* const instance = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFKCCasefoldInstance(status);
    if (U_FAILURE(status) || n == nullptr) {
      Detail::ThrowGeneral(IcuFailureText("Loading the case-folding normaliser", status));
    }
    return n;
  }();
  return *instance;
}

// A read-only ICU view of `s`; throws for texts beyond ICU's 32-bit lengths.
icu::UnicodeString View(const std::u16string& s) {
  if (s.size() > static_cast<std::size_t>(INT32_MAX)) {
    Detail::ThrowGeneral(u"Unicode normalization failed: the text is too long");
  }
  return icu::UnicodeString(false, s.data(), static_cast<int32_t>(s.size()));
}

bool IsAscii(const std::u16string& s) {
  for (char16_t c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

bool IsBlankOrControl(char16_t c) { return u_isUWhiteSpace(c) || u_iscntrl(c); }

}  // namespace

std::u16string Unicode::PerformUnicodeKcNormalization(const std::u16string& s) {
  if (IsAscii(s)) return s;  // every ASCII character is its own form KC
  const icu::Normalizer2& nfkc = Nfkc();
  const icu::UnicodeString source = View(s);
  UErrorCode status = U_ZERO_ERROR;
  if (nfkc.spanQuickCheckYes(source, status) == source.length() && U_SUCCESS(status)) return s;
  status = U_ZERO_ERROR;
  const icu::UnicodeString result = nfkc.normalize(source, status);
  if (U_FAILURE(status) || result.isBogus()) {
    Detail::ThrowGeneral(IcuFailureText("Unicode normalization", status));
  }
  return std::u16string(result.getBuffer(), static_cast<std::size_t>(result.length()));
}

std::u16string Unicode::PerformUnicodeKcCaseFolding(const std::u16string& s) {
  const icu::Normalizer2& fold = NfkcCaseFold();
  const icu::UnicodeString source = View(s);
  UErrorCode status = U_ZERO_ERROR;
  if (fold.spanQuickCheckYes(source, status) == source.length() && U_SUCCESS(status)) return s;
  status = U_ZERO_ERROR;
  const icu::UnicodeString result = fold.normalize(source, status);
  if (U_FAILURE(status) || result.isBogus()) {
    Detail::ThrowGeneral(IcuFailureText("Unicode case folding", status));
  }
  return std::u16string(result.getBuffer(), static_cast<std::size_t>(result.length()));
}

bool Unicode::IsUnicodeKcNormalizedString(const std::u16string& s) {
  if (IsAscii(s)) return true;
  UErrorCode status = U_ZERO_ERROR;
  const bool normalized = Nfkc().isNormalized(View(s), status);
  return U_SUCCESS(status) && normalized;
}

bool Unicode::CharacterIsInHalfWidthAndFullWidthUnicodeBlock(char16_t c) {
  return c >= 0xFF00 && c <= 0xFFEF;
}

char16_t Unicode::GetHalfWidthAndFullWidthCharacterNormalizedCharacter(char16_t c) {
  for (const Detail::WidthRange& range : Detail::HalfWidthFullWidthRanges()) {
    if (c >= range.first && c <= range.last) {
      return range.table != nullptr ? range.table[c - range.first]
                                    : static_cast<char16_t>(c - range.delta);
    }
  }
  if (c < 0xFF00) Detail::Throw(ErrorId::UnexpectedUnicodeCharacter, static_cast<std::int32_t>(c));
  Detail::Throw(ErrorId::UnexpectedUnicodeCharacter, GetUnicodeFormat(c));
}

char16_t Unicode::PerformUnicodeNormalization(char16_t c) {
  return CharacterIsInHalfWidthAndFullWidthUnicodeBlock(c)
             ? GetHalfWidthAndFullWidthCharacterNormalizedCharacter(c)
             : c;
}

std::u16string Unicode::PerformUnicodeNormalization(const std::u16string& s) {
  std::u16string result;
  result.reserve(s.size());
  for (char16_t c : s) result.push_back(PerformUnicodeNormalization(c));
  return result.empty() ? s : result;
}

bool Unicode::IsCjkCharacter(char16_t c) {
  return (c >= 0x2E80 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF61 && c <= 0xFF9F) ||
         (c >= 0xFFE8 && c <= 0xFFEE);
}

bool Unicode::IsControlCharacter(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool Unicode::IsEmptyOrSpaceOrControl(const std::u16string& s) {
  if (s.empty()) return true;
  const std::u16string normalized = PerformUnicodeKcNormalization(s);
  for (char16_t c : normalized) {
    if (!IsBlankOrControl(c)) return false;
  }
  return true;
}

std::u16string Unicode::GetUnicodeFormat(char16_t c) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  return std::u16string{
      u'U', u'+', kHex[(c >> 12) & 0xF], kHex[(c >> 8) & 0xF], kHex[(c >> 4) & 0xF], kHex[c & 0xF]};
}

std::vector<SubstitutionPair> Unicode::GetLanguageSpellingNormalizationSubstitutionPairs() {
  std::vector<SubstitutionPair> pairs;
  pairs.reserve(Detail::LanguageSpellingPairs().size());
  for (const Detail::SpellingPair& pair : Detail::LanguageSpellingPairs()) {
    pairs.emplace_back(pair.search, pair.replacement);
  }
  return pairs;
}

namespace Detail {
namespace {

// Per code unit: its own form KC when that is one unit, with a flag for the units whose form
// is longer. Only units with a decomposition mapping need the normaliser.
struct SingleUnitKcTable {
  SingleUnitKcTable() : form(std::make_unique<std::array<char16_t, 0x10000>>()) {
    const icu::Normalizer2& nfkc = Nfkc();
    icu::UnicodeString decomposition;
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
      const auto unit = static_cast<char16_t>(c);
      (*form)[c] = unit;
      if (c < 0x80 || !nfkc.getDecomposition(static_cast<UChar32>(c), decomposition)) continue;
      UErrorCode status = U_ZERO_ERROR;
      const icu::UnicodeString result = nfkc.normalize(icu::UnicodeString(unit), status);
      if (U_SUCCESS(status) && result.length() == 1) {
        (*form)[c] = result.charAt(0);
      } else {
        multiple.set(c);
      }
    }
  }
  std::unique_ptr<std::array<char16_t, 0x10000>> form;
  std::bitset<0x10000> multiple;
};

}  // namespace

bool SingleUnitKcForm(char16_t c, char16_t& form) {
  if (c < 0x80) {
    form = c;
    return true;
  }
  static const SingleUnitKcTable table;
  if (table.multiple.test(c)) return false;
  form = (*table.form)[c];
  return true;
}

}  // namespace Detail
}  // namespace Qel
