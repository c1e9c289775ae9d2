#include "qel/text/AsciiTextFilter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "text/WordBlocks.h"
#include "text/WordBlocksTesting.h"

namespace Qel {
namespace {

struct FilterPtr {
  explicit FilterPtr(AsciiTextFilter* f) : filter(f) {}
  ~FilterPtr() { filter->Release(); }
  AsciiTextFilter* operator->() const { return filter; }
  AsciiTextFilter* filter;
};

std::vector<int> Bytes(const char* out, unsigned int n) {
  std::vector<int> bytes;
  for (unsigned int k = 0; k < n; ++k) bytes.push_back(static_cast<unsigned char>(out[k]));
  return bytes;
}

std::vector<int> FilterW(AsciiTextFilter* f, const std::u16string& text, unsigned int outSize = 0) {
  std::vector<char> out(outSize ? outSize : text.size() * 4 + 8, '\x7F');
  const unsigned int n = f->FilterTextW(text.data(), static_cast<unsigned int>(text.size()),
                                        out.data(), static_cast<unsigned int>(out.size()));
  return Bytes(out.data(), n);
}

std::vector<int> FilterA(AsciiTextFilter* f, const std::string& text) {
  std::vector<char> out(text.size() + 2);
  const unsigned int n = f->FilterTextA(text.data(), static_cast<unsigned int>(text.size()),
                                        out.data(), static_cast<unsigned int>(out.size()));
  return Bytes(out.data(), n);
}

using Testing::WideCode;

// The narrow map, written out byte by byte.
std::map<int, int> ExpectedNarrowMap(bool useDigits) {
  std::map<int, int> m;
  if (useDigits) {
    for (int d = 0; d < 10; ++d) m['0' + d] = 16 + d;
  }
  for (int i = 0; i < 26; ++i) m['A' + i] = m['a' + i] = 26 + i;
  for (int b : {0xC0, 0xC1, 0xC2, 0xC3, 0xE1, 0xE2, 0xE3}) m[b] = 26;
  for (int b : {0xC4, 0xC9, 0xCA, 0xCB, 0xCC, 0xE4, 0xE9, 0xEA, 0xEB, 0xEC}) m[b] = 30;
  m[0xC5] = 31;
  for (int b : {0xC6, 0xC7, 0xC8, 0xD2, 0xDF, 0xE7, 0xE8}) m[b] = 44;
  m[0xCD] = 39, m[0xCE] = 40, m[0xCF] = 41, m[0xD0] = 42, m[0xD1] = 43;
  for (int b : {0xD3, 0xD4, 0xD5, 0xD6, 0xF3, 0xF4, 0xF5, 0xF6}) m[b] = 40;
  m[0xD7] = 49, m[0xD8] = 50;
  for (int b : {0xD9, 0xDA, 0xDB, 0xDC, 0xF9, 0xFA, 0xFB, 0xFC}) m[b] = 46;
  m[0xDD] = 55, m[0xDE] = 56;
  return m;
}

TEST(AsciiTextFilterTest, NarrowMapAndAlphabet) {
  for (bool useDigits : {false, true}) {
    FilterPtr f(AsciiTextFilter::Create(0, useDigits));
    const auto expected = ExpectedNarrowMap(useDigits);
    for (int b = 1; b < 256; ++b) {
      const auto it = expected.find(b);
      const int code = it == expected.end() ? 0 : it->second;
      const std::vector<int> bytes = FilterA(f.filter, std::string(1, static_cast<char>(b)));
      const std::vector<int> want = code ? std::vector<int>{0, code, 0} : std::vector<int>{0};
      EXPECT_EQ(bytes, want) << "byte " << b << " digits " << useDigits;
      EXPECT_EQ(WideCode(f.filter, static_cast<char16_t>(b)), code) << "unit " << b;
    }
    EXPECT_EQ(f->GetSymbolCount(), 208u);
    EXPECT_EQ(f->GetMinSymbol(), 16u);
    const unsigned char* alnum = f->GetAlphaNum();
    const std::string special = "\xDA\xDB\xDC\xDD\xDE\xDF";
    for (int code = 0; code < 256; ++code) {
      int want = '_';
      if (code >= 16 && code <= 25) want = '0' + code - 16;
      if (code >= 26 && code <= 51) want = 'A' + code - 26;
      if (code >= 52 && code <= 57) want = static_cast<unsigned char>(special[code - 52]);
      EXPECT_EQ(alnum[code], want) << "code " << code;
    }
  }
  EXPECT_TRUE(AsciiTextFilter::m_AlphaNumWInitialized.load());
}

TEST(AsciiTextFilterTest, WideMap) {
  FilterPtr f(AsciiTextFilter::Create(0, true));
  const auto expectRun = [&](char16_t first, char16_t last, int code, int step) {
    for (char16_t u = first; u <= last; ++u, code += step) {
      EXPECT_EQ(WideCode(f.filter, u), code) << std::hex << int(u);
    }
  };
  expectRun(0x0391, 0x03A9, 26, 1);
  expectRun(0x03B1, 0x03D7, 26, 1);
  expectRun(0x03F0, 0x03F9, 65, 1);
  const int supplement[] = {31, 56, 30, 29, 31, 48, 34, 34, 55, 37, 39, 49, 36, 34, 45, 49};
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(WideCode(f.filter, char16_t(0x0400 + k)), supplement[k]);
    EXPECT_EQ(WideCode(f.filter, char16_t(0x0450 + k)), supplement[k]);
  }
  expectRun(0x0410, 0x042F, 26, 1);
  expectRun(0x0430, 0x044F, 26, 1);
  expectRun(0x0531, 0x0556, 26, 1);
  expectRun(0x0559, 0x055B, 0, 0);  // ignorable: nothing written
  expectRun(0x0561, 0x0586, 26, 1);
  expectRun(0x05D0, 0x05F2, 26, 1);
  expectRun(0x0591, 0x05AF, 61, 1);
  expectRun(0x0621, 0x0622, 27, 1);
  expectRun(0x0623, 0x0625, 26, 0);
  expectRun(0x0626, 0x063F, 32, 1);
  expectRun(0x0641, 0x064A, 59, 1);
  EXPECT_EQ(WideCode(f.filter, 0x0653), 69);
  expectRun(0x0654, 0x0655, 26, 0);
  expectRun(0x0660, 0x0669, 16, 1);
  expectRun(0x06F0, 0x06F9, 16, 1);
  expectRun(0x0671, 0x06D4, 70, 1);
  expectRun(0x0610, 0x0615, 170, 1);
  expectRun(0x06D6, 0x06EF, 176, 1);
  expectRun(0x06FA, 0x06FF, 202, 1);
  EXPECT_EQ(WideCode(f.filter, 0x06D5), 0);
  EXPECT_EQ(WideCode(f.filter, 0x0100), 0);
  for (char16_t u : {0x2E80, 0x2FDF, 0x3040, 0x4E00, 0xD7AF, 0xD800, 0xDFFF, 0xF900, 0xFAFF}) {
    EXPECT_EQ(WideCode(f.filter, u), 241) << std::hex << int(u);
  }
  for (char16_t u : {0x2E7F, 0x2FE0, 0x303F, 0xD7B0, 0xE000, 0xFB00, 0xFF21}) {
    EXPECT_EQ(WideCode(f.filter, u), 0) << std::hex << int(u);
  }
  // Marks are ignorable inside words: counted for the length, never written.
  f->SetMinWordLen(3);
  EXPECT_EQ(FilterW(f.filter, u"\u05D0\u05B0\u05D1"), (std::vector<int>{0, 26, 27, 0}));
  EXPECT_EQ(FilterW(f.filter, u"\u0627\u0640\u064B\u0628 x"), (std::vector<int>{0, 33, 34, 0}));

