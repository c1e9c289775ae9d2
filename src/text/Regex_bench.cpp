// Regex::Match beside a plain u32regex_search loop (same flags, same start rule) over the same
// UTF-16 text: what the wrapper adds is the result chain.
#include <benchmark/benchmark.h>

#include <array>
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

// `\w+` over 10 MB, where every word is a match and the per-match cost dominates. Text 0 is the
// text above repeated; text 1 is Greek and Korean prose with short words.
const std::u16string& WordText(int which) {
  static const std::array<std::u16string, 2> texts = [] {
    const std::u16string pieces[2] = {
        Text().substr(0, Text().find(u'\n') + 1),
        u"\u03A4\u03BF \u03C4\u03B9\u03BC\u03BF\u03BB\u03CC\u03B3\u03B9\u03BF 7 "
        u"\u03B5\u03AF\u03BD\u03B1\u03B9 \u03B5\u03B4\u03CE, \uD55C \uAD6D\uC5B4 "
        u"\uBB38\uC7A5 \uC785\uB2C8\uB2E4; a b 1 2 x.\n"};
    std::u16string all[2];
    for (int i = 0; i < 2; ++i) {
      while (all[i].size() < (5u << 20)) all[i] += pieces[i];
    }
    return std::array<std::u16string, 2>{all[0], all[1]};
  }();
  return texts[which];
}

const char16_t kWordPattern[] = u"\\w+";

void BM_RegexMatchWords(benchmark::State& state) {
  const std::u16string& text = WordText(static_cast<int>(state.range(0)));
  Qel::Regex re(kWordPattern, false);
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
BENCHMARK(BM_RegexMatchWords)->ArgName("text")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RegexMatchWords_Baseline_U32RegexSearch(benchmark::State& state) {
  const std::u16string& text = WordText(static_cast<int>(state.range(0)));
  const std::u16string pattern(kWordPattern);
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
BENCHMARK(BM_RegexMatchWords_Baseline_U32RegexSearch)
    ->ArgName("text")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
