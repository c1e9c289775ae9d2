#include "qel/text/Unicode.h"

#include <gtest/gtest.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "qel/core/Exceptions.h"
#include "text/UnicodeKc.h"

namespace Qel {
namespace {

std::int32_t ErrorIdOf(char16_t c) {
  try {
    Unicode::GetHalfWidthAndFullWidthCharacterNormalizedCharacter(c);
  } catch (const BaseException& e) {
    return e.GetErrorId();
  }
  return 0;
}

TEST(UnicodeTest, KcNormalization) {
  EXPECT_EQ(Unicode::PerformUnicodeKcNormalization(u"\uFB01x\uFF21\u00C5"), u"fixA\u00C5");
  EXPECT_EQ(Unicode::PerformUnicodeKcNormalization(u"A\u030A"), u"\u00C5");
  EXPECT_EQ(Unicode::PerformUnicodeKcNormalization(u""), u"");
  // Unpaired surrogates and embedded NULs are kept, not dropped.
  const std::u16string odd{u'a', 0, 0xD800, u'\uFF41', 0xDC00};
  EXPECT_EQ(Unicode::PerformUnicodeKcNormalization(odd),
            (std::u16string{u'a', 0, 0xD800, u'a', 0xDC00}));
  EXPECT_EQ(Unicode::PerformUnicodeKcCaseFolding(u"\uFB01X\u00C5 \uFF21\u0130"),
            u"fix\u00E5 ai\u0307");
  EXPECT_EQ(Unicode::PerformUnicodeKcCaseFolding(u"Stra\u00DFe"), u"strasse");
  EXPECT_TRUE(Unicode::IsUnicodeKcNormalizedString(u"plain \u00E4"));
  EXPECT_FALSE(Unicode::IsUnicodeKcNormalizedString(u"\u2460"));
  EXPECT_FALSE(Unicode::IsUnicodeKcNormalizedString(u"a\u0308"));
}

TEST(UnicodeTest, HalfWidthFullWidthRanges) {
  EXPECT_EQ(Unicode::GetHalfWidthAndFullWidthCharacterNormalizedCharacter(0xFF01), u'!');
  EXPECT_EQ(Unicode::GetHalfWidthAndFullWidthCharacterNormalizedCharacter(0xFF5E), u'~');
  EXPECT_EQ(Unicode::PerformUnicodeNormalization(char16_t{0xFF61}), 0x3002);
  EXPECT_EQ(Unicode::PerformUnicodeNormalization(char16_t{0xFFA0}), 0x3164);
  EXPECT_EQ(Unicode::PerformUnicodeNormalization(char16_t{0xFFE3}), 0x00AF);
  EXPECT_EQ(Unicode::PerformUnicodeNormalization(char16_t{0xFFDC}), 0x3163);
  EXPECT_EQ(Unicode::PerformUnicodeNormalization(char16_t{0xFFEE}), 0x25CB);
  EXPECT_EQ(Unicode::PerformUnicodeNormalization(char16_t{u'x'}), u'x');
  EXPECT_EQ(Unicode::PerformUnicodeNormalization(u"\uFF21\uFF22\uFF23 def"), u"ABC def");
  EXPECT_EQ(Unicode::PerformUnicodeNormalization(u"no block"), u"no block");
  EXPECT_EQ(Unicode::PerformUnicodeNormalization(u""), u"");
}

// Every code point of the block maps to the single character of its wide or narrow
// decomposition in the character database, and exactly the others raise error 73.
TEST(UnicodeTest, HalfWidthFullWidthTableMatchesCharacterDatabase) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
  ASSERT_TRUE(U_SUCCESS(status));
  for (std::uint32_t c = 0xFF00; c <= 0xFFFF; ++c) {
    icu::UnicodeString raw;
    const bool hasMapping =
        nfkc->getRawDecomposition(static_cast<UChar32>(c), raw) && raw.length() == 1 && c <= 0xFFEF;
    if (hasMapping) {
      EXPECT_EQ(Unicode::GetHalfWidthAndFullWidthCharacterNormalizedCharacter(char16_t(c)),
                raw.charAt(0))
          << std::hex << c;
    } else {
      EXPECT_EQ(ErrorIdOf(char16_t(c)), 73) << std::hex << c;
    }
  }
  EXPECT_EQ(ErrorIdOf(0x0041), 73);
}

TEST(UnicodeTest, UnmappedCodePointsCarryTheirText) {
  try {
    Unicode::PerformUnicodeNormalization(char16_t{0xFFE7});
    FAIL() << "U+FFE7 has no counterpart";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 73);
    EXPECT_EQ(e.GetErrorArg(), u"U+FFE7");
  }
  EXPECT_THROW(Unicode::PerformUnicodeNormalization(u"ok\uFF00"), BaseException);
  EXPECT_THROW(Unicode::PerformUnicodeNormalization(u"ok\uFFEF"), BaseException);
}