  f->SetUseDigits(false);
  EXPECT_EQ(WideCode(f.filter, 0x0660), 0);
  EXPECT_EQ(f->GetSymbolCount(), 208u);
}

TEST(AsciiTextFilterTest, Words) {
  FilterPtr f(AsciiTextFilter::Create(2, false));
  EXPECT_EQ(FilterW(f.filter, u""), std::vector<int>{0});
  EXPECT_EQ(FilterA(f.filter, ""), std::vector<int>{0});
  EXPECT_EQ(FilterW(f.filter, u"ab, cd"), (std::vector<int>{0, 26, 27, 0, 28, 29, 0}));
  EXPECT_EQ(FilterA(f.filter, "ab, cd"), (std::vector<int>{0, 26, 27, 0, 28, 29, 0}));
  EXPECT_EQ(FilterW(f.filter, u"a bc d"), (std::vector<int>{0, 27, 28, 0}));
  EXPECT_EQ(FilterW(f.filter, u"  AbC"), (std::vector<int>{0, 26, 27, 28, 0}));

  f->SetMinWordLen(1);
  EXPECT_EQ(FilterW(f.filter, u"a1b"), (std::vector<int>{0, 26, 0, 27, 0}));
  f->SetUseDigits(true);
  EXPECT_TRUE(f->GetUseDigits());
  EXPECT_EQ(FilterW(f.filter, u"a1b"), (std::vector<int>{0, 26, 17, 27, 0}));
  EXPECT_EQ(FilterA(f.filter, "a1b"), (std::vector<int>{0, 26, 17, 27, 0}));

  f->SetMinWordLen(0);
  EXPECT_EQ(FilterW(f.filter, u"x"), (std::vector<int>{0, 49, 0}));
}

TEST(AsciiTextFilterTest, CjkEncoding) {
  FilterPtr f(AsciiTextFilter::Create(3, false));
  EXPECT_EQ(FilterW(f.filter, u"\u4E00"), (std::vector<int>{0, 31, 27, 50, 0}));
  // Letters before an ideograph form one word with it, even when short.
  EXPECT_EQ(FilterW(f.filter, u"a\u4E00b"), (std::vector<int>{0, 26, 31, 27, 50, 0}));
  // A surrogate pair is one word of six symbols.
  const std::u16string pair{0xD840, 0xDC00};
  const int hi = 0xD840 - 0x2E80, lo = 0xDC00 - 0x2E80;
  EXPECT_EQ(FilterW(f.filter, pair),
            (std::vector<int>{0, 26 + hi / 1600, 26 + hi / 40 % 40, 26 + hi % 40, 26 + lo / 1600,
                              26 + lo / 40 % 40, 26 + lo % 40, 0}));
  // An unpaired high surrogate at the end still gets the closing 0.
  EXPECT_EQ(FilterW(f.filter, std::u16string(1, char16_t{0xD840})).back(), 0);
}

TEST(AsciiTextFilterTest, Positions) {
  FilterPtr f(AsciiTextFilter::Create(2, false));
  std::vector<std::int32_t> positions{99};
  char out[64];
  const std::u16string text = u"  ab,x \u4E00cd";
  const unsigned int n = f->FilterTextW(text.data(), unsigned(text.size()), out, 64, positions);
  EXPECT_EQ(Bytes(out, n), (std::vector<int>{0, 26, 27, 0, 31, 27, 50, 0, 28, 29, 0}));
  EXPECT_EQ(positions, (std::vector<std::int32_t>{1, 2, 3, 4, 7, 7, 7, 7, 8, 9, 10}));
  // The base forwarder gives the same result.
  std::vector<std::int32_t> again;
  EXPECT_EQ(static_cast<TextFilter*>(f.filter)->FilterText(text.data(), unsigned(text.size()), out,
                                                           64, again),
            n);
  EXPECT_EQ(again, positions);

  const std::string narrow = "ab cd.";
  const unsigned int m = f->FilterTextA(narrow.data(), unsigned(narrow.size()), out, 64, positions);
  EXPECT_EQ(Bytes(out, m), (std::vector<int>{0, 26, 27, 0, 28, 29, 0}));
  EXPECT_EQ(positions, (std::vector<std::int32_t>{0, 0, 1, 2, 3, 4, 5}));

  // The narrow filter does not consult outSize: its caller gives length + 2 bytes.
  const std::string words = "ab cd";
  for (unsigned int outSize : {0u, 1u, 3u}) {
    char room[7];
    const unsigned int w = f->FilterTextA(words.data(), 5, room, outSize);
    EXPECT_EQ(Bytes(room, w), (std::vector<int>{0, 26, 27, 0, 28, 29, 0})) << outSize;
    const unsigned int p = f->FilterTextA(words.data(), 5, room, outSize, positions);
    EXPECT_EQ(Bytes(room, p), (std::vector<int>{0, 26, 27, 0, 28, 29, 0})) << outSize;
  }
}

TEST(AsciiTextFilterTest, WideOutputStaysWithinOutSize) {
  FilterPtr f(AsciiTextFilter::Create(0, true));
  const std::u16string text = u"abc de\u4E00\u4E01fgh ijkl \u4E02 mn";
  const std::vector<int> whole = FilterW(f.filter, text, 200);
  for (unsigned int outSize = 1; outSize < 40; ++outSize) {
    std::vector<char> out(outSize + 8, '\x7F');
    std::vector<std::int32_t> positions;
    const unsigned int n =
        f->FilterTextW(text.data(), unsigned(text.size()), out.data(), outSize, positions);
    ASSERT_LE(n, outSize);
    ASSERT_EQ(positions.size(), n);
    for (unsigned int k = outSize; k < outSize + 8; ++k) ASSERT_EQ(out[k], '\x7F') << outSize;
    EXPECT_EQ(out[n - 1], 0);
    for (unsigned int k = 0; k + 1 < n; ++k) {
      // Everything but the final terminator stays below out[outSize - 1].
      ASSERT_LT(k, outSize - 1);
    }
    if (outSize >= whole.size() + 5) {
      EXPECT_EQ(Bytes(out.data(), n), whole) << outSize;
    }
  }
  char none = 'z';
  EXPECT_EQ(f->FilterTextW(text.data(), unsigned(text.size()), &none, 0), 0u);
  EXPECT_EQ(none, 'z');
}

// Random texts over a small alphabet of every kind of unit: mostly letters and single blanks,
// in some rounds anything (ignorable marks, CJK, surrogates, digits, runs of separators).
struct TextMaker {
  std::uint32_t seed = 12345;
  std::uint32_t Next() { return (seed = seed * 1103515245u + 12345u) >> 16; }
  std::u16string Make(int length, bool wild) {
    static const char16_t alphabet[] = {u'a',      u'b',      u'Z',      u'7',      u' ',   u' ',
                                        u',',      u'\u05B0', u'\u0640', u'\u4E00', 0xD840, 0xDC00,
                                        u'\u0416', u'\u0627', u'\n',     u'x'};
    std::u16string text;
    for (int k = 0; k < length; ++k) {
      const std::uint32_t r = Next();
      if (wild || r % 8 == 0) {
        text += alphabet[r % 16];
      } else {
        text += (r % 6 == 0) ? u' ' : char16_t(u'a' + r % 26);
      }
    }
    return text;
  }
};

// All 65,536 unit values in order, in words of one to seven units.
std::u16string EveryUnit() {
  std::u16string text;
  for (std::uint32_t u = 0; u < 0x10000; ++u) {
    text += static_cast<char16_t>(u);
    if (u % 7 == u % 5) text += u' ';
  }
  return text;
}

// Calls without positions take a faster path for long texts than calls with positions; both
// must give the same bytes, whatever the word length, the digits setting and the room.
TEST(AsciiTextFilterTest, LongTextsMatchThePositionsVariant) {
  TextMaker maker;
  const unsigned char minLens[] = {0, 1, 2, 3, 5, 63, 64, 65, 200};
  for (int round = 0; round < 600; ++round) {
    const int length = 1 + static_cast<int>(maker.Next() % (round % 3 == 0 ? 2000 : 300));
    const std::u16string text = maker.Make(length, round % 4 == 0);
    const unsigned char minLen = minLens[round % 9];
    FilterPtr f(AsciiTextFilter::Create(minLen, round % 5 != 0));
    const auto size = static_cast<unsigned int>(text.size());
    for (unsigned int outSize : {size * 4 + 8, size / 2 + 70, size + 300}) {
      std::vector<char> fast(outSize), careful(outSize);
      std::vector<std::int32_t> positions;
      const unsigned int n = f->FilterTextW(text.data(), size, fast.data(), outSize);
      const unsigned int m = f->FilterTextW(text.data(), size, careful.data(), outSize, positions);
      ASSERT_EQ(Bytes(fast.data(), n), Bytes(careful.data(), m)) << "round " << round;
    }
    // The narrow filter, with exactly the documented length + 2 bytes, must also hold to that
    // when told of more room than there is.
    std::string narrow;
    for (char16_t u : text) narrow += static_cast<char>(u < 0x100 ? u : 0xE9);
    std::vector<char> fast(narrow.size() + 2), careful(narrow.size() + 2);
    std::vector<std::int32_t> positions;
    const unsigned int n = f->FilterTextA(narrow.data(), size, fast.data(), 0xFFFFFFFFu);
    const unsigned int m = f->FilterTextA(narrow.data(), size, careful.data(), size + 2, positions);
    ASSERT_EQ(Bytes(fast.data(), n), Bytes(careful.data(), m)) << "narrow round " << round;
  }
  // Every unit value, so that each CJK unit's spelling is checked on the fast path as well.
  const std::u16string every = EveryUnit();
  const auto size = static_cast<unsigned int>(every.size());
  for (unsigned char minLen : {0, 2}) {
    FilterPtr f(AsciiTextFilter::Create(minLen, true));
    std::vector<char> fast(size * 4 + 8), careful(size * 4 + 8);
    std::vector<std::int32_t> positions;
    const unsigned int n = f->FilterTextW(every.data(), size, fast.data(), size * 4 + 8);
    const unsigned int m =
        f->FilterTextW(every.data(), size, careful.data(), size * 4 + 8, positions);
    ASSERT_EQ(Bytes(fast.data(), n), Bytes(careful.data(), m))
        << "every unit, minimum " << int(minLen);
  }
}

// The block engine has builds for POPCNT/BMI and for AVX-512, taken where the processor has
// them; each must give the portable build's result and stop at the same place.
TEST(AsciiTextFilterTest, WordBlockPathsAgree) {
  std::vector<Detail::WordBlockPath> paths;
  for (Detail::WordBlockPath path : {Detail::WordBlockPath::Bmi2, Detail::WordBlockPath::Avx512}) {
    if (Detail::WordBlockPathAvailable(path)) paths.push_back(path);
  }
  if (paths.empty()) GTEST_SKIP() << "this processor or build has only the portable path";
  TextMaker maker;
  FilterPtr f(AsciiTextFilter::Create(0, true));
  const std::vector<unsigned char> wideMap = Testing::BlockMap(f.filter);
  const auto run = [](const auto* text, std::uint32_t length, std::int64_t size,
                      const Detail::WordBlockTables& tables, Detail::WordBlockPath path) {
    std::vector<char> out(size);
    std::uint32_t stop = 0;
    std::int64_t count = 1;
    out[0] = 0;
    Detail::FilterWordBlocks(text, length, out.data(), size, stop, count, tables, path);
    return std::make_pair(stop, Bytes(out.data(), static_cast<unsigned int>(count)));
  };
  for (int round = 0; round < 300; ++round) {
    const std::u16string text =
        maker.Make(64 + static_cast<int>(maker.Next() % 1000), round % 3 == 0);
    const auto length = static_cast<std::uint32_t>(text.size());
    const auto minLen = static_cast<std::uint32_t>(round % 6);
    const std::int64_t size = std::int64_t{length} * (round % 2 ? 4 : 1) + 400;
    std::string narrow;
    for (char16_t u : text) narrow += static_cast<char>(u);
    // The narrow runs read the first 256 entries of the same map.
    const Detail::WordBlockTables tables{wideMap.data(), minLen, 26};
    const auto wideExpected =
        run(text.data(), length, size, tables, Detail::WordBlockPath::Portable);
    const auto narrowExpected =
        run(narrow.data(), length, length + 2, tables, Detail::WordBlockPath::Portable);
    ASSERT_GE(wideExpected.first, 1u) << round;
    for (Detail::WordBlockPath path : paths) {
      ASSERT_EQ(run(text.data(), length, size, tables, path), wideExpected) << round;
      ASSERT_EQ(run(narrow.data(), length, length + 2, tables, path), narrowExpected) << round;
    }
  }
  const std::u16string every = EveryUnit();
  const auto length = static_cast<std::uint32_t>(every.size());
  for (std::uint32_t minLen : {0u, 2u}) {
    const Detail::WordBlockTables tables{wideMap.data(), minLen, 26};
    const auto expected =
        run(every.data(), length, length * 4 + 400, tables, Detail::WordBlockPath::Portable);
    for (Detail::WordBlockPath path : paths) {
      ASSERT_EQ(run(every.data(), length, length * 4 + 400, tables, path), expected)
          << "every unit, minimum " << minLen;
    }
  }
}

TEST(AsciiTextFilterTest, CopyKeepsTablesAndSettings) {
  FilterPtr f(AsciiTextFilter::Create(4, true));
  AsciiTextFilter* copy = new AsciiTextFilter(*f.filter);
  copy->AddRefCount();
  EXPECT_EQ(copy->GetRefCount(), 1);
  EXPECT_EQ(copy->GetMinWordLen(), 4);
  EXPECT_TRUE(copy->GetUseDigits());
  EXPECT_EQ(FilterW(copy, u"ab12 \u0627\u0628"), FilterW(f.filter, u"ab12 \u0627\u0628"));
  FilterPtr other(AsciiTextFilter::Create(0, false));
  *other.filter = *copy;
  EXPECT_EQ(other->GetRefCount(), 1);
  EXPECT_EQ(other->GetMinWordLen(), 4);
  copy->Release();
}

}  // namespace
}  // namespace Qel

namespace Qel {
namespace {

// Filter calls only read the tables: one filter serves several threads at once.
TEST(AsciiTextFilterConcurrencyTest, SharedFilterOnManyThreads) {
  FilterPtr f(AsciiTextFilter::Create(2, true));
  const std::u16string text =
      u"Rechnung f\u00FCr M\u00FCller \u0421\u0447\u0435\u0442 \u4E00\u4E01 17";
  const std::vector<int> expected = FilterW(f.filter, text);
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int k = 0; k < 500; ++k) {
        if (FilterW(f.filter, text) != expected) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace Qel
