#include "text/SubstitutionPairs.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace Qel
