// The count tables' three forms (sorted list, hash table, array) against a plain map.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "kit/FeatureCounts.h"

namespace Qel::Detail {
namespace {

std::map<std::uint32_t, std::uint64_t> Contents(const FeatureCounts& counts, bool ordered) {
  std::map<std::uint32_t, std::uint64_t> out;
  std::int64_t previous = -1;
  bool increasing = true;
  counts.ForEach([&](std::uint32_t id, std::uint64_t sum) {
    increasing &= static_cast<std::int64_t>(id) > previous;
    previous = id;
    out[id] += sum;
  });
  EXPECT_TRUE(increasing || !ordered);
  return out;
}

TEST(FeatureCountsTest, EveryFormHoldsWhatAMapHolds) {
  constexpr unsigned kBits = 12;  // 4,096 ids: an array from 256 features on
  const struct {
    const char* what;
    std::size_t adds;
    bool inOrder;
  } cases[] = {
      {"list", 300, true},     // increasing ids stay a list, however many
      {"table", 100, false},   // few features out of order
      {"array", 3000, false},  // many features out of order
  };
  for (const auto& c : cases) {
    std::mt19937 gen(5);
    std::uniform_int_distribution<std::uint32_t> id(0, (1u << kBits) - 1);
    FeatureCounts counts(kBits);
    std::map<std::uint32_t, std::uint64_t> expected;
    std::uint32_t next = 0;  // 300 increasing ids end below 2,400
    for (std::size_t i = 0; i < c.adds; ++i) {
      const std::uint32_t f = c.inOrder ? next : id(gen);
      next += 1 + id(gen) % 7;
      const std::uint64_t value = 1 + i % 5;
      ASSERT_TRUE(counts.Add(f, value));
      expected[f] += value;
    }
    ASSERT_TRUE(counts.Add(7, 0)) << c.what;  // adding zero changes nothing
    EXPECT_EQ(counts.Size(), expected.size()) << c.what;
    EXPECT_EQ(Contents(counts, c.what != std::string("table")), expected) << c.what;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> sorted(expected.begin(), expected.end());
    const auto got = counts.Sorted();
    EXPECT_TRUE(std::equal(got.begin(), got.end(), sorted.begin(), sorted.end())) << c.what;
    for (std::uint32_t f = 0; f < (1u << kBits); f += 13) {
      EXPECT_EQ(counts.Get(f), expected.contains(f) ? expected[f] : 0u) << c.what << " " << f;
    }
    // A range sees exactly the features inside it.
    std::map<std::uint32_t, std::uint64_t> inRange;
    counts.ForEachIn(1000, 2000, [&](std::uint32_t f, std::uint64_t v) { inRange[f] = v; });
    const std::map<std::uint32_t, std::uint64_t> expectedInRange(expected.lower_bound(1000),
                                                                 expected.lower_bound(2000));
    EXPECT_EQ(inRange, expectedInRange) << c.what;
    // A sum that would overflow is refused and changes nothing.
    const std::uint32_t first = expected.begin()->first;
    EXPECT_FALSE(counts.Add(first, UINT64_MAX)) << c.what;
    EXPECT_EQ(counts.Get(first), expected.begin()->second) << c.what;
  }
}

}  // namespace
}  // namespace Qel::Detail
