// Regex::Match beside a plain u32regex_search loop (same flags, same start rule) over the same
// UTF-16 text: what the wrapper adds is the result chain.
#include <benchmark/benchmark.h>

#include <string>

#include "qel/text/Regex.h"
#include "text/RegexCache.h"  // first: the same search bound as the library

namespace {

const std::u16string& Text() {
  static const std::u16string text = [] {
    const std::u16string piece =
        u"Order 2024-117 from M\u00FCller GmbH (order@mueller.example) for 12 units, "
        u"\u0441\u0447\u0451\u0442 17, \u53D1\u7968 42; call +49 221 1234567 before 2024-12-31.\n";
    std::u16string all;
    while (all.size() < (1u << 20)) all += piece;
    return all;
  }();
  return text;
}

const char16_t kPattern[] = u"\\b(\\d{4})-(\\d{2,3})(?:-(\\d{2}))?\\b";

void BM_RegexMatch(benchmark::State& state) {
  const std::u16string& text = Text();
  Qel::Regex re(kPattern, false);
  std::size_t count = 0;
  for (auto _ : state) {
    count = 0;
    for (Qel::RegexMatch* m = re.Match(text); m->GetMatched(); m = m->GetNext()) ++count;
    benchmark::DoNotOptimize(count);
  }
  if (count == 0) state.SkipWithError("no matches");
  state.counters["matches"] = static_cast<double>(count);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_RegexMatch)->Unit(benchmark::kMillisecond);

void BM_RegexMatch_Baseline_U32RegexSearch(benchmark::State& state) {
  const std::u16string& text = Text();
  const std::u16string pattern(kPattern);
  const boost::u32regex re =
      boost::make_u32regex(pattern.begin(), pattern.end(), boost::regex_constants::normal);
  std::size_t count = 0;
  for (auto _ : state) {
    count = 0;
    const char16_t* start = text.data();
    const char16_t* const end = start + text.size();
    boost::match_results<const char16_t*> found;
    while (boost::u32regex_search(start, end, found, re,
                                  boost::regex_constants::match_not_initial_null, start)) {
      ++count;
      start = found[0].second;
    }
    benchmark::DoNotOptimize(count);
  }
  if (count == 0) state.SkipWithError("no matches");
  state.counters["matches"] = static_cast<double>(count);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_RegexMatch_Baseline_U32RegexSearch)->Unit(benchmark::kMillisecond);

}  // namespace
