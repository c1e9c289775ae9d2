#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "qel/core/Exceptions.h"
#include "qel/util/Guid.h"
#include "qel/util/IdResolver.h"
#include "qel/util/StringHash.h"
#include "qel/util/UniqueIdShared.h"
#include "qel/util/Uri.h"
#include "util/StringHashTable.h"

namespace Qel {
namespace {

TEST(Guid, TextFormsAndRoundTrip) {
  EXPECT_EQ(QelNullGuid(), u"00000000-0000-0000-0000-000000000000");
  const std::u16string first = QelNewGuid();
  ASSERT_EQ(first.size(), 36u);
  for (std::size_t i : {8, 13, 18, 23}) EXPECT_EQ(first[i], u'-');
  EXPECT_EQ(first[14], u'1') << "time-based UUIDs are version 1";
  EXPECT_NE(QelNewGuid(), first);

  _QELGUID guid;
  QelUuidFromString(u"0123ABCD-4567-89ab-cdef-0011223344ff", &guid);
  EXPECT_EQ(guid.Data1, 0x0123ABCDu);
  EXPECT_EQ(guid.Data2, 0x4567u);
  EXPECT_EQ(guid.Data3, 0x89ABu);
  EXPECT_EQ(guid.Data4[0], 0xCD);
  EXPECT_EQ(guid.Data4[7], 0xFF);
  EXPECT_EQ(QelUuidToString(&guid), u"0123abcd-4567-89ab-cdef-0011223344ff");
}

TEST(Guid, EveryWrongShapeIsAnInvalidArgument) {
  const std::u16string bad[] = {u"{0123abcd-4567-89ab-cdef-0011223344ff}",
                                u"0123abcd-4567-89ab-cdef-0011223344f",
                                u"0123abcd-4567-89ab-cdef-0011223344fff",
                                u"0123abcg-4567-89ab-cdef-0011223344ff",
                                u"0123abcd_4567-89ab-cdef-0011223344ff",
                                u"0123abcd4567-89ab-cdef-0011223344ff-",
                                u"0123abcd-4567-89ab-cdef-0011223344f\u0660",
                                u"x",
                                std::u16string(u"0123abcd-4567-89ab-cdef-0011223344f") + u'\0'};
  _QELGUID guid;
  for (const std::u16string& text : bad) {
    try {
      QelUuidFromString(text, &guid);
      ADD_FAILURE() << "accepted a wrong UUID of length " << text.size();
    } catch (const BaseException& e) {
      EXPECT_EQ(e.GetErrorId(), 1);
      EXPECT_EQ(e.GetErrorArg(), u"Invalid UUID passed to QelUuidFromString");
    }
  }
  EXPECT_THROW(QelUuidFromString(u"", &guid), std::out_of_range);
}

// Lookups through copies of the identifier, as the resolver takes it by reference.
std::u16string Get(IdResolver* resolver, std::u16string id) { return resolver->Get(id); }
std::u16string Reverse(IdResolver* resolver, std::u16string id) { return resolver->GetReverse(id); }

TEST(IdResolver, ChainsReverseChainsAndTextForm) {
  IdResolver* resolver = IdResolver::Create();
  resolver->Set(u"1", u"2");
  resolver->Set(u"2", u"5");
  resolver->Set(u"a", u"a");
  EXPECT_EQ(Get(resolver, u"1"), u"5");
  EXPECT_EQ(Get(resolver, u"7"), u"7");
  EXPECT_EQ(Reverse(resolver, u"5"), u"1");
  EXPECT_EQ(Get(resolver, u"a"), u"a") << "a self-mapping is never stored";
  EXPECT_EQ(resolver->ToString(), u"1\n2\n2\n5\n");

  std::int32_t three = 3, four = 4, minus = -12;
  resolver->Set(three, four);
  EXPECT_EQ(resolver->Get(three), u"4");
  resolver->Set(minus, u"x");
  EXPECT_EQ(resolver->Get(minus), u"x");
  EXPECT_EQ(IdResolver::ToString(minus), u"-12");

  // Overwriting moves the reverse link too.
  resolver->Set(u"2", u"6");
  EXPECT_EQ(Reverse(resolver, u"5"), u"5");
  EXPECT_EQ(Reverse(resolver, u"6"), u"1");

  const std::u16string text = resolver->ToString();
  IdResolver* copy = IdResolver::Create();
  copy->FromString(text);
  EXPECT_EQ(copy->ToString(), text);
  copy->FromString(u"p\nq\nr");
  EXPECT_EQ(copy->ToString(), u"p\nq\nr\n\n") << "a missing last replacement is empty";
  copy->FromString(u"");
  EXPECT_EQ(copy->ToString(), u"");
  copy->FromString(u"k\nv1\nk\nv2\n");
  EXPECT_EQ(Get(copy, u"k"), u"v2");
  resolver->Clear();
  EXPECT_EQ(resolver->ToString(), u"");
  copy->Release();
  resolver->Release();
}

TEST(IdResolver, LoopingAndLongChainsEnd) {
  IdResolver* resolver = IdResolver::Create();
  resolver->Set(u"1", u"2");
  resolver->Set(u"2", u"3");
  resolver->Set(u"3", u"1");
  EXPECT_EQ(Get(resolver, u"1"), u"3");
  EXPECT_EQ(Reverse(resolver, u"1"), u"2");
  // The reverse walk takes the smallest identifier mapping to the current one.
  resolver->Clear();
  resolver->Set(u"b", u"z");
  resolver->Set(u"a", u"z");
  EXPECT_EQ(Reverse(resolver, u"z"), u"a");

  resolver->Clear();
  for (std::int32_t i = 0; i < 20000; ++i) {
    std::int32_t next = i + 1;
    resolver->Set(i, next);
  }
  std::int32_t start = 0, end = 20000;
  EXPECT_EQ(resolver->Get(start), u"20000");
  EXPECT_EQ(resolver->GetReverse(end), u"0");
  resolver->Release();
}

TEST(UniqueIdShared, CounterNeverGoesDown) {
  UniqueIdShared a;
  UniqueIdShared b(a);
  const std::int32_t start = a.GetNextId(false);
  EXPECT_EQ(a.GetNextId(false), start);
  EXPECT_EQ(a.GetNextId(true), start);
  EXPECT_EQ(b.GetNextId(false), start + 1) << "one counter for all instances";
  b.SetNextId(-5);
  EXPECT_EQ(a.GetNextId(false), start + 1);
  b.SetNextId(start + 100);
  EXPECT_EQ(a.GetNextId(false), start + 100);
}

TEST(UniqueIdSharedConcurrency, IdsDrawnConcurrentlyAreUnique) {
  UniqueIdShared ids;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 20000;
  std::vector<std::vector<std::int32_t>> drawn(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      UniqueIdShared local;
      for (int i = 0; i < kPerThread; ++i) drawn[t].push_back(local.GetNextId(true));
      local.SetNextId(0);
    });
  }
  for (std::thread& t : threads) t.join();
  std::set<std::int32_t> all;
  for (const auto& v : drawn) all.insert(v.begin(), v.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kPerThread));
}

