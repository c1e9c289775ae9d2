// String hash throughput over short and long texts in both forms.
#include <benchmark/benchmark.h>

#include <string>

#include "qel/util/StringHash.h"

namespace {

std::string Text(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) text += static_cast<char>('a' + (i * 7) % 26);
  return text;
}

void BM_GetStringHash(benchmark::State& state) {
  const std::string text = Text(static_cast<std::size_t>(state.range(0)));
  std::uint32_t hash = 0;
  for (auto _ : state) {
    hash = Qel::stringhash::GetStringHash(text);
    benchmark::DoNotOptimize(hash);
  }
  if (hash == 0) state.SkipWithError("no hash");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_GetStringHash)->Arg(8)->Arg(32)->Arg(4096)->UseRealTime();

void BM_GetStringHashW(benchmark::State& state) {
  const std::string narrow = Text(static_cast<std::size_t>(state.range(0)));
  const std::u16string text(narrow.begin(), narrow.end());
  std::uint32_t hash = 0;
  for (auto _ : state) {
    hash = Qel::stringhash::GetStringHashW(text);
    benchmark::DoNotOptimize(hash);
  }
  if (hash != Qel::stringhash::GetStringHash(narrow)) state.SkipWithError("forms differ");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) * 2);
}
BENCHMARK(BM_GetStringHashW)->Arg(8)->Arg(32)->Arg(4096)->UseRealTime();

// Baseline: the standard library's hash of the same text.
void BM_StdHash(benchmark::State& state) {
  const std::string text = Text(static_cast<std::size_t>(state.range(0)));
  std::size_t hash = 0;
  for (auto _ : state) {
    hash = std::hash<std::string>{}(text);
    benchmark::DoNotOptimize(hash);
  }
  if (hash == 0) state.SkipWithError("no hash");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_StdHash)->Arg(8)->Arg(32)->Arg(4096)->UseRealTime();

}  // namespace
