#include "qel/text/RecordFilter.h"

#include <gtest/gtest.h>

#include "qel/core/Exceptions.h"

namespace Qel {
namespace {

using Fields = std::vector<std::u16string>;

struct FilterPtr {
  FilterPtr() : filter(RecordFilter::Create()) {}
  ~FilterPtr() { filter->Release(); }
  RecordFilter* operator->() const { return filter; }
  RecordFilter* filter;
};

Fields Split(RecordFilter* f, const std::u16string& line) {
  Fields fields{u"stale"};
  f->SplitLine(line, fields);
  return fields;
}

TEST(RecordFilterTest, DefaultsAndEmptyFields) {
  FilterPtr f;
  EXPECT_EQ(f->GetDelimiterChars(), u";\t");
  EXPECT_EQ(f->GetRemoveChars(), u".,");
  EXPECT_EQ(Split(f.filter, u"A.1;B,2"), (Fields{u"A1", u"B2"}));
  EXPECT_EQ(Split(f.filter, u"a\tb"), (Fields{u"a", u"b"}));
  EXPECT_EQ(Split(f.filter, u""), Fields{});
  EXPECT_EQ(Split(f.filter, u";;a;"), Fields{u"a"});
  EXPECT_EQ(Split(f.filter, u"..;x"), Fields{u"x"});
  f->SetKeepEmptyFields(true);
  EXPECT_EQ(Split(f.filter, u";;a;"), (Fields{u"", u"", u"a", u""}));
  EXPECT_EQ(Split(f.filter, u"..;x"), (Fields{u"", u"x"}));
  EXPECT_EQ(Split(f.filter, u";"), (Fields{u"", u""}));
  f->SetDelimiterChars(u"");
  EXPECT_EQ(Split(f.filter, u"a;b"), Fields{u"a;b"});
}

TEST(RecordFilterTest, Quotes) {
  FilterPtr f;
  f->SetRemoveChars(u"");
  EXPECT_EQ(Split(f.filter, u"\"a;b\";c"), (Fields{u"\"a", u"b\"", u"c"}));
  f->SetHandleQuotes(true);
  EXPECT_EQ(Split(f.filter, u"\"a;b\";c"), (Fields{u"a;b", u"c"}));
  EXPECT_EQ(Split(f.filter, u"\"say \"\"hi\"\"\";x"), (Fields{u"say \"hi\"", u"x"}));
  EXPECT_EQ(Split(f.filter, u"\"q\"tail;x"), (Fields{u"qtail", u"x"}));
  EXPECT_EQ(Split(f.filter, u"x;\"open;rest"), (Fields{u"x", u"open;rest"}));
  EXPECT_EQ(Split(f.filter, u"a\"b;c"), (Fields{u"a\"b", u"c"}));
  f->SetKeepEmptyFields(true);
  // An unterminated quote ends the line without a trailing empty field.
  EXPECT_EQ(Split(f.filter, u"\"a;"), (Fields{u"a;"}));
  EXPECT_EQ(Split(f.filter, u"\"\";b"), (Fields{u"", u"b"}));
}

TEST(RecordFilterTest, FilterString) {
  EXPECT_EQ(RecordFilter::FilterString(u"A.b,C", true, u"."), u"ab,c");
  EXPECT_EQ(RecordFilter::FilterString(u"\u00C4X", true, u""), u"\u00E4x");
  EXPECT_EQ(RecordFilter::FilterString(std::u16string(u"ab\0cd", 5), false, u""), u"ab");
}

TEST(RecordFilterTest, SubstituteStringBounds) {
  // One pair's steps are in SubstitutionPairs_test.cpp. Pairs apply in order, each on the previous
  // result; empty and identity pairs are skipped.
  EXPECT_EQ(RecordFilter::SubstituteString(
                u"xay", {{u"", u"q"}, {u"a", u"a"}, {u"a", u"b"}, {u"b", u"cc"}}),
            u"xccy");
}

TEST(RecordFilterTest, SubstitutionPairs) {
  FilterPtr f;
  f->SetConvertToLowerCase(true);
  f->AddSubstitutionPair(u"STR.", u"Street");
  EXPECT_EQ(f->GetSubstitutionPairCount(), 1u);
  EXPECT_EQ(Split(f.filter, u"Main STR.;x"), (Fields{u"main street", u"x"}));
  EXPECT_EQ(f->SubstituteString(u"Main STR."), u"Main Street");
  EXPECT_EQ(f->SubstituteString(u"main str"), u"main str");

  f->AddSubstitutionPair(u"x", u"y");
  f->ModifySubstitutionPair(1, u"main", u"high");
  EXPECT_EQ(f->GetSubstitutionPair(1), SubstitutionPair(u"main", u"high"));
  EXPECT_EQ(Split(f.filter, u"Main STR."), Fields{u"high street"});
  f->RemoveSubstitutionPair(0);
  EXPECT_EQ(f->GetSubstitutionPairCount(), 1u);
  EXPECT_EQ(Split(f.filter, u"Main STR."), Fields{u"high str"});

  // Changing the lower-case flag re-formats the pairs.
  f->SetConvertToLowerCase(false);
  EXPECT_EQ(Split(f.filter, u"Main STR."), Fields{u"Main STR"});
  EXPECT_EQ(Split(f.filter, u"main"), Fields{u"high"});

  for (auto bad : {0, 1}) {
    try {
      if (bad == 0) f->AddSubstitutionPair(u"", u"x");
      if (bad == 1) f->ModifySubstitutionPair(0, u"", u"x");
      FAIL() << "empty search accepted";
    } catch (const BaseException& e) {
      EXPECT_EQ(e.GetErrorId(), 1);
      EXPECT_EQ(e.GetErrorArg(), u"[1009]");
    }
  }
  EXPECT_EQ(f->GetSubstitutionPairCount(), 1u);
  try {
    f->GetSubstitutionPair(1);
    FAIL() << "index 1 of 1 accepted";
  } catch (const OutOfBoundsException& e) {
    EXPECT_EQ(e.GetErrorId(), 8);
    EXPECT_EQ(e.GetCurrentIndex(), 1);
    EXPECT_EQ(e.GetMaxIndex(), 1);
  }
  EXPECT_THROW(f->RemoveSubstitutionPair(5), OutOfBoundsException);
  EXPECT_THROW(f->ModifySubstitutionPair(5, u"a", u"b"), OutOfBoundsException);
}

TEST(RecordFilterTest, UnpairedSurrogatesPassThrough) {
  FilterPtr f;
  const std::u16string line{u'a', 0xD800, u';', 0xDC00, u'b'};
  EXPECT_EQ(Split(f.filter, line),
            (Fields{std::u16string{u'a', 0xD800}, std::u16string{0xDC00, u'b'}}));
}

}  // namespace
}  // namespace Qel
