#include "qel/text/Regex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "qel/core/Exceptions.h"
#include "text/RegexCache.h"

#if defined(__SANITIZE_THREAD__)
#define QEL_TEXT_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QEL_TEXT_TSAN 1
#endif
#endif
#ifdef QEL_TEXT_TSAN
// Boost.Regex hands the matcher's memory blocks from thread to thread through a lock-free cache
// inside the Boost library, which is not instrumented, so ThreadSanitizer cannot see that
// hand-over and reports the reuse of a block as a race.
extern "C" const char* __tsan_default_suppressions() { return "race:boost::re_detail_\n"; }
#endif

namespace Qel {
namespace {

struct Found {
  std::int32_t position;
  std::int32_t length;
  bool operator==(const Found&) const = default;
};

// The matched nodes of a chain; fails unless the chain ends with one terminating node.
std::vector<Found> Matches(RegexMatch* node) {
  std::vector<Found> found;
  for (; node != nullptr && node->GetMatched(); node = node->GetNext()) {
    found.push_back({node->GetPosition(), node->GetLength()});
  }
  EXPECT_NE(node, nullptr) << "chain without terminating node";
  if (node != nullptr) {
    EXPECT_EQ(node->GetPosition(), -1);
    EXPECT_EQ(node->GetLength(), -1);
    EXPECT_EQ(node->GetNext(), nullptr);
  }
  return found;
}

std::u16string Words(int count) {
  std::u16string text;
  for (int i = 0; i < count; ++i) text += u"word ";
  return text;
}

TEST(RegexTest, MatchesLeftToRight) {
  Regex re(u"a", false);
  EXPECT_EQ(Matches(re.Match(u"banana")), (std::vector<Found>{{1, 1}, {3, 1}, {5, 1}}));
  EXPECT_EQ(Matches(re.Match(u"xyz")), std::vector<Found>{});
  EXPECT_EQ(Matches(re.Match(u"")), std::vector<Found>{});
  Regex word(u"\\w+", false);
  EXPECT_EQ(Matches(word.Match(u"ab  \u00E4\u4E00 c")),
            (std::vector<Found>{{0, 2}, {4, 2}, {7, 1}}));
  // Positions count UTF-16 units: a supplementary character takes two.
  Regex dot(u"b.", false);
  EXPECT_EQ(Matches(dot.Match(u"\U0001F600b\U0001F600b")), (std::vector<Found>{{2, 3}}));
}

TEST(RegexTest, EmptyMatchesAndStartPositions) {
  // An empty match is refused only at the start of each search.
  Regex optional(u"x*", false);
  EXPECT_EQ(Matches(optional.Match(u"axxb")), (std::vector<Found>{{1, 2}, {4, 0}}));
  EXPECT_EQ(Matches(optional.Match(u"ab")), (std::vector<Found>{{1, 0}, {2, 0}}));
  // Every search starts afresh, so "^" matches where the previous match ended.
  Regex anchored(u"^a", false);
  EXPECT_EQ(Matches(anchored.Match(u"aab")), (std::vector<Found>{{0, 1}, {1, 1}}));
}

TEST(RegexTest, IgnoreCaseAndSubMatches) {
  Regex re(u"ABC", true);
  EXPECT_EQ(Matches(re.Match(u"xabcABC")), (std::vector<Found>{{1, 3}, {4, 3}}));
  Regex exact(u"ABC", false);
  EXPECT_EQ(Matches(exact.Match(u"xabc")), std::vector<Found>{});

  Regex groups(u"(a)(b)?", false);
  EXPECT_TRUE(groups.Match(u"a")->GetSubMatches().empty());
  groups.SetSaveSubMatches(true);
  RegexMatch* first = groups.Match(u"a ab");
  EXPECT_EQ(first->GetSubMatches(), (std::vector<std::u16string>{u"a", u"a", u""}));
  EXPECT_EQ(first->GetNext()->GetSubMatches(), (std::vector<std::u16string>{u"ab", u"a", u"b"}));
  EXPECT_TRUE(first->GetNext()->GetNext()->GetSubMatches().empty());
}

TEST(RegexTest, CopiesAndCache) {
  const std::uint64_t before = Detail::RegexCompileCount();
  Regex a(u"cache-(\\d+)-once", false);
  Regex b(u"cache-(\\d+)-once", false);
  EXPECT_EQ(Detail::RegexCompileCount(), before + 1);
  Regex c(u"cache-(\\d+)-once", true);
  EXPECT_EQ(Detail::RegexCompileCount(), before + 2);
  a.Match(u"cache-1-once");
  b.Match(u"CACHE-2-ONCE");
  EXPECT_EQ(Detail::RegexCompileCount(), before + 2);

  a.SetSaveSubMatches(true);
  Regex copy(a);
  EXPECT_EQ(copy.Match(u"cache-42-once")->GetSubMatches().at(1), u"42");
  c = a;  // drops c's results, takes a's settings
  EXPECT_EQ(Matches(c.Match(u"CACHE-1-ONCE")), std::vector<Found>{});
}

TEST(RegexTest, SyntaxErrorsAndInvalidText) {
  EXPECT_THROW(Regex(u"(a", false), boost::regex_error);
  EXPECT_THROW(Regex(u"[z-a]", false), std::runtime_error);
  for (const char16_t* incomplete : {u"a\\", u"[a\\", u"\\Q[\\", u"x\\\\\\"}) {
    EXPECT_THROW(Regex(incomplete, false), boost::regex_error);
  }
  EXPECT_NO_THROW(Regex(u"[a\\\\]\\\\", false));
  // Unterminated sets ending in a range.
  EXPECT_THROW(Regex(u"[a-z", false), boost::regex_error);
  EXPECT_THROW(Regex(u"x[( -\x14", false), boost::regex_error);
  try {
    Regex bad(std::u16string(u"a") + char16_t{0xD800}, false);
    FAIL() << "an unpaired surrogate in a pattern must throw";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 17);
  }
  Regex re(u"b", false);
  std::u16string text = u"b b ";
  text += char16_t{0xDC00};
  text += u" b";
  try {
    re.Match(text);
    FAIL() << "an unpaired surrogate in a text must throw";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 17);
  }
}

