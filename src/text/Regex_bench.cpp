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

// `\w+` over 10 MB (5 Mi units), where every word is a match and the per-match cost dominates.
struct WordInput {
  const char* name;
  std::u16string piece;  // repeated to fill the text
};

const std::array<WordInput, 5>& WordInputs() {
  static const std::array<WordInput, 5> inputs = {{
      {"mixed", Text().substr(0, Text().find(u'\n') + 1)},
      {"greek_korean",
       u"\u03A4\u03BF \u03C4\u03B9\u03BC\u03BF\u03BB\u03CC\u03B3\u03B9\u03BF 7 "
       u"\u03B5\u03AF\u03BD\u03B1\u03B9 \u03B5\u03B4\u03CE, \uD55C \uAD6D\uC5B4 "
       u"\uBB38\uC7A5 \uC785\uB2C8\uB2E4; a b 1 2 x.\n"},
      // Cyrillic words beside CJK runs (one match per run, no spaces inside) and ideographs
      // outside the BMP, which take two units each.
      {"cyrillic_cjk",
       u"\u041F\u0440\u0438\u0432\u0435\u0442 \u043C\u0438\u0440, \u044D\u0442\u043E "
       u"\u0442\u0435\u0441\u0442. \u4ECA\u5929\u5929\u6C14\u5F88\u597D\u3002\u6211\u4EEC"
       u"\u53BB\u516C\u56ED\uFF0C\U00020000\U00020001\u5B57 \u65E5\u672C\u8A9E\u306E"
       u"\u6587\u7AE0\u3067\u3059\u3002\n"},
      // One-letter words: the most matches a text of this size can hold.
      {"one_letter", u"a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 8 9\n"},
      // Long words: few matches, the search itself dominates.
      {"long_words",
       u"Donaudampfschifffahrtsgesellschaftskapit\u00E4nsm\u00FCtze "
       u"\u0434\u043E\u0441\u0442\u043E\u043F\u0440\u0438\u043C\u0435\u0447\u0430"
       u"\u0442\u0435\u043B\u044C\u043D\u043E\u0441\u0442\u0435\u0439 "
       u"internationalisation_and_localisation_of_identifiers.\n"},
  }};
  return inputs;
}

const std::u16string& WordText(std::int64_t which) {
  static const std::array<std::u16string, 5> texts = [] {
    std::array<std::u16string, 5> all;
    for (std::size_t i = 0; i < all.size(); ++i) {
      const std::u16string& piece = WordInputs()[i].piece;
      all[i].reserve((5u << 20) + piece.size());
      while (all[i].size() < (5u << 20)) all[i] += piece;
    }
    return all;
  }();
  return texts[static_cast<std::size_t>(which)];
}

void WordArgs(benchmark::internal::Benchmark* b) {
  b->ArgName("text");
  for (std::int64_t i = 0; i < static_cast<std::int64_t>(WordInputs().size()); ++i) b->Arg(i);
  b->Unit(benchmark::kMillisecond);
}

const char16_t kWordPattern[] = u"\\w+";

// Positions and lengths of every match, folded into one number that both sides must agree on.
struct Digest {
  std::size_t count = 0;
  std::uint64_t sum = 0;
  void Add(std::int64_t position, std::int64_t length) {
    ++count;
    sum = sum * 31 + static_cast<std::uint64_t>(position) * 7 + static_cast<std::uint64_t>(length);
  }
  bool operator==(const Digest&) const = default;
};

Digest SearchAll(const boost::u32regex& re, const std::u16string& text) {
  Digest digest;
  const char16_t* const begin = text.data();
  const char16_t* start = begin;
  const char16_t* const end = start + text.size();
  boost::match_results<const char16_t*> found;
  while (boost::u32regex_search(start, end, found, re,
                                boost::regex_constants::match_not_initial_null, start)) {
    digest.Add(found[0].first - begin, found[0].second - found[0].first);
    start = found[0].second;
  }
  return digest;
}

Digest MatchAll(Qel::Regex& re, const std::u16string& text) {
  Digest digest;
  for (Qel::RegexMatch* m = re.Match(text); m->GetMatched(); m = m->GetNext()) {
    digest.Add(m->GetPosition(), m->GetLength());
  }
  return digest;
}

boost::u32regex WordExpression() {
  const std::u16string pattern(kWordPattern);
  return boost::make_u32regex(pattern.begin(), pattern.end(), boost::regex_constants::normal);
}

// The chain must hold exactly the matches of the plain search loop.
void Finish(benchmark::State& state, const std::u16string& text, const Digest& digest) {
  if (!(digest == SearchAll(WordExpression(), text))) state.SkipWithError("results differ");
  if (digest.count == 0) state.SkipWithError("no matches");
  state.counters["matches"] = static_cast<double>(digest.count);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * 2));
}

void BM_RegexMatchWords(benchmark::State& state) {
  const std::u16string& text = WordText(state.range(0));
  state.SetLabel(WordInputs()[static_cast<std::size_t>(state.range(0))].name);
  Qel::Regex re(kWordPattern, false);
  Digest digest;
  for (auto _ : state) {
    digest = MatchAll(re, text);
    benchmark::DoNotOptimize(digest);
  }
  Finish(state, text, digest);
}
BENCHMARK(BM_RegexMatchWords)->Apply(WordArgs);

// A new Regex for every text: no nodes to reuse from an earlier Match.
void BM_RegexMatchWords_NewRegexEachTime(benchmark::State& state) {
  const std::u16string& text = WordText(state.range(0));
  state.SetLabel(WordInputs()[static_cast<std::size_t>(state.range(0))].name);
  Digest digest;
  for (auto _ : state) {
    Qel::Regex re(kWordPattern, false);
    digest = MatchAll(re, text);
    benchmark::DoNotOptimize(digest);
  }
  Finish(state, text, digest);
}
BENCHMARK(BM_RegexMatchWords_NewRegexEachTime)->Apply(WordArgs);

void BM_RegexMatchWords_Baseline_U32RegexSearch(benchmark::State& state) {
  const std::u16string& text = WordText(state.range(0));
  state.SetLabel(WordInputs()[static_cast<std::size_t>(state.range(0))].name);
  const boost::u32regex re = WordExpression();
  Digest digest;
  for (auto _ : state) {
    digest = SearchAll(re, text);
    benchmark::DoNotOptimize(digest);
  }
  Finish(state, text, digest);
}
BENCHMARK(BM_RegexMatchWords_Baseline_U32RegexSearch)->Apply(WordArgs);

}  // namespace
