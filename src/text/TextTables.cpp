// Table data only; the code that applies it lives with the classes that use it.
#include "text/TextTables.h"

#include <iterator>

namespace Qel::Detail {
namespace {

// U+FF5F to U+FFA0: the narrow decompositions of white parentheses, CJK punctuation,
// half-width katakana, the sound marks and the Hangul filler.
constexpr char16_t kHalfWidthPunctuationAndKatakana[] = {
    0x2985, 0x2986, 0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2,  // FF5F-FF66
    0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7,  // FF67-FF6E
    0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,  // FF6F-FF76
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB,  // FF77-FF7E
    0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB,  // FF7F-FF86
    0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB,  // FF87-FF8E
    0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8,  // FF8F-FF96
    0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x3099,  // FF97-FF9E
    0x309A, 0x3164,                                                  // FF9F-FFA0
};
static_assert(std::size(kHalfWidthPunctuationAndKatakana) == 0xFFA0 - 0xFF5F + 1);

constexpr char16_t kFullWidthSigns[] = {0x00A2, 0x00A3, 0x00AC, 0x00AF, 0x00A6, 0x00A5, 0x20A9};
constexpr char16_t kHalfWidthForms[] = {0x2502, 0x2190, 0x2191, 0x2192, 0x2193, 0x25A0, 0x25CB};

constexpr WidthRange kWidthRanges[] = {
    {0xFF01, 0xFF5E, 0xFEE0, nullptr},    {0xFF5F, 0xFFA0, 0, kHalfWidthPunctuationAndKatakana},
    {0xFFA1, 0xFFBE, 0xCE70, nullptr},    {0xFFC2, 0xFFC7, 0xCE73, nullptr},
    {0xFFCA, 0xFFCF, 0xCE75, nullptr},    {0xFFD2, 0xFFD7, 0xCE77, nullptr},
    {0xFFDA, 0xFFDC, 0xCE79, nullptr},    {0xFFE0, 0xFFE6, 0, kFullWidthSigns},
    {0xFFE8, 0xFFEE, 0, kHalfWidthForms},
};

constexpr SpellingPair kSpellingPairs[] = {
    {u"\u00E4", u"ae"}, {u"\u00C4", u"AE"}, {u"\u00E0", u"a"},  {u"\u00C0", u"A"},
    {u"\u00E1", u"a"},  {u"\u00C1", u"A"},  {u"\u00E2", u"a"},  {u"\u00C2", u"A"},
    {u"\u00E7", u"c"},  {u"\u00C7", u"C"},  {u"\u00E9", u"e"},  {u"\u00C9", u"E"},
    {u"\u00E8", u"e"},  {u"\u00C8", u"E"},  {u"\u00EA", u"e"},  {u"\u00CA", u"E"},
    {u"\u00ED", u"i"},  {u"\u00CD", u"I"},  {u"\u00EC", u"i"},  {u"\u00CC", u"I"},
    {u"\u00EE", u"i"},  {u"\u00CE", u"I"},  {u"\u0131", u"i"},  {u"\u0130", u"I"},
    {u"\u00F6", u"oe"}, {u"\u00D6", u"OE"}, {u"\u00F3", u"o"},  {u"\u00D3", u"O"},
    {u"\u00F2", u"o"},  {u"\u00D2", u"O"},  {u"\u00F4", u"o"},  {u"\u00D4", u"O"},
    {u"\u00F1", u"n"},  {u"\u00D1", u"N"},  {u"\u00FC", u"ue"}, {u"\u00DC", u"UE"},
    {u"\u00FA", u"u"},  {u"\u00DA", u"U"},  {u"\u00F9", u"u"},  {u"\u00D9", u"U"},
    {u"\u00FB", u"u"},  {u"\u00DB", u"U"},  {u"\u0161", u"s"},  {u"\u0160", u"S"},
    {u"\u00DF", u"ss"}, {u"\u1E9E", u"SS"}, {u"\u017E", u"z"},  {u"\u017D", u"Z"},
};
static_assert(std::size(kSpellingPairs) == 48);

constexpr NarrowFold kNarrowFolds[] = {
    {'A', 0xC1, 0xC3}, {'A', 0xE1, 0xE3},                     //
    {'S', 0xC6, 0xC8}, {'S', 0xDF, 0xDF}, {'S', 0xE7, 0xE8},  //
    {'O', 0xD3, 0xD6}, {'O', 0xF3, 0xF6},                     //
    {'U', 0xD9, 0xDC}, {'U', 0xF9, 0xFC},                     //
    {'E', 0xC4, 0xC4}, {'E', 0xE4, 0xE4}, {'E', 0xC9, 0xCC}, {'E', 0xE9, 0xEC},
};

// U+0400 to U+040F and U+0450 to U+045F share the codes of these Cyrillic letters.
constexpr std::uint8_t kCyrillicSupplement[] = {31, 56, 30, 29, 31, 48, 34, 34,
                                                55, 37, 39, 49, 36, 34, 45, 49};

using K = WideRuleKind;
constexpr WideMapRule kWideRules[] = {
    // Greek: capitals, then small letters and symbols continuing into U+03F0.
    {0x0391, 0x03A9, K::Numbered, 26, nullptr},
    {0x03B1, 0x03D7, K::Numbered, 26, nullptr},
    {0x03F0, 0x03F9, K::Continued, 0, nullptr},
    // Cyrillic.
    {0x0400, 0x040F, K::Listed, 0, kCyrillicSupplement},
    {0x0410, 0x042F, K::Numbered, 26, nullptr},
    {0x0430, 0x044F, K::Numbered, 26, nullptr},
    {0x0450, 0x045F, K::Listed, 0, kCyrillicSupplement},
    // Armenian.
    {0x0531, 0x0556, K::Numbered, 26, nullptr},
    {0x0559, 0x055B, K::Fixed, 1, nullptr},
    {0x0561, 0x0586, K::Numbered, 26, nullptr},
    // Hebrew: letters, then accents continuing, points ignorable.
    {0x05D0, 0x05F2, K::Numbered, 26, nullptr},
    {0x0591, 0x05AF, K::Continued, 0, nullptr},
    {0x05B0, 0x05BF, K::Fixed, 1, nullptr},
    // Arabic letters, hamza forms folded onto alef, marks ignorable.
    {0x0621, 0x064A, K::Numbered, 27, nullptr},
    {0x0623, 0x0625, K::Fixed, 26, nullptr},
    {0x0654, 0x0655, K::Fixed, 26, nullptr},
    {0x0653, 0x0653, K::Continued, 0, nullptr},
    {0x0640, 0x0640, K::Fixed, 1, nullptr},
    {0x064B, 0x0652, K::Fixed, 1, nullptr},
    {0x0656, 0x0658, K::Fixed, 1, nullptr},
    {0x0670, 0x0670, K::Fixed, 1, nullptr},
    {0x0660, 0x0669, K::Digits, 0, nullptr},
    {0x06F0, 0x06F9, K::Digits, 0, nullptr},
    // Extended Arabic letters and signs, numbered on from 70.
    {0x0671, 0x06D4, K::Numbered, 70, nullptr},
    {0x0610, 0x0615, K::Continued, 0, nullptr},
    {0x06D6, 0x06ED, K::Continued, 0, nullptr},
    {0x06EE, 0x06EF, K::Continued, 0, nullptr},
    {0x06FA, 0x06FF, K::Continued, 0, nullptr},
    // Ideographs, kana, Hangul and surrogates are encoded as CJK.
    {0x2E80, 0x2FDF, K::Fixed, 241, nullptr},
    {0x3040, 0xD7AF, K::Fixed, 241, nullptr},
    {0xD800, 0xDFFF, K::Fixed, 241, nullptr},
    {0xF900, 0xFAFF, K::Fixed, 241, nullptr},
};

}  // namespace

std::span<const WidthRange> HalfWidthFullWidthRanges() { return kWidthRanges; }
std::span<const SpellingPair> LanguageSpellingPairs() { return kSpellingPairs; }
std::span<const NarrowFold> NarrowFolds() { return kNarrowFolds; }
std::span<const WideMapRule> WideMapRules() { return kWideRules; }

}  // namespace Qel::Detail
