#include "qel/core/StringConversion.h"

#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include <cerrno>
#include <clocale>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/IcuReference.h"
#include "core/TestCaught.h"
#include "core/Utf.h"
#include "qel/core/Exceptions.h"

namespace Qel {
namespace {

using namespace std::string_literals;

std::u16string IcuFromUtf8WithSub(const std::string& bytes) {
  return Testing::IcuFromUtf8WithSub(bytes.data(), bytes.size()).value();
}

std::string IcuToUtf8WithSub(const std::u16string& units) {
  return Testing::IcuToUtf8WithSub(units).value();
}

TEST(StringConversionUtf8, IllFormedSubpartsBecomeOneReplacementEach) {
  const struct {
    std::string bytes;
    std::u16string expected;
  } cases[] = {
      {"\xC0\xAF", u"\uFFFD\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"a\xE2\x82", u"a\uFFFD"},
      {"\xE2\x82"
       "b",
       u"\uFFFDb"},
      {"\xF0\x9F\x93", u"\uFFFD"},
      {"\xF0\x9F\x93\x84", u"\U0001F4C4"},
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"\x80\xBF\xFE\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", u"\uFFFF\U0010FFFF"},
      {"\xC3\xA4\xD0\x96\xE4\xB8\x8A", u"\u00E4\u0416\u4E0A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.bytes.data(), c.bytes.size()), c.expected) << c.bytes;
    EXPECT_EQ(ConvertUtf8ToWideChar(c.bytes), c.expected) << c.bytes;
    // The same sequence behind ASCII runs passes the wide ASCII path.
    const std::string padded = std::string(21, 'x') + c.bytes + std::string(19, 'y');
    EXPECT_EQ(Utf8ToUtf16(padded.data(), padded.size()),
              std::u16string(21, u'x') + c.expected + std::u16string(19, u'y'))
        << c.bytes;
  }
}

TEST(StringConversionUtf8, AgreesWithIcuOnRandomInput) {
  // Bytes chosen to hit every lead-byte class, boundaries of second bytes and ASCII runs.
  const unsigned char alphabet[] = {0x00, 'a',  0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                    0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xEF, 0xF0, 0xF1,
                                    0xF3, 0xF4, 0xF5, 0xFF, 'b',  'c',  ' ',  '\n'};
  std::mt19937 random(42);
  // The last rounds are long enough to be converted in several pieces, cut anywhere; the
  // string the overload fills keeps what the round before left in it.
  std::string reused;
  for (int round = 0; round < 3040; ++round) {
    std::string bytes(round < 3000 ? random() % 80 : 8000 + random() % 30000, '\0');
    for (char& b : bytes) b = static_cast<char>(alphabet[random() % sizeof alphabet]);
    const std::u16string wide = Utf8ToUtf16(bytes.data(), bytes.size());
    ASSERT_EQ(wide, IcuFromUtf8WithSub(bytes)) << "round " << round;
    const std::optional<std::string> narrow = IcuToUtf8WithSub(wide);
    ASSERT_EQ(Utf16ToUtf8(wide.data(), wide.size()), narrow) << "round " << round;
    Utf16ToUtf8(wide.data(), wide.size(), reused);
    ASSERT_EQ(reused, narrow) << "round " << round;
    // The caller-buffer forms, into buffers of exactly the stated size (overruns show under
    // AddressSanitizer).
    const auto units = std::make_unique_for_overwrite<char16_t[]>(bytes.size());
    ASSERT_EQ(std::u16string(units.get(), Utf8ToUtf16(bytes.data(), bytes.size(), units.get())),
              wide);
    const auto encoded = std::make_unique_for_overwrite<char[]>(3 * wide.size());
    ASSERT_EQ(std::string(encoded.get(), Utf16ToUtf8(wide.data(), wide.size(), encoded.get())),
              narrow);
  }
}

TEST(StringConversionUtf8, UnpairedSurrogatesBecomeReplacementCharacter) {
  const std::u16string units = u"a\xD800"s + u"b\xDC00\xDC00\xD800"s + u"\U0001F4C4"s + u"\xD83D"s;
  EXPECT_EQ(ConvertWideCharToUtf8(units),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x93\x84\xEF\xBF\xBD");
  // Long ASCII runs take the wide path; a pair may straddle its blocks.
  const std::u16string runs = std::u16string(31, u'a') + u"\U0001F4C4"s + std::u16string(64, u'b') +
                              u"\xD800"s + std::u16string(40, u'c') + u"\xDC00"s;
  EXPECT_EQ(ConvertWideCharToUtf8(runs), IcuToUtf8WithSub(runs));
  // Random text, on odd rounds with few surrogates so that the vector encoder runs, converted
  // also into buffers of exactly the length the result needs (overruns show under
  // AddressSanitizer) and of three bytes a unit.
  std::mt19937 random(7);
  const char16_t alphabet[] = {u'a',   0x7F,  0x80, 0x7FF,  0x800,  0xD7FF, 0xE000,
                               0xFFFF, u'\0', u' ', 0xD800, 0xDBFF, 0xDC00, 0xDFFF};
  for (int round = 0; round < 3020; ++round) {
    std::u16string wide(round < 3000 ? random() % 40 : 5000 + random() % 9000, u'\0');
    for (char16_t& c : wide) {
      const bool rare = round % 2 == 1 && random() % 64 != 0;
      c = alphabet[random() % (rare ? 10 : std::size(alphabet))];
    }
    const std::optional<std::string> expected = IcuToUtf8WithSub(wide);
    ASSERT_EQ(Utf16ToUtf8(wide.data(), wide.size()), expected) << "round " << round;
    const std::size_t exact = Detail::Utf8LengthOf(wide.data(), wide.size());
    for (const std::size_t capacity : {exact, 3 * wide.size()}) {
      const auto out = std::make_unique_for_overwrite<char[]>(capacity);
      const std::size_t length =
          Detail::Utf16ToUtf8Buffer(wide.data(), wide.size(), out.get(), capacity);
      ASSERT_EQ(std::string(out.get(), length), expected) << "round " << round;
    }
  }
}

TEST(StringConversionUtf8, StrictFlagsTurnIllFormedInputIntoFailure) {
  const std::function<void()> strict[] = {
      [] { ConvertToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xC0"); },
      [] { ConvertFromWideChar(CP_UTF8, WC_ERR_INVALID_CHARS, u"\xD800"s, false); },
      [] { ConvertToWideChar(CP_UTF8, 0, nullptr); },
      [] { ConvertToWideChar(932, MB_ERR_INVALID_CHARS, "\x82"); },
  };
  for (const auto& call : strict) EXPECT_EQ(Testing::Caught<BaseException>(call).GetErrorId(), 17);
  EXPECT_EQ(ConvertToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3\xA4"), u"\u00E4");
}

TEST(StringConversion, EmptyAndEmbeddedNulRules) {
  EXPECT_EQ(ConvertA2W(""), u"");
  EXPECT_EQ(ConvertUtf8ToWideChar(""), u"");
  EXPECT_EQ(ConvertFromWideChar(CP_UTF8, 0, u"", true), "");
  EXPECT_EQ(ConvertFromWideChar(CP_ACP, 0, u"", true), "");

  std::string out = "old";
  EXPECT_TRUE(ConvertWideCharToUTF8(u"ab", out));
  EXPECT_EQ(out, "ab\0"s);
  EXPECT_EQ(ConvertWideCharToUtf8(u"ab"), "ab");
  EXPECT_TRUE(ConvertWideCharToUTF8(u"a\u00E4\0cd"s, out));
  EXPECT_EQ(out, "a\xC3\xA4\0"s) << "stops at the embedded NUL and keeps one terminator";
  EXPECT_EQ(ConvertWideCharToUtf8(u"a\0b"s), "a\0b"s);
  EXPECT_EQ(ConvertW2A(u"a\0\u00E4"s), "a\0\xE4"s);

  EXPECT_EQ(ConvertA2W("a\0b"s), u"a");
  EXPECT_EQ(ConvertUtf8ToWideChar("a\0b"s), u"a");
  std::u16string wide = u"old";
  EXPECT_TRUE(ConvertUTF8ToWideChar("x\0y"s, wide));
  EXPECT_EQ(wide, u"x");
  EXPECT_EQ(Utf8ToUtf16("a\0b", 3), u"a\0b"s);
  EXPECT_EQ(Utf16ToUtf8(u"a\0b", 3), "a\0b"s);
}

TEST(StringConversionAnsi, Windows1252WithUndefinedBytesKept) {
  EXPECT_EQ(ConvertA2W("\x80\x9F\xE4\xDF"), u"\u20AC\u0178\u00E4\u00DF");
  EXPECT_EQ(ConvertA2W("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D");
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(ConvertW2A(ConvertA2W(all)), all) << "every byte survives a round trip";
  EXPECT_EQ(ConvertW2A(u"\u20AC\u4E0A\xD800x"s), "\x80??x");
  std::u16string wide;
  EXPECT_TRUE(ConvertA2W(std::string("\xFC"), wide));
  EXPECT_EQ(wide, u"\u00FC");
  std::string narrow;
  EXPECT_TRUE(ConvertW2A(u"\u00FC", narrow));
  EXPECT_EQ(narrow, "\xFC");
}

TEST(StringConversionAnsi, NumberedCodePages) {
  EXPECT_EQ(ConvertToWideChar(1251, 0, "\xC6\xF3\xEA"), u"\u0416\u0443\u043A");
  EXPECT_EQ(ConvertFromWideChar(1251, 0, u"\u0416\u0443\u043A", false), "\xC6\xF3\xEA");
  EXPECT_EQ(ConvertToWideChar(932, 0, "\x82\xA0"), u"\u3042");
  EXPECT_EQ(ConvertToWideChar(28595, 0, "\xB6"), u"\u0416");
  EXPECT_EQ(ConvertFromWideChar(1252, 0, u"a\0b"s, true), "a\0"s);
  for (unsigned int codePage : {12345u, 1200u}) {
    const BaseException e =
        Testing::Caught<BaseException>([&] { ConvertToWideChar(codePage, 0, "a"); });
    EXPECT_EQ(e.GetErrorId(), 17);
    EXPECT_NE(e.GetErrorArg().find(u"code page"), std::u16string::npos);
  }
  EXPECT_EQ(ConvertToWideChar(932, 0, "a\x82"), u"a\uFFFD");
}

TEST(StringConversionNumbers, ParsesWithStandardRules) {
  EXPECT_EQ(QelStringToInteger(u"12"), 12);
  EXPECT_EQ(QelStringToInteger(u"  -7"), -7);
  EXPECT_EQ(QelStringToInteger(u"1,000"), 1);
  EXPECT_EQ(QelStringToInteger(u"1 000"), 1);
  EXPECT_EQ(QelStringToLong(u"12,5"), 12);
  EXPECT_EQ(QelStringToInteger(u"-2147483648"), -2147483647 - 1);
  EXPECT_EQ(QelStringToLongLong(u"9223372036854775807"), INT64_MAX);
  EXPECT_EQ(QelStringToLongLong(u"-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(QelStringToLongLong(u"99999999999"), 99999999999);
}

TEST(StringConversionNumbers, FailuresCarryTheFunctionAndText) {
  EXPECT_EQ(Testing::Caught<BaseException>([] { QelStringToInteger(u""); }).GetErrorId(), 1);
  const BaseException notNumber =
      Testing::Caught<BaseException>([] { QelStringToInteger(u"abc"); });
  EXPECT_EQ(notNumber.GetErrorId(), 1);
  EXPECT_EQ(notNumber.GetErrorArg(), u"Qel::QelStringToInteger(@0:'abc')");
  EXPECT_EQ(Testing::Caught<BaseException>([] { QelStringToLongLong(u"x"); }).GetErrorArg(),
            u"Qel::QelStringToLongLong(@0:'x')");

  const BaseException noDigit = Testing::Caught<BaseException>([] { QelStringToInteger(u"-"); });
  EXPECT_EQ(noDigit.GetErrorId(), 17);
  EXPECT_EQ(noDigit.GetErrorArg(), u"Qel::QelStringToInteger(@0:'-'): invalid stoi argument");
  EXPECT_EQ(Testing::Caught<BaseException>([] { QelStringToInteger(u"+-5"); }).GetErrorId(), 17);
  const BaseException range =
      Testing::Caught<BaseException>([] { QelStringToLong(u"2147483648"); });
  EXPECT_EQ(range.GetErrorId(), 17);
  EXPECT_EQ(range.GetErrorArg(),
            u"Qel::QelStringToLong(@0:'2147483648'): stol argument out of range");
  EXPECT_EQ(Testing::Caught<BaseException>([] {
              QelStringToLongLong(u"9223372036854775808");
            }).GetErrorArg(),
            u"Qel::QelStringToLongLong(@0:'9223372036854775808'): stoll argument out of range");
}

TEST(StringConversionNumbers, NonThrowingForms) {
  EXPECT_EQ(QelStringToIntegerWithDefault(u"x", 5), 5);
  EXPECT_EQ(QelStringToLongWithDefault(u"99999999999", 6), 6);
  EXPECT_EQ(QelStringToLongLongWithDefault(u"42", 7), 42);
  int value = 3;
  EXPECT_FALSE(QelStringToInteger(u"x", value));
  EXPECT_EQ(value, -1);
  EXPECT_TRUE(QelStringToInteger(u"0", value));
  EXPECT_EQ(value, 0);
  std::int32_t longValue = 3;
  EXPECT_TRUE(QelStringToLong(u"-12", longValue));
  EXPECT_EQ(longValue, -12);
  std::int64_t longLong = 3;
  EXPECT_FALSE(QelStringToLongLong(u"-", longLong));
  EXPECT_EQ(longLong, -1);

  EXPECT_EQ(IntegerToQelString(-2147483647 - 1), u"-2147483648");
  EXPECT_EQ(LongToQelString(1234567), u"1234567");
  std::u16string digits =
      u"a1b22\0"
      u"333"s;
  EXPECT_EQ(GetNumCount(digits), 3);
}

TEST(StringConversionNumbers, IsNumberGroupRules) {
  const struct {
    const char16_t* text;
    bool expected;
  } cases[] = {
      {u"1,234,567", true},
      {u"1.234,56", true},
      {u"1,2,3", false},
      {u"1,234,56,7", false},
      {u"1,234.5", true},
      {u".5.3", true},
      {u"1.234.567,890,123", false},
      {u"+-5", true},
      {u"5-", false},
      {u"1 000", true},
      {u"12a", false},
      {u"", false},
      {u"1\u2009000_000'5", true},
      {u"1,23", true},
      {u"1,2345", true},
      {u"12,34.56", true},
      {u"12,345.67", true},
      {u"1,23,456,7", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsNumber(c.text), c.expected)
        << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
  EXPECT_FALSE(IsNumber(u"1\0"s)) << "an embedded NUL is no number character";
  EXPECT_TRUE(IsNumeric(u'7'));
  EXPECT_FALSE(IsNumeric(u'\u0663'));
}

TEST(StringConversionTexts, ReplaceAndSplitters) {
  EXPECT_EQ(Replace(u"aaa", u"aa", u"b"), u"ba");
  EXPECT_EQ(Replace(u"abc", u"x", u"y"), u"abc");
  EXPECT_EQ(Replace(u"abab", u"ab", u"abab"), u"abababab");
  EXPECT_EQ(Replace(u"abc", u"", u"y"), u"abc");
  EXPECT_EQ(Replace(u"a.b\0.c"s, u".", u"-"), u"a-b") << "the search ends at an embedded NUL";

  using Fields = std::vector<std::u16string>;
  EXPECT_EQ(Split(u"a,,b", u','), (Fields{u"a", u"", u"b"}));
  EXPECT_EQ(Split(u"a,", u','), (Fields{u"a"}));
  EXPECT_EQ(Split(u",a", u','), (Fields{u"", u"a"}));
  EXPECT_EQ(Split(u"", u','), Fields{});

  std::u16string left = u"L", right = u"R";
  EXPECT_FALSE(Split(u"abc", u"::", left, right));
  EXPECT_EQ(left + right, u"LR");
  EXPECT_TRUE(Split(u"a::b::c", u"::", left, right));
  EXPECT_EQ(left, u"a");
  EXPECT_EQ(right, u"b::c");

  EXPECT_EQ(QelSplit(u",,a,,b,", u","), (Fields{u"a", u"b"}));
  EXPECT_EQ(QelSplit(u"a b;c", u" ;"), (Fields{u"a", u"b", u"c"}));
  EXPECT_EQ(QelSplit(u"abc", u""), (Fields{u"abc"}));
  EXPECT_EQ(QelSplit(u"", u""), Fields{});
  EXPECT_EQ(QelSplit(u",,,", u","), Fields{});

  std::unique_ptr<Fields> lines(SplitByLineBreaks(u"a\r\nb\n"));
  EXPECT_EQ(*lines, (Fields{u"a", u"b"}));
  lines.reset(SplitByLineBreaks(u"x\r\r\n\ny"));
  EXPECT_EQ(*lines, (Fields{u"x\r", u"", u"y"}));

  std::u16string first = u"old", rest = u"old";
  SplitLocatorName(u"a.b.c", first, rest);
  EXPECT_EQ(first + u"|" + rest, u"a|b.c");
  SplitLocatorName(u".x", first, rest);
  EXPECT_EQ(first + u"|" + rest, u".x|");
  SplitLocatorName(u"plain", first, rest);
  EXPECT_EQ(first + u"|" + rest, u"plain|");

  EXPECT_EQ(DeleteStr(u"a-b_c-d", u"-_"), u"abcd");
  EXPECT_EQ(DeleteStr(u"ab\0cd"s, u"b"), u"a");
}

TEST(StringConversionCase, SimpleCaseMapping) {
  EXPECT_EQ(QelStrToLower(u"ÄÖÜ ДОМ ΣΑΒ ABC İ"), u"äöü дом σαβ abc i");
  EXPECT_EQ(QelStrToUpper(u"äöü дом abc ß"), u"ÄÖÜ ДОМ ABC ß") << "simple mapping keeps ß";
  EXPECT_EQ(QelStrToLower(u"a\0B"s), u"a\0b"s);
  EXPECT_EQ(QelStrICmp(u"Äpfel", u"äPFEL"), 0);
  EXPECT_LT(QelStrICmp(u"apple", u"BANANA"), 0);
  EXPECT_GT(QelStrICmp(u"b", u"A"), 0);
  EXPECT_LT(QelStrICmp(u"ab", u"ABC"), 0);
  EXPECT_EQ(QelStrICmp(nullptr, u""), 0);
  EXPECT_EQ(QelToLower(u'Ж'), u'ж');
  EXPECT_EQ(QelToUpper(u'ж'), u'Ж');
  EXPECT_EQ(QelToUpper(u'\xD801'), u'\xD801');
  EXPECT_EQ(QelToLower('A'), 'a');
  EXPECT_EQ(QelToLower('\xC4'), '\xE4');
  EXPECT_EQ(QelToLower('\x8A'), '\x9A');
  EXPECT_EQ(QelToLower('\xDF'), '\xDF');
}

TEST(StringConversionCase, InPlaceBuffers) {
  char16_t buffer[] = u"MiXeD";
  EXPECT_EQ(QelChrToLower(buffer, 6), 0);
  EXPECT_EQ(std::u16string(buffer), u"mixed");
  EXPECT_EQ(QelChrToUpper(buffer, 6), 0);
  EXPECT_EQ(std::u16string(buffer), u"MIXED");
  EXPECT_EQ(QelChrToLower(buffer, 5), EINVAL) << "not terminated within the size";
  EXPECT_EQ(buffer[0], u'\0');
  EXPECT_EQ(QelChrToUpper(nullptr, 4), EINVAL);
  EXPECT_EQ(QelChrToUpper(buffer, 0), EINVAL);
}

TEST(StringConversionTiming, TimeDifferenceTexts) {
  // The C library's structure, named as a program with `using namespace Qel` names it.
  auto at = [](std::int64_t seconds, std::uint16_t ms) {
    timeb t{};
    t.time = seconds;
    t.millitm = ms;
    return t;
  };
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(100, 5), at(100, 5)), u"0s");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(100, 900), at(101, 100)), u"200ms");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(101, 7), at(100, 7)), u"-1s");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(101, 100), at(100, 600)), u"500ms");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(100, 750), at(100, 500)), u"-250ms");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(0, 0), at(100, 300)), u"300ms");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(1000, 0), at(1005, 250)), u"5.250s");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(1000, 0), at(1000 + 3723, 4)), u"01:02:03.004");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(1000, 0), at(1000 + 90061, 0)),
            u"1 day(s) 01:01:01");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(1000, 0), at(1000 + 125, 0)), u"02:05");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(1000 + 125, 30), at(1000, 0)), u"-02:05.030");
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(at(1, 0), at(1 + 9999999999LL * 86400, 999)),
            u"9999999999 day(s) 00:00:00.999");
}

TEST(StringConversion, ResultsDoNotDependOnTheHostLocale) {
  const char* chosen = nullptr;
  for (const char* name : {"de_DE.UTF-8", "tr_TR.UTF-8", "C.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no locale other than C installed";
  EXPECT_EQ(QelStrToLower(u"INFO İ"), u"info i") << chosen;
  EXPECT_EQ(QelStrToUpper(u"info"), u"INFO") << chosen;
  EXPECT_EQ(QelStringToInteger(u"\u2009-12,5"), -12) << chosen;
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring({1000, 0, 0, 0}, {1005, 250, 0, 0}), u"5.250s");
  EXPECT_EQ(ConvertA2W("\xE4"), u"\u00E4") << chosen;
  std::setlocale(LC_ALL, "C");
}

TEST(StringConversionConcurrency, CodePageConvertersPerThread) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 500; ++i) {
        if (ConvertA2W("\x80\xE4") != u"\u20AC\u00E4") ++failures[t];
        if (ConvertToWideChar(1251, 0, "\xC6") != u"\u0416") ++failures[t];
        if (ConvertW2A(u"\u00FC") != "\xFC") ++failures[t];
        if (QelToLower('\xC4') != '\xE4') ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace Qel
