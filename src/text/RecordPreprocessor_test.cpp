#include "qel/text/RecordPreprocessor.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <thread>

#include "qel/core/Exceptions.h"
#include "qel/core/StringConversion.h"
#include "qel/text/Unicode.h"

namespace Qel {
namespace {

using Fields = std::vector<std::u16string>;

std::int32_t ErrorId(const std::function<void()>& call, std::u16string* arg = nullptr) {
  try {
    call();
  } catch (const BaseException& e) {
    if (arg != nullptr) *arg = e.GetErrorArg();
    return e.GetErrorId();
  }
  return 0;
}

TEST(RecordPreprocessorTest, Splitting) {
  RecordPreprocessor p;
  EXPECT_EQ(p.ProcessRecord(u"a;b c"), Fields{u"a;b c"});
  EXPECT_EQ(p.ProcessRecord(u""), Fields{});
  p.SetDelimiterChars(u";");
  EXPECT_EQ(p.ProcessRecord(u"a;;b;"), (Fields{u"a", u"b"}));
  p.SetKeepEmptyFields(true);
  EXPECT_EQ(p.ProcessRecord(u"a;;b;"), (Fields{u"a", u"", u"b", u""}));
  EXPECT_EQ(p.ProcessRecord(u"a\uFF1Bb"), (Fields{u"a", u"b"}));
  // A delimiter given in a compatibility form matches its plain form, and vice versa.
  p.SetDelimiterChars(u"\uFF0C");
  EXPECT_EQ(p.GetDelimiterChars(), u"\uFF0C");
  EXPECT_EQ(p.ProcessRecord(u"x,y\uFF0Cz"), (Fields{u"x", u"y", u"z"}));
  // Unpaired surrogates are ordinary characters.
  const std::u16string odd{0xD800, u',', 0xDC00};
  EXPECT_EQ(p.ProcessRecord(odd), (Fields{std::u16string(1, 0xD800), std::u16string(1, 0xDC00)}));

  const auto item =
      RecordPreprocessor::GetNextFieldUsingDelimiters(u"ab;cd", 3, u";", false, u"\"");
  EXPECT_EQ(item.field, u"cd");
  EXPECT_EQ(item.position, -1);
  EXPECT_EQ(RecordPreprocessor::GetNextFieldUsingDelimiters(u"ab;", 3, u";", false, u"\"").position,
            -1);
  EXPECT_EQ(RecordPreprocessor::GetNextFieldUsingDelimiters(u"ab;", 9, u";", false, u"\"").field,
            u"");
}

// The overload that fills a caller's vector gives what ProcessRecord returns, whatever the
// vector held before: longer and shorter records in turn, kept empty fields, qualified fields,
// control characters, width forms and CJK, and a record refused in between.
TEST(RecordPreprocessorTest, ProcessRecordIntoReusedVector) {
  RecordPreprocessor p;
  p.SetDelimiterChars(u";");
  p.SetHandleFieldProtection(true);
  p.SetIgnoreCharacterCase(true);
  p.SetPerformUnicodeNormalization(true);
  p.SetPerformCjkNormalization(true);
  p.SetLanguageSpellingNormalizationSubstitutionPairs(
      Unicode::GetLanguageSpellingNormalizationSubstitutionPairs());
  const std::u16string records[] = {
      u"Long field one;\"M\u00FCller; Hans\";\uFF21\uFF22C\u4E00x;d;e;f",
      u"a",
      u";;b;",
      u"\"x\"y;\tz\u0085w",
      u"",
      u"\"open;c",
      u"M\u00DCLLER;\u6771\u4EAC",
  };
  for (bool keepEmpty : {false, true}) {
    p.SetKeepEmptyFields(keepEmpty);
    Fields reused{u"stale", u"stale stale stale", u"x", u"y", u"z", u"w", u"v", u"u", u"t"};
    for (std::size_t r = 0; r < std::size(records); ++r) {
      SCOPED_TRACE(testing::Message() << "record " << r << ", keep empty " << keepEmpty);
      const std::u16string& record = records[r];
      Fields expected;
      const std::int32_t id = ErrorId([&] { expected = p.ProcessRecord(record); });
      EXPECT_EQ(ErrorId([&] { p.ProcessRecord(record, reused); }), id);
      if (id == 0) {
        EXPECT_EQ(reused, expected);
      }
    }
  }
}

TEST(RecordPreprocessorTest, FieldProtection) {
  RecordPreprocessor p;
  p.SetDelimiterChars(u";");
  p.SetHandleFieldProtection(true);
  EXPECT_EQ(p.ProcessRecord(u"\"a;b\";c"), (Fields{u"a;b", u"c"}));
  EXPECT_EQ(p.ProcessRecord(u"\"a\"x;c"), (Fields{u"ax", u"c"}));
  EXPECT_EQ(p.ProcessRecord(u"\"a\"x"), (Fields{u"ax"}));
  EXPECT_EQ(p.ProcessRecord(u"c;\"a\""), (Fields{u"c", u"a"}));
  // The item is not doubled for escaping: the first following occurrence closes.
  EXPECT_EQ(p.ProcessRecord(u"\"a\"\"b\";c"), (Fields{u"a\"b\"", u"c"}));
  p.SetFieldProtectionItem(u"''");
  EXPECT_EQ(p.ProcessRecord(u"''x;y'';z"), (Fields{u"x;y", u"z"}));

  p.SetFieldProtectionItem(u"\"");
  std::u16string arg;
  EXPECT_EQ(ErrorId([&] { p.ProcessRecord(u"\"a;c"); }, &arg), 74);
  EXPECT_EQ(arg, u"\"a;c");
  try {
    RecordPreprocessor::GetNextFieldUsingDelimiters(u"x;\"open", 2, u";", true, u"\"");
    FAIL() << "an unclosed item must throw";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 74);
    EXPECT_NE(e.GetErrorDescription().find(u"'2'"), std::u16string::npos)
        << std::string(e.GetErrorDescription().begin(), e.GetErrorDescription().end());
  }
}

// ProcessRecord splits as GetNextFieldUsingDelimiters does, field after field, on random records
// of delimiters in plain and compatibility forms, qualifiers, CJK and Latin: one to five ASCII
// delimiters, and delimiters beyond ASCII; no qualifier, one of one unit and one of two.
TEST(RecordPreprocessorTest, SplitsAsTheFieldSearchDoes) {
  const std::u16string alphabet =
      u"ab\u00C4\u6771,;|:\t\"\"''  \uFF0C\uFE50\u3001\uFF1B\uFF76\uFF08";
  const std::u16string delimiterSets[] = {u",", u";,", u",;|\t:", u"\u3001", u",\u3001"};
  std::mt19937 random(17);
  for (const std::u16string& delimiters : delimiterSets) {
    for (const std::u16string qualifier : {u"", u"\"", u"''"}) {
      const bool protect = !qualifier.empty();
      RecordPreprocessor p;
      p.SetDelimiterChars(delimiters);
      p.SetHandleFieldProtection(protect);
      if (protect) p.SetFieldProtectionItem(qualifier);
      p.SetKeepEmptyFields(true);
      for (int round = 0; round < 400; ++round) {
        std::u16string record(random() % 40, u' ');
        for (char16_t& c : record) c = alphabet[random() % alphabet.size()];
        Fields expected;
        bool refused = false;
        try {
          for (int position = record.empty() ? -1 : 0; position != -1;) {
            const RecordFieldItem item = RecordPreprocessor::GetNextFieldUsingDelimiters(
                record, position, delimiters, protect, qualifier);
            expected.push_back(p.FormatField(item.field));
            position = item.position;
          }
        } catch (const BaseException&) {
          refused = true;
        }
        SCOPED_TRACE(::testing::Message()
                     << "delimiters " << (&delimiters - delimiterSets) << ", qualifier "
                     << qualifier.size() << ", round " << round);
        if (refused) {
          EXPECT_EQ(ErrorId([&] { p.ProcessRecord(record); }), 74);
        } else {
          EXPECT_EQ(p.ProcessRecord(record), expected);
        }
      }
    }
  }
}

// The filter, unit by unit as the text rules say: a control character ends a sub-field, a width
// form takes its normal width, the case folds, and a CJK character stands apart.
std::u16string FilteredByTheRules(const std::u16string& text, bool ignoreCase, bool width, bool cjk,
                                  char16_t sub) {
  std::u16string out;
  bool previousCjk = false;
  for (char16_t c : text) {
    if (Unicode::IsControlCharacter(c)) {
      if (!out.empty() && out.back() != sub) {
        out += sub;
        previousCjk = false;
      }
      continue;
    }
    if (width && Unicode::CharacterIsInHalfWidthAndFullWidthUnicodeBlock(c)) {
      c = Unicode::GetHalfWidthAndFullWidthCharacterNormalizedCharacter(c);
    }
    if (ignoreCase) c = QelToLower(c);
    const bool isCjk = cjk && Unicode::IsCjkCharacter(c);
    if ((isCjk || (previousCjk && c != sub)) && !out.empty() && out.back() != sub) out += sub;
    out += c;
    previousCjk = isCjk;
  }
  return out;
}

// Random text of many scripts, long runs of one script and mixes, under every set of switches.
TEST(RecordPreprocessorTest, FilterFollowsTheRules) {
  const std::u16string alphabet =
      u"aZ9 -\t\u0001\u007F\u0085\u00C9\u00E9\u0416\u0436\u03A3\u03C3\u6771\u4EAC"
      u"\uAC00\uFF21\uFF41\uFF11\uFF76\uFF9E\uFFE0\uFFE8\u3000_";
  std::mt19937 random(18);
  for (int round = 0; round < 3000; ++round) {
    // Runs drawn from a few units of the alphabet, so that some stretches hold one script.
    std::u16string text;
    const std::size_t runs = 1 + random() % 6;
    for (std::size_t r = 0; r < runs; ++r) {
      const std::size_t from = random() % alphabet.size();
      const std::size_t kinds = 1 + random() % 4;
      for (std::size_t n = random() % 20; n > 0; --n) {
        text += alphabet[(from + random() % kinds) % alphabet.size()];
      }
    }
    const int switches = round % 8;
    const bool ignoreCase = (switches & 1) != 0;
    const bool width = (switches & 2) != 0;
    const bool cjk = (switches & 4) != 0;
    const char16_t sub = round % 16 < 8 ? u' ' : u'_';
    ASSERT_EQ(RecordPreprocessor::FilterString(text, ignoreCase, u"", width, cjk, sub),
              FilteredByTheRules(text, ignoreCase, width, cjk, sub))
        << "round " << round;
  }
}

TEST(RecordPreprocessorTest, Delimiters) {
  RecordPreprocessor p;
  std::u16string arg;
  EXPECT_EQ(ErrorId([&] { p.SetDelimiterChars(u";\uFB01,"); }, &arg), 75);
  EXPECT_EQ(arg, u"\uFB01");
  // What came before the bad delimiter stays in force.
  EXPECT_EQ(p.GetDelimiterChars(), u";\uFB01,");
  EXPECT_EQ(p.ProcessRecord(u"a;b,c"), (Fields{u"a", u"b,c"}));
}

TEST(RecordPreprocessorTest, Formatting) {
  RecordPreprocessor p;
  p.SetIgnoreCharacterCase(true);
  p.SetRemoveChars(u"-");
  EXPECT_EQ(p.ProcessRecord(u"A-B"), Fields{u"ab"});
  EXPECT_EQ(p.FilterString(u"\t\tword\t\x01two\x7F"), u"word two ");
  EXPECT_EQ(p.FilterString(u"a\u0085b"), u"a b");

  p.SetPerformCjkNormalization(true);
  EXPECT_EQ(p.FilterString(u"ab\u4E00\u4E01cd"), u"ab \u4E00 \u4E01 cd");
  EXPECT_EQ(p.FilterString(u"\u4E00 x"), u"\u4E00 x");
  p.SetSubFieldDelimiter(u'|');
  EXPECT_EQ(p.FilterString(u"\u4E00\u4E01\t"), u"\u4E00|\u4E01|");

  // Half-width/full-width forms only with Unicode normalisation; remove characters follow.
  RecordPreprocessor q;
  q.SetRemoveChars(u"\uFF0D");
  EXPECT_EQ(q.FilterString(u"\uFF21\uFF0D"), u"\uFF21");
  q.SetPerformUnicodeNormalization(true);
  EXPECT_EQ(q.FilterString(u"\uFF21\uFF0D-"), u"A");
  EXPECT_EQ(ErrorId([&] { q.FilterString(u"x\uFFE7"); }), 73);
}

TEST(RecordPreprocessorTest, SubstituteStringSteps) {
  // One pair's steps are in SubstitutionPairs_test.cpp. The map runs in ascending key order (a->b,
  // then b->c), before the pairs.
  const RecordPreprocessor::SpellingMap map{{u"b", u"c"}, {u"a", u"b"}};
  EXPECT_EQ(RecordPreprocessor::SubstituteString(u"xa", map), u"xc");
  EXPECT_EQ(RecordPreprocessor::SubstituteString(u"xa", {{u"c", u"d"}}, map), u"xd");
  // The member form follows the same order, also for units that replacements bring in.
  RecordPreprocessor p;
  p.SetLanguageSpellingNormalizationSubstitutionPairs({{u"b", u"c"}, {u"a", u"b"}, {u"q", u"q"}});
  p.SetSubstitutionPairs({{u"c", u"d"}});
  EXPECT_EQ(p.SubstituteString(u"xa"), u"xd");
  EXPECT_EQ(p.SubstituteString(u"zz"), u"zz");
  EXPECT_EQ(p.FormatField(u"xa"), u"xd");
}

TEST(RecordPreprocessorTest, LanguageSpelling) {
  RecordPreprocessor p;
  p.SetLanguageSpellingNormalizationSubstitutionPairs(
      Unicode::GetLanguageSpellingNormalizationSubstitutionPairs());
  EXPECT_EQ(p.ProcessRecord(u"M\u00FCller"), Fields{u"Mueller"});
  EXPECT_EQ(p.ProcessRecord(u"\u00DCber Stra\u00DFe"), Fields{u"UEber Strasse"});
  p.SetIgnoreCharacterCase(true);
  EXPECT_EQ(p.ProcessRecord(u"M\u00FCller"), Fields{u"mueller"});
  EXPECT_EQ(p.ProcessRecord(u"\u00DCBER"), Fields{u"ueber"});
  // Pairs are formatted through the spelling map: "Müller" as a search finds "mueller".
  p.AddSubstitutionPair(u"M\u00FCller", u"Miller");
  EXPECT_EQ(p.ProcessRecord(u"Herr MUELLER"), Fields{u"herr miller"});
}

TEST(RecordPreprocessorTest, SubstitutionPairsAndRebuilds) {
  RecordPreprocessor p;
  p.SetDelimiterChars(u";");
  p.AddSubstitutionPair(u"ST", u"Street");
  p.AddSubstitutionPair(u"st", u"street");
  p.AddSubstitutionPair(u"same", u"same");
  EXPECT_EQ(p.GetSubstitutionPairCount(), 3u);
  EXPECT_EQ(p.ProcessRecord(u"Main ST;first"), (Fields{u"Main Street", u"firstreet"}));

  // With case ignored both pairs format to "st"; the first one wins.
  p.SetIgnoreCharacterCase(true);
  EXPECT_EQ(p.ProcessRecord(u"Main ST"), Fields{u"main street"});
  EXPECT_EQ(p.GetSubstitutionPair(0), SubstitutionPair(u"ST", u"Street"));

  p.ModifySubstitutionPair(0, u"Main", u"High");
  EXPECT_EQ(p.ProcessRecord(u"Main ST"), Fields{u"high street"});
  p.RemoveSubstitutionPair(0);
  EXPECT_EQ(p.ProcessRecord(u"Main ST"), Fields{u"main street"});
  p.SetSubstitutionPairs({});
  EXPECT_EQ(p.ProcessRecord(u"Main ST"), Fields{u"main st"});

  // Remove characters reach the formatted pairs.
  p.SetSubstitutionPairs({{u"a.b", u"x"}});
  p.SetRemoveChars(u".");
  EXPECT_EQ(p.ProcessRecord(u"ab"), Fields{u"x"});

  EXPECT_EQ(ErrorId([&] { p.AddSubstitutionPair(u"", u"x"); }), 1);
  EXPECT_EQ(ErrorId([&] { p.ModifySubstitutionPair(0, u"", u"x"); }), 1);
  EXPECT_EQ(ErrorId([&] { p.GetSubstitutionPair(1); }), 8);
  EXPECT_EQ(ErrorId([&] { p.ModifySubstitutionPair(1, u"a", u"b"); }), 8);
  EXPECT_EQ(ErrorId([&] { p.RemoveSubstitutionPair(7); }), 8);
  EXPECT_EQ(p.GetSubstitutionPairCount(), 1u);
}

TEST(RecordPreprocessorTest, CopiesAreIndependent) {
  RecordPreprocessor p;
  p.SetDelimiterChars(u";");
  p.AddSubstitutionPair(u"a", u"b");
  RecordPreprocessor copy = p;
  p.SetDelimiterChars(u",");
  p.RemoveSubstitutionPair(0);
  EXPECT_EQ(copy.ProcessRecord(u"xa;y"), (Fields{u"xb", u"y"}));
  EXPECT_EQ(p.ProcessRecord(u"xa;y"), Fields{u"xa;y"});
}

}  // namespace
}  // namespace Qel

