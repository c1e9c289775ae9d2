#include "text/SubstitutionPairs.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "qel/text/RecordFilter.h"
#include "qel/text/RecordPreprocessor.h"

namespace Qel {
namespace {

// One pair through both owners: RecordFilter stops once a replacement reaches the last unit,
// RecordPreprocessor steps over one unit after each replacement.
TEST(SubstitutionPairs, EachOwnerKeepsItsSteps) {
  struct Case {
    std::u16string text;
    std::u16string search;
    std::u16string replacement;
    std::u16string filtered;
    std::u16string preprocessed;
  };
  const Case cases[] = {
      {u"", u"a", u"b", u"", u""},
      {u"a", u"a", u"b", u"a", u"b"},
      {u"aa", u"a", u"b", u"ba", u"ba"},
      {u"aXa", u"a", u"b", u"bXb", u"bXa"},
      {u"aXXa", u"a", u"b", u"bXXb", u"bXXb"},
      {u"aaaa", u"a", u"b", u"bbba", u"baba"},
      {u"aaaa", u"a", u"aa", u"aaaaaaa", u"aaaaaa"},
      {u"xaax", u"a", u"aa", u"xaaaax", u"xaaax"},
      {u"abcabc", u"abc", u"", u"", u"abc"},
      {u"xaxax", u"x", u"yy", u"yyayyayy", u"yyayyax"},
      {u"aaa", u"aa", u"b", u"ba", u"ba"},
      {u"banana", u"ana", u"A", u"bAna", u"bAna"},
      {u"abab", u"b", u"", u"aa", u"aab"},
      {u"\U0001F600a\U0001F600", u"\U0001F600", u"-", u"-a-", u"-a-"},
  };
  for (const Case& c : cases) {
    const std::vector<SubstitutionPair> pairs{{c.search, c.replacement}};
    EXPECT_EQ(RecordFilter::SubstituteString(c.text, pairs), c.filtered)
        << "RecordFilter, case " << (&c - cases);
    EXPECT_EQ(RecordPreprocessor::SubstituteString(c.text, pairs), c.preprocessed)
        << "RecordPreprocessor, case " << (&c - cases);
  }
}

// A field of 512K units that every step changes: the result is whole and exact.
TEST(SubstitutionPairs, LongFieldsAreReplacedWhole) {
  const std::size_t n = 512 << 10;
  const std::u16string field(n, u'a');
  const std::vector<SubstitutionPair> pairs{{u"a", u"aa"}};
  EXPECT_EQ(RecordFilter::SubstituteString(field, pairs), std::u16string(2 * n - 1, u'a'));
  EXPECT_EQ(RecordPreprocessor::SubstituteString(field, pairs), std::u16string(n + n / 2, u'a'));
  std::u16string mixed;
  for (std::size_t i = 0; i < n / 2; ++i) mixed += u"ab";
  std::u16string expected;
  for (std::size_t i = 0; i < n / 2; ++i) expected += u"xb";
  EXPECT_EQ(RecordFilter::SubstituteString(mixed, {{u"a", u"x"}}), expected);
}

// The replacement by its definition: the result built from the original text, one match after
// another.
std::u16string ReplacedByDefinition(const std::u16string& text, const std::u16string& search,
                                    const std::u16string& replacement,
                                    const Detail::SubstitutionSteps& steps) {
  const std::size_t n = text.size();
  std::size_t found = text.find(search);
  if (found == std::u16string::npos || n < steps.minRemainingFirst) return text;
  std::u16string out;
  std::size_t done = 0;
  do {
    out += text.substr(done, found - done) + replacement;
    done = found + search.size();
    if (n - done < steps.minRemaining) break;
    found = text.find(search, done + steps.gap);
  } while (found != std::u16string::npos);
  return out + text.substr(done);
}

std::u16string RandomText(std::mt19937& random, std::size_t maxLength) {
  static const char16_t alphabet[] = u"ab\u00E4\u00DFx";
  std::u16string text(std::uniform_int_distribution<std::size_t>(0, maxLength)(random), u' ');
  for (char16_t& c : text) c = alphabet[random() % 5];
  return text;
}

// Random texts, searches and replacements (longer, shorter, as long; more than 64 matches):
// the replacement in place gives what the definition gives, for both owners' steps.
TEST(SubstitutionPairs, InPlaceReplacementFollowsTheDefinition) {
  std::mt19937 random(15);
  for (int round = 0; round < 4000; ++round) {
    const std::u16string text = RandomText(random, round % 10 == 0 ? 400 : 30);
    std::u16string search = RandomText(random, 3);
    if (search.empty()) search = u"a";
    const std::u16string replacement = RandomText(random, 4);
    for (const auto* steps : {&Detail::kRecordFilterSteps, &Detail::kRecordPreprocessorSteps}) {
      std::u16string replaced = text;
      const bool found = Detail::ReplaceOccurrences(replaced, search, replacement, *steps);
      ASSERT_EQ(replaced, ReplacedByDefinition(text, search, replacement, *steps))
          << "round " << round;
      ASSERT_EQ(found, text.find(search) != std::u16string::npos);
    }
  }
}

// The member substitution gives what applying the whole map in order gives: with keys of one to
// three units and replacements that bring in later keys (more than 64 entries too), and with
// lists of single-unit keys whose replacements hold none (applied in one pass), on texts with
// runs of one key, keys near the end, and more keys than the one pass takes.
TEST(SubstitutionPairs, SpellingAppliesTheMapInOrder) {
  std::mt19937 random(16);
  const std::u16string keys = u"\u00E4\u00DF\u00E9\u00F6a";
  const std::u16string others = u"xyz \t\u6771";
  const auto pick = [&](const std::u16string& from, std::size_t most) {
    std::u16string text(1 + random() % most, u' ');
    for (char16_t& c : text) c = from[random() % from.size()];
    return text;
  };
  for (int round = 0; round < 600; ++round) {
    const bool singleUnits = round % 2 == 1;
    RecordPreprocessor::SpellingMap map;
    const std::size_t entries = singleUnits      ? 1 + random() % 5
                                : round % 3 == 0 ? 90
                                                 : 1 + random() % 12;
    while (map.size() < entries) {
      if (singleUnits) {
        map.emplace(std::u16string(1, keys[random() % keys.size()]), pick(others, 3));
      } else {
        std::u16string key = RandomText(random, 3);
        if (!key.empty()) map.emplace(std::move(key), RandomText(random, 3));
      }
    }
    std::vector<SubstitutionPair> pairs;
    for (const auto& [key, value] : map) pairs.emplace_back(key, value);
    RecordPreprocessor p;
    p.SetLanguageSpellingNormalizationSubstitutionPairs(pairs);
    for (int t = 0; t < 20; ++t) {
      const std::u16string text =
          singleUnits ? pick(keys + others, t == 0 ? 200 : 30) : RandomText(random, 40);
      ASSERT_EQ(p.SubstituteString(text), RecordPreprocessor::SubstituteString(text, map))
          << "round " << round;
      // Formatting a field finds the keys while filtering it, and gives the same.
      ASSERT_EQ(p.FormatField(text), p.SubstituteString(p.FilterString(text))) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace Qel
