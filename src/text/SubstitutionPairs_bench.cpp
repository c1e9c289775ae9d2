// Substitution pairs on one long field: the pair "a" -> "aa" over 64K and 512K units through
// RecordFilter and RecordPreprocessor, beside the same doubling written as one plain loop. The
// ratio to the baseline must stay the same at both lengths: the time grows with the length.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "qel/text/RecordFilter.h"
#include "qel/text/RecordPreprocessor.h"

namespace {

const std::vector<Qel::SubstitutionPair>& Pairs() {
  static const std::vector<Qel::SubstitutionPair> pairs{{u"a", u"aa"}};
  return pairs;
}

// RecordFilter stops once a replacement reaches the last unit, RecordPreprocessor steps over
// one unit after each replacement: both results are known.
std::size_t ExpectedFilterSize(std::size_t n) { return 2 * n - 1; }
std::size_t ExpectedPreprocessorSize(std::size_t n) { return n + n / 2; }

template <class Substitute>
void Run(benchmark::State& state, Substitute substitute, std::size_t expected) {
  const std::u16string field(static_cast<std::size_t>(state.range(0)), u'a');
  std::size_t size = 0;
  for (auto _ : state) {
    std::u16string result = substitute(field);
    size = result.size();
    benchmark::DoNotOptimize(result);
  }
  if (size != expected) state.SkipWithError("unexpected result length");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Substitute_RecordFilter(benchmark::State& state) {
  Run(
      state,
      [](const std::u16string& s) { return Qel::RecordFilter::SubstituteString(s, Pairs()); },
      ExpectedFilterSize(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_Substitute_RecordFilter)->Arg(64 << 10)->Arg(512 << 10)->Unit(benchmark::kMicrosecond);

void BM_Substitute_RecordPreprocessor(benchmark::State& state) {
  Run(
      state,
      [](const std::u16string& s) { return Qel::RecordPreprocessor::SubstituteString(s, Pairs()); },
      ExpectedPreprocessorSize(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_Substitute_RecordPreprocessor)
    ->Arg(64 << 10)
    ->Arg(512 << 10)
    ->Unit(benchmark::kMicrosecond);

// The doubling by hand: one reserved output, one append per unit.
void BM_Substitute_Baseline_PlainLoop(benchmark::State& state) {
  Run(
      state,
      [](const std::u16string& s) {
        std::u16string out;
        out.reserve(2 * s.size());
        for (char16_t c : s) {
          out += c;
          if (c == u'a') out += u'a';
        }
        out.pop_back();
        return out;
      },
      ExpectedFilterSize(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_Substitute_Baseline_PlainLoop)
    ->Arg(64 << 10)
    ->Arg(512 << 10)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