TEST(UnicodeTest, CharacterClasses) {
  EXPECT_TRUE(Unicode::IsCjkCharacter(0x4E00));
  EXPECT_TRUE(Unicode::IsCjkCharacter(0x2E80));
  EXPECT_TRUE(Unicode::IsCjkCharacter(0xD7AF));
  EXPECT_TRUE(Unicode::IsCjkCharacter(0xFF9F));
  EXPECT_TRUE(Unicode::IsCjkCharacter(0xFE30));
  EXPECT_TRUE(Unicode::IsCjkCharacter(0xFFEE));
  EXPECT_FALSE(Unicode::IsCjkCharacter(0xD800));
  EXPECT_FALSE(Unicode::IsCjkCharacter(0xFFA0));
  EXPECT_FALSE(Unicode::IsCjkCharacter(0x2E7F));
  EXPECT_FALSE(Unicode::IsCjkCharacter(u'a'));

  EXPECT_TRUE(Unicode::IsControlCharacter(0x00));
  EXPECT_TRUE(Unicode::IsControlCharacter(0x1F));
  EXPECT_TRUE(Unicode::IsControlCharacter(0x7F));
  EXPECT_TRUE(Unicode::IsControlCharacter(0x9F));
  EXPECT_FALSE(Unicode::IsControlCharacter(0x20));
  EXPECT_FALSE(Unicode::IsControlCharacter(0xA0));

  EXPECT_TRUE(Unicode::IsEmptyOrSpaceOrControl(u""));
  EXPECT_TRUE(Unicode::IsEmptyOrSpaceOrControl(u" \t \r\n"));
  EXPECT_TRUE(Unicode::IsEmptyOrSpaceOrControl(u"\u3000"));
  EXPECT_TRUE(Unicode::IsEmptyOrSpaceOrControl(u"\u00A0\u0085\u2028"));
  EXPECT_TRUE(Unicode::IsEmptyOrSpaceOrControl(std::u16string(3, u'\0')));
  EXPECT_FALSE(Unicode::IsEmptyOrSpaceOrControl(u" a"));
  EXPECT_FALSE(Unicode::IsEmptyOrSpaceOrControl(u"\u3000\u4E00"));
  EXPECT_FALSE(Unicode::IsEmptyOrSpaceOrControl(std::u16string(1, char16_t{0xD800})));
}

TEST(UnicodeTest, FormatAndSpellingPairs) {
  EXPECT_EQ(Unicode::GetUnicodeFormat(0x00E4), u"U+00E4");
  EXPECT_EQ(Unicode::GetUnicodeFormat(0xFFE7), u"U+FFE7");
  EXPECT_EQ(Unicode::GetUnicodeFormat(0), u"U+0000");

  const auto pairs = Unicode::GetLanguageSpellingNormalizationSubstitutionPairs();
  ASSERT_EQ(pairs.size(), 48u);
  EXPECT_EQ(pairs.front(), SubstitutionPair(u"\u00E4", u"ae"));
  EXPECT_EQ(pairs[22], SubstitutionPair(u"\u0131", u"i"));
  EXPECT_EQ(pairs[24], SubstitutionPair(u"\u00F6", u"oe"));
  EXPECT_EQ(pairs[44], SubstitutionPair(u"\u00DF", u"ss"));
  EXPECT_EQ(pairs[45], SubstitutionPair(u"\u1E9E", u"SS"));
  EXPECT_EQ(pairs.back(), SubstitutionPair(u"\u017D", u"Z"));
  for (const auto& pair : pairs) {
    ASSERT_EQ(pair.first.size(), 1u);
    EXPECT_NE(pair.first[0], u'\u00EB');
  }
}

// The table behind per-character delimiter tests agrees with the normaliser everywhere.
TEST(UnicodeTest, SingleUnitKcTableAgreesWithNormaliser) {
  for (std::uint32_t c = 0; c < 0x10000; ++c) {
    const std::u16string unit(1, static_cast<char16_t>(c));
    const std::u16string kc = Unicode::PerformUnicodeKcNormalization(unit);
    char16_t form = 0;
    const bool single = Detail::SingleUnitKcForm(static_cast<char16_t>(c), form);
    ASSERT_EQ(single, kc.size() == 1) << std::hex << c;
    if (single) {
      ASSERT_EQ(form, kc[0]) << std::hex << c;
    }
  }
}

}  // namespace
}  // namespace Qel