TEST(StringHash, KnownValuesAndBothForms) {
  EXPECT_EQ(stringhash::GetStringHash("abc"), 0xAC62199Fu);
  EXPECT_EQ(stringhash::GetStringHashW(u"abc"), 0xAC62199Fu);
  EXPECT_EQ(stringhash::GetStringHash(""), 0u);
  EXPECT_EQ(stringhash::GetStringHashW(u""), 0u);
  EXPECT_EQ(stringhash::GetStringHash(std::string("a")),
            0xCC657BC9u * 0 + Detail::kStringHashTable['a']);
  EXPECT_EQ(stringhash::GetStringHash(std::string(1, '\x07')), 0x70D067D1u);
  // Embedded NULs count; a wide unit is indexed by its low ten bits.
  EXPECT_EQ(stringhash::GetStringHash(std::string("\0\1", 2)), 0xCC657BC9u + 3 * 0xCE2CE6D2u);
  EXPECT_EQ(stringhash::GetStringHashW(std::u16string(1, char16_t{0x0402})),
            stringhash::GetStringHashW(std::u16string(1, char16_t{0x0002})));
  EXPECT_EQ(stringhash::GetStringHash(2, "abc"), stringhash::GetStringHash("ab"));

  // Long texts take the unrolled path; compare with the plain sum.
  std::string text;
  std::u16string wide;
  for (int i = 0; i < 1001; ++i) {
    text += static_cast<char>((i * 37) & 0xFF);
    wide += static_cast<char16_t>(i * 131);
  }
  std::uint32_t expected = 0;
  std::uint32_t expectedWide = 0;
  for (std::uint32_t i = 0; i < text.size(); ++i) {
    expected += (2 * i + 1) * Detail::kStringHashTable[static_cast<unsigned char>(text[i])];
    expectedWide += (2 * i + 1) * Detail::kStringHashTable[wide[i] & 0x3FF];
  }
  EXPECT_EQ(stringhash::GetStringHash(text), expected);
  EXPECT_EQ(stringhash::GetStringHashW(wide), expectedWide);
}