// Runaway matches end with the library's exception, quickly, and the results found before
// the failing search stay with the Regex (they are released by its destructor).
TEST(RegexTest, RunawayMatchesThrow) {
  struct Case {
    std::u16string pattern;
    std::u16string text;
  };
  const Case cases[] = {
      {u"(a+)+b", std::u16string(30, u'a')},
      {u"(.+)+xyz", std::u16string(1024, u' ')},
      {u"(\\w+\\s?)+$", Words(5000) + u"!"},
  };
  for (const Case& c : cases) {
    Regex re(c.pattern, false);
    const auto started = std::chrono::steady_clock::now();
    try {
      re.Match(c.text);
      ADD_FAILURE() << "no error for " << c.pattern.size();
    } catch (const BaseException& e) {
      EXPECT_EQ(e.GetErrorId(), 17);
      EXPECT_FALSE(e.GetErrorDescription().empty());
    }
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("runaway pattern of %zu units failed after %.3f s\n", c.pattern.size(), seconds);
  }
  Regex partial(u"z|(a+)+b", false);
  EXPECT_THROW(partial.Match(u"zz" + std::u16string(30, u'a')), BaseException);
  // The same object matches again afterwards.
  EXPECT_EQ(Matches(partial.Match(u"zab")), (std::vector<Found>{{0, 1}, {1, 2}}));
}

// Nodes and their sub-match texts are reused from one Match to the next and handed from a
// destroyed Regex to a new one: nothing of an earlier chain may show through.
TEST(RegexTest, RepeatedMatchesShowNothingOfEarlierChains) {
  struct Step {
    std::u16string text;
    bool save;
    std::size_t count;  // matches expected
  };
  // The long texts need several blocks of nodes; the short ones reuse the first block.
  const std::u16string longText = Words(200'000);
  const Step steps[] = {
      {longText, true, 200'000},  {u"wordy w", true, 1},       {u"", true, 0},
      {longText, false, 200'000}, {u"woXd word wod", true, 3}, {u"wo", false, 1},
  };
  for (int round = 0; round < 2; ++round) {
    Regex re(u"(w)(o)(r)?(d)?\\w*", false);
    for (const Step& step : steps) {
      re.SetSaveSubMatches(step.save);
      RegexMatch* node = re.Match(step.text);
      std::size_t count = 0;
      std::size_t at = 0;
      for (; node->GetMatched(); node = node->GetNext(), ++count) {
        const std::size_t found = step.text.find(u"wo", at);
        ASSERT_EQ(node->GetPosition(), static_cast<std::int32_t>(found)) << count;
        const std::size_t stop = std::min(step.text.find(u' ', found), step.text.size());
        ASSERT_EQ(node->GetLength(), static_cast<std::int32_t>(stop - found)) << count;
        at = stop;
        if (!step.save) {
          ASSERT_TRUE(node->GetSubMatches().empty()) << count;
          continue;
        }
        const std::u16string word = step.text.substr(found, stop - found);
        std::size_t next = 2;
        const bool r = word.size() > next && word[next] == u'r';
        if (r) ++next;
        const bool d = word.size() > next && word[next] == u'd';
        ASSERT_EQ(node->GetSubMatches(),
                  (std::vector<std::u16string>{word, u"w", u"o", r ? u"r" : u"", d ? u"d" : u""}))
            << count;
      }
      EXPECT_EQ(count, step.count);
      EXPECT_EQ(node->GetPosition(), -1);
      EXPECT_EQ(node->GetLength(), -1);
      EXPECT_TRUE(node->GetSubMatches().empty());
      EXPECT_EQ(node->GetNext(), nullptr);
    }
  }
  // Two live objects keep separate chains.
  Regex a(u"a+", false);
  Regex b(u"b", false);
  RegexMatch* fromA = a.Match(u"aa b aaa");
  EXPECT_EQ(Matches(b.Match(u"abba")), (std::vector<Found>{{1, 1}, {2, 1}}));
  EXPECT_EQ(Matches(fromA), (std::vector<Found>{{0, 2}, {5, 3}}));
  b = a;  // releases b's chain; a's stays
  EXPECT_EQ(Matches(fromA), (std::vector<Found>{{0, 2}, {5, 3}}));
  EXPECT_EQ(Matches(b.Match(u"a")), (std::vector<Found>{{0, 1}}));
}

TEST(RegexTest, LongChainsAreReleasedWithoutRecursion) {
  Regex re(u"a", false);
  EXPECT_EQ(Matches(re.Match(std::u16string(1'000'000, u'a'))).size(), 1'000'000u);
}

TEST(RegexConcurrencyTest, CacheServesManyThreads) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 200; ++i) {
        const std::u16string pattern =
            u"t" + std::u16string(1, char16_t(u'0' + (i + t) % 10)) + u"-(\\d+)";
        Regex re(pattern, i % 2 == 0);
        re.SetSaveSubMatches(true);
        RegexMatch* m = re.Match(u"x " + pattern.substr(0, 2) + u"-123 y");
        if (!m->GetMatched() || m->GetSubMatches().at(1) != u"123") ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace Qel