namespace Qel {
namespace {

// Distinct preprocessors on several threads share only the process-wide tables (built on first
// use by whichever thread comes first).
TEST(RecordPreprocessorConcurrencyTest, DistinctObjectsOnManyThreads) {
  const std::u16string record = u"\"M\u00FCller; Hans\"\uFF1B\uFF21\uFF22C\t\u4E00\u4E01;;x\u00A0y";
  const auto run = [&record] {
    RecordPreprocessor p;
    p.SetDelimiterChars(u";");
    p.SetHandleFieldProtection(true);
    p.SetKeepEmptyFields(true);
    p.SetIgnoreCharacterCase(true);
    p.SetPerformUnicodeNormalization(true);
    p.SetPerformCjkNormalization(true);
    p.SetLanguageSpellingNormalizationSubstitutionPairs(
        Unicode::GetLanguageSpellingNormalizationSubstitutionPairs());
    return p.ProcessRecord(record);
  };
  std::vector<Fields> results(4);
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([&result, &run] {
      for (int k = 0; k < 200; ++k) result = run();
    });
  }
  for (auto& thread : threads) thread.join();
  const Fields expected{u"mueller; hans", u"abc \u4E00 \u4E01", u"", u"x\u00A0y"};
  for (const auto& result : results) EXPECT_EQ(result, expected);
}

}  // namespace
}  // namespace Qel