// The table must stay exactly what its documented rule gives: stored hashes depend on it.
TEST(StringHash, TableFollowsItsRule) {
  const std::uint32_t fixed[8] = {0xCC657BC9, 0xCE2CE6D2, 0xAB2704B1, 0x97F2C0B8,
                                  0x77F5A891, 0x93CE67AB, 0x3825A755, 0x70D067D1};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Detail::kStringHashTable[i], fixed[i]);
  for (std::uint64_t i = 8; i < 1024; ++i) {
    std::uint64_t z = (i + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const auto expected = static_cast<std::uint32_t>(z) + Detail::kStringHashOffset;
    ASSERT_EQ(Detail::kStringHashTable[i], expected) << "entry " << i;
  }
}

TEST(Uri, SchemeDetection) {
  for (const char16_t* file :
       {u"C:\\data\\x.xml", u"\\\\server\\share", u"c|/x", u"//host/x", u"mailto:x",
        u"/home/u/x.xml", u"relative/x", u"  C:/x", u"file:///x"}) {
    Uri uri = Uri::Parse(file);
    EXPECT_TRUE(uri.IsFile()) << "file path";
    EXPECT_EQ(uri.GetScheme(), u"file");
  }
  EXPECT_EQ(Uri::Parse(u"ftp:x").GetScheme(), u"ftp");
  EXPECT_EQ(Uri::Parse(u"http:x").GetScheme(), u"http");
  EXPECT_EQ(Uri::Parse(u"https:x").GetScheme(), u"https");
  EXPECT_EQ(Uri::Parse(u"http://h/p").GetScheme(), u"http");
  EXPECT_FALSE(Uri::Parse(u"http://h").IsFile());
  for (const char16_t* none : {u"ab", u"x", u"", u":abc", u"1:x", u"c:x"}) {
    EXPECT_EQ(Uri::Parse(none).GetScheme(), u"") << "no scheme";
  }
  EXPECT_EQ(Uri::Parse(std::u16string(70000, u'a')).GetScheme(), u"") << "too long";
  Uri copy = Uri::Parse(u"https:x");
  Uri other;
  other = copy;
  EXPECT_EQ(other.GetText(), u"https:x");
  EXPECT_EQ(Uri::GetUriSchemeHttps(), u"https");
  EXPECT_EQ(Uri::GetUriSchemeFile(), u"file");
}

}  // namespace
}  // namespace Qel
