// q3sort and q3sortb against std::sort with the same comparison function, on one million
// pointers to integer records in five orders.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "qel/util/Sorting.h"

namespace {

enum class Order { Random, Sorted, Reversed, OrganPipe, ManyEqual };

constexpr int kCount = 1'000'000;

int CompareRecords(const void* a, const void* b, const void* /*context*/) {
  const int x = *static_cast<const int*>(a);
  const int y = *static_cast<const int*>(b);
  return (x > y) - (x < y);
}

const std::vector<int>& Records(Order order) {
  static std::vector<int> records[5];
  std::vector<int>& keys = records[static_cast<int>(order)];
  if (keys.empty()) {
    keys.resize(kCount);
    std::mt19937 rng(1234);
    for (int i = 0; i < kCount; ++i) {
      switch (order) {
        case Order::Random:
          keys[i] = static_cast<int>(rng() >> 1);
          break;
        case Order::Sorted:
          keys[i] = i;
          break;
        case Order::Reversed:
          keys[i] = kCount - i;
          break;
        case Order::OrganPipe:
          keys[i] = std::min(i, kCount - 1 - i);
          break;
        case Order::ManyEqual:
          keys[i] = static_cast<int>(rng() % 16);
          break;
      }
    }
  }
  return keys;
}

std::vector<const void*> Pointers(Order order) {
  const std::vector<int>& keys = Records(order);
  std::vector<const void*> pointers;
  pointers.reserve(keys.size());
  for (const int& k : keys) pointers.push_back(&k);
  return pointers;
}

bool IsSorted(const std::vector<const void*>& a) {
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (CompareRecords(a[i - 1], a[i], nullptr) > 0) return false;
  }
  return true;
}

template <class Sort>
void RunSort(benchmark::State& state, Order order, Sort sort) {
  const std::vector<const void*> input = Pointers(order);
  std::vector<const void*> work;
  // The comparison goes through a pointer the optimiser cannot see into, as it does for the
  // library's sorts.
  Qel::SortCompare cmp = CompareRecords;
  benchmark::DoNotOptimize(cmp);
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    sort(work, cmp);
    benchmark::ClobberMemory();
  }
  if (!IsSorted(work)) state.SkipWithError("result not sorted");
  state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_q3sort(benchmark::State& state, Order order) {
  RunSort(state, order, [](std::vector<const void*>& a, Qel::SortCompare cmp) {
    Qel::q3sort(a.data(), static_cast<int>(a.size()), nullptr, cmp);
  });
}

void BM_q3sortb(benchmark::State& state, Order order) {
  RunSort(state, order, [](std::vector<const void*>& a, Qel::SortCompare cmp) {
    Qel::q3sortb(a.data(), static_cast<int>(a.size()), nullptr, cmp);
  });
}

void BM_StdSort(benchmark::State& state, Order order) {
  RunSort(state, order, [](std::vector<const void*>& a, Qel::SortCompare cmp) {
    std::sort(a.begin(), a.end(),
              [cmp](const void* x, const void* y) { return cmp(x, y, nullptr) < 0; });
  });
}

#define QEL_SORT_BENCH(order)                                                        \
  BENCHMARK_CAPTURE(BM_StdSort, order, Order::order)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(BM_q3sort, order, Order::order)->Unit(benchmark::kMillisecond);  \
  BENCHMARK_CAPTURE(BM_q3sortb, order, Order::order)->Unit(benchmark::kMillisecond)

QEL_SORT_BENCH(Random);
QEL_SORT_BENCH(Sorted);
QEL_SORT_BENCH(Reversed);
QEL_SORT_BENCH(OrganPipe);
QEL_SORT_BENCH(ManyEqual);

}  // namespace
