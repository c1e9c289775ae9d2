// Tests of the pointer-array sorts and binary searches.
#include "qel/util/Sorting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace Qel {
namespace {

struct Counter {
  long calls = 0;
  bool descending = false;
};

// Orders ints; the context counts the calls and may reverse the order.
int CompareInts(const void* a, const void* b, const void* context) {
  auto* counter = static_cast<Counter*>(const_cast<void*>(context));
  ++counter->calls;
  const int x = *static_cast<const int*>(a);
  const int y = *static_cast<const int*>(b);
  const int order = (x > y) - (x < y);
  return counter->descending ? -order : order;
}

using SortFunction = void (*)(const void**, int, const void*, SortCompare);

std::vector<const void*> PointersTo(const std::vector<int>& keys) {
  std::vector<const void*> pointers;
  pointers.reserve(keys.size());
  for (const int& k : keys) pointers.push_back(&k);
  return pointers;
}

std::vector<int> KeysOf(const std::vector<const void*>& pointers) {
  std::vector<int> keys;
  keys.reserve(pointers.size());
  for (const void* p : pointers) keys.push_back(*static_cast<const int*>(p));
  return keys;
}

std::vector<int> Pattern(const std::string& name, int n, std::mt19937& rng) {
  std::vector<int> keys(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    int& k = keys[static_cast<std::size_t>(i)];
    if (name == "random") k = static_cast<int>(rng() % 1'000'000'007u);
    if (name == "sorted") k = i;
    if (name == "reversed") k = n - i;
    if (name == "organ") k = std::min(i, n - 1 - i);
    if (name == "equal") k = 42;
    if (name == "few") k = static_cast<int>(rng() % 10);
    if (name == "sawtooth") k = i % 97;
  }
  return keys;
}

const char* const kPatterns[] = {"random", "sorted", "reversed", "organ",
                                 "equal",  "few",    "sawtooth"};

void ExpectSorts(SortFunction sort, const char* sortName, int largest) {
  std::mt19937 rng(7);
  for (const char* pattern : kPatterns) {
    for (int n : {0, 1, 2, 3, 15, 16, 17, 18, 33, 40, 41, 100, 1000, 65537}) {
      if (n > largest) continue;
      const std::vector<int> keys = Pattern(pattern, n, rng);
      std::vector<const void*> a = PointersTo(keys);
      Counter counter;
      sort(a.data(), n, &counter, CompareInts);
      std::vector<int> expected = keys;
      std::sort(expected.begin(), expected.end());
      ASSERT_EQ(KeysOf(a), expected) << sortName << " " << pattern << " n=" << n;
      // Every record is still pointed to exactly once.
      std::vector<const void*> seen = a;
      std::sort(seen.begin(), seen.end());
      ASSERT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()) << sortName;
    }
  }
}

TEST(SortingTest, BothQuicksortsSortEveryPattern) {
  ExpectSorts(q3sort, "q3sort", 65537);
  ExpectSorts(q3sortb, "q3sortb", 65537);
  ExpectSorts(insort, "insort", 1000);  // quadratic: small arrays only
}

TEST(SortingTest, ContextReachesTheComparison) {
  std::vector<int> keys{5, 1, 4, 2, 3, 9, 0, 8, 7, 6, 11, 15, 13, 12, 10, 14, 19, 17, 16, 18};
  for (SortFunction sort : {q3sort, q3sortb}) {
    std::vector<const void*> a = PointersTo(keys);
    Counter descending;
    descending.descending = true;
    sort(a.data(), static_cast<int>(a.size()), &descending, CompareInts);
    std::vector<int> expected = keys;
    std::sort(expected.begin(), expected.end(), std::greater<>());
    EXPECT_EQ(KeysOf(a), expected);
    EXPECT_GT(descending.calls, 0);
  }
}

TEST(SortingTest, PartialQuicksortsLeaveOnlyShortStretches) {
  std::mt19937 rng(11);
  const int n = 5000;
  std::vector<int> keys(n);
  for (int i = 0; i < n; ++i) keys[static_cast<std::size_t>(i)] = i;
  std::shuffle(keys.begin(), keys.end(), rng);
  for (auto partial : {Q3sort, Q3sortb}) {
    std::vector<const void*> a = PointersTo(keys);
    Counter counter;
    partial(a.data(), 0, n - 1, &counter, CompareInts);
    // Keys are 0..n-1, so a key is its own final index.
    int farthest = 0;
    for (int i = 0; i < n; ++i) {
      farthest = std::max(farthest,
                          std::abs(*static_cast<const int*>(a[static_cast<std::size_t>(i)]) - i));
    }
    EXPECT_LE(farthest, 15) << "an element was left outside its final stretch";
    EXPECT_GT(farthest, 0) << "stretches of up to 16 are left to the insertion sort";

    // 17 elements or fewer (hi - lo < 16) are not touched at all.
    std::vector<int> small{9, 3, 7, 1, 0, 15, 2, 8, 4, 6, 5, 14, 13, 12, 11, 10};
    std::vector<const void*> b = PointersTo(small);
    const std::vector<const void*> before = b;
    partial(b.data(), 0, static_cast<int>(b.size()) - 1, &counter, CompareInts);
    EXPECT_EQ(b, before);
  }
}

// The comparisons needed stay within a small multiple of n log2 n on inputs that are the worst
// case of a plain last-element or middle-element pivot.
TEST(SortingTest, OrderedAndAdversarialInputsStayNLogN) {
  const int n = 200'000;
  std::mt19937 rng(3);
  const double bound = 3.0 * n * std::log2(static_cast<double>(n));
  for (const char* pattern : {"sorted", "reversed", "organ", "equal", "few", "sawtooth"}) {
    const std::vector<int> keys = Pattern(pattern, n, rng);
    for (SortFunction sort : {q3sort, q3sortb}) {
      std::vector<const void*> a = PointersTo(keys);
      Counter counter;
      sort(a.data(), n, &counter, CompareInts);
      EXPECT_TRUE(std::is_sorted(a.begin(), a.end(), [](const void* x, const void* y) {
        return *static_cast<const int*>(x) < *static_cast<const int*>(y);
      })) << pattern;
      EXPECT_LT(static_cast<double>(counter.calls), bound) << pattern;
    }
  }
}

// A comparison that is not an order must not make the sorts leave the array.
TEST(SortingTest, InconsistentComparisonStaysInBounds) {
  std::vector<int> keys(2000);
  std::mt19937 rng(5);
  for (int& k : keys) k = static_cast<int>(rng() % 100);
  const SortCompare chaotic = [](const void* a, const void* b, const void*) {
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    return static_cast<int>((x * 2654435761u ^ y * 40503u) % 3) - 1;
  };
  for (SortFunction sort : {q3sort, q3sortb}) {
    std::vector<const void*> a = PointersTo(keys);
    sort(a.data(), static_cast<int>(a.size()), nullptr, chaotic);
    std::vector<const void*> sortedOut = a;
    std::vector<const void*> sortedIn = PointersTo(keys);
    std::sort(sortedOut.begin(), sortedOut.end());
    std::sort(sortedIn.begin(), sortedIn.end());
    EXPECT_EQ(sortedOut, sortedIn) << "the array must stay a permutation";
  }
}

TEST(SortingTest, BinarySearchCodes) {
  //                      0  1  2  3  4  5  6  7
  const std::vector<int> keys{1, 3, 3, 3, 5, 7, 7, 9};
  const std::vector<const void*> a = PointersTo(keys);
  const void** p = const_cast<const void**>(a.data());
  Counter c;
  auto L = [&](int key, int lo = 0, int hi = 7) {
    return binsearchL(p, lo, hi, &key, &c, CompareInts);
  };
  auto U = [&](int key, int lo = 0, int hi = 7) {
    return binsearchU(p, lo, hi, &key, &c, CompareInts);
  };

  // Found: L names the first equal element, U the last. Below or above the range: -3 and -4.
  // Between elements: -5 minus the next larger for L, minus the next smaller for U. An empty or
  // negative range: -2.
  const struct {
    int key, lo, hi, l, u;
  } cases[] = {
      {3, 0, 7, 1, 3},           {7, 0, 7, 5, 6},           {1, 0, 7, 0, 0},
      {9, 0, 7, 7, 7},           {5, 0, 7, 4, 4},           {0, 0, 7, -3, -3},
      {10, 0, 7, -4, -4},        {4, 0, 7, -5 - 4, -5 - 3}, {2, 0, 7, -5 - 1, -5 - 0},
      {8, 0, 7, -5 - 7, -5 - 6}, {3, 4, 3, -2, -2},         {3, -1, 3, -2, -2},
      {3, 2, 6, 2, 3},           {7, 5, 5, 5, 5},           {6, 5, 5, -3, -3},
      {8, 5, 5, -4, -4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(L(c.key, c.lo, c.hi), c.l) << "L key " << c.key << " in " << c.lo << ".." << c.hi;
    EXPECT_EQ(U(c.key, c.lo, c.hi), c.u) << "U key " << c.key << " in " << c.lo << ".." << c.hi;
  }
  EXPECT_EQ(binsearchL(nullptr, 0, 3, &keys[0], &c, CompareInts), -2);

  // A long run of equal keys.
  std::vector<int> run(1000, 4);
  run.front() = 1;
  run.back() = 9;
  const std::vector<const void*> r = PointersTo(run);
  const void** rp = const_cast<const void**>(r.data());
  const int four = 4;
  EXPECT_EQ(binsearchL(rp, 0, 999, &four, &c, CompareInts), 1);
  EXPECT_EQ(binsearchU(rp, 0, 999, &four, &c, CompareInts), 998);
}

}  // namespace
}  // namespace Qel
