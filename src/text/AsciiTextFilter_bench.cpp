// FilterTextW over 10 MB of mixed Latin, Cyrillic, Arabic and CJK text, beside a loop that only
// maps each UTF-16 unit through a 64 KiB table (the least any table-driven filter must do), and
// the same over word mixes richer in CJK and in scripts the invoice line lacks.
#include <benchmark/benchmark.h>

#include <array>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "qel/text/AsciiTextFilter.h"
#include "text/WordBlocks.h"
#include "text/WordBlocksTesting.h"

namespace {

const std::u16string& MixedText() {
  static const std::u16string text = [] {
    const std::u16string piece =
        u"Rechnung Nr. 17 f\u00FCr M\u00FCller & S\u00F6hne, Stra\u00DFe 5; "
        u"\u0421\u0447\u0435\u0442 \u2116 17 \u0434\u043B\u044F \u041E\u041E\u041E "
        u"\u00AB\u041C\u0438\u0440\u00BB, \u0641\u0627\u062A\u0648\u0631\u0629 "
        u"\u0631\u0642\u0645 \u0661\u0667 \u0644\u0634\u0631\u0643\u0629 "
        u"\u53D1\u7968\u53F7\u7801 17 \u4E0A\u6D77\u5E02\u6709\u9650\u516C\u53F8 "
        u"\u20AC 19,99 caf\u00E9 na\u00EFve.\n";
    std::u16string all;
    constexpr std::size_t kUnits = 5 * 1024 * 1024;  // 10 MB of UTF-16
    all.reserve(kUnits + piece.size());
    while (all.size() < kUnits) all += piece;
    return all;
  }();
  return text;
}

// One script's letters: `first` and the `count` code points after it.
struct Script {
  char16_t first;
  int count;
  int minLength;
  int maxLength;
};

// 10 MB of UTF-16 words drawn from the scripts with the given weights (percent of words), with
// spaces and now and then punctuation between them. The generator is seeded: the same text in
// every run.
std::u16string WordMix(const std::vector<std::pair<Script, int>>& scripts) {
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> percent(0, 99);
  std::u16string all;
  constexpr std::size_t kUnits = 5 * 1024 * 1024;
  all.reserve(kUnits + 64);
  while (all.size() < kUnits) {
    int pick = percent(gen);
    std::size_t s = 0;
    while (s + 1 < scripts.size() && pick >= scripts[s].second) pick -= scripts[s++].second;
    const Script& script = scripts[s].first;
    const int length = std::uniform_int_distribution<int>(script.minLength, script.maxLength)(gen);
    std::uniform_int_distribution<int> letter(0, script.count - 1);
    for (int i = 0; i < length; ++i) all += static_cast<char16_t>(script.first + letter(gen));
    all += percent(gen) < 10 ? u", " : u" ";
  }
  return all;
}

constexpr Script kLatin{u'a', 26, 2, 9};
constexpr Script kCyrillic{u'\u0430', 32, 2, 9};
constexpr Script kArabic{u'\u0627', 20, 2, 7};
constexpr Script kCjk{u'\u4E00', 6000, 1, 4};
constexpr Script kGreek{u'\u03B1', 24, 2, 9};
constexpr Script kHebrew{u'\u05D0', 26, 2, 6};
constexpr Script kHangul{u'\uAC00', 2000, 1, 4};

// Text 0: the invoice line above (8.7 % CJK units); 1: 40 % Latin, 25 % Cyrillic, 15 % Arabic,
// 20 % CJK words; 2: 90 % CJK, 10 % Latin words; 3: Greek, Hebrew and Hangul words, a mix the
// engine was not tuned on.
const std::u16string& Text(int which) {
  static const std::u16string texts[4] = {
      MixedText(),
      WordMix({{kLatin, 40}, {kCyrillic, 25}, {kArabic, 15}, {kCjk, 20}}),
      WordMix({{kCjk, 90}, {kLatin, 10}}),
      WordMix({{kGreek, 40}, {kHebrew, 30}, {kHangul, 30}}),
  };
  return texts[which];
}

void BM_FilterTextW(benchmark::State& state) {
  const std::u16string& text = Text(static_cast<int>(state.range(0)));
  Qel::AsciiTextFilter* filter = Qel::AsciiTextFilter::Create(2, true);
  // Room for the whole result: a CJK unit takes four bytes.
  std::vector<char> out(text.size() * 4 + 8);
  unsigned int written = 0;
  for (auto _ : state) {
    written = filter->FilterTextW(text.data(), static_cast<unsigned int>(text.size()), out.data(),
                                  static_cast<unsigned int>(out.size()));
    benchmark::DoNotOptimize(out.data());
  }
  if (written < text.size() / 4 || out[written - 1] != 0) state.SkipWithError("unexpected output");
  filter->Release();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_FilterTextW)->ArgName("text")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// The block engine alone on each of its paths (the filter takes the best one the processor
// has): what a processor without AVX-512 or without BMI2 would get.
void BM_FilterTextW_BlockPath(benchmark::State& state) {
  const auto path = static_cast<Qel::Detail::WordBlockPath>(state.range(1));
  if (!Qel::Detail::WordBlockPathAvailable(path)) {
    state.SkipWithError("this processor or build lacks that path");
    return;
  }
  const std::u16string& text = Text(static_cast<int>(state.range(0)));
  Qel::AsciiTextFilter* filter = Qel::AsciiTextFilter::Create(0, true);
  const std::vector<unsigned char> map = Qel::Testing::BlockMap(filter);
  filter->Release();
  const Qel::Detail::WordBlockTables tables{map.data(), 2, 26};
  std::vector<char> out(text.size() * 4 + 8);
  std::uint32_t stop = 0;
  for (auto _ : state) {
    stop = 0;
    std::int64_t written = 1;
    out[0] = 0;
    Qel::Detail::FilterWordBlocks(text.data(), static_cast<std::uint32_t>(text.size()), out.data(),
                                  static_cast<std::int64_t>(out.size()), stop, written, tables,
                                  path);
    benchmark::DoNotOptimize(out.data());
  }
  if (stop + 64 < text.size()) state.SkipWithError("the engine stopped early");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_FilterTextW_BlockPath)
    ->ArgNames({"text", "path"})
    ->ArgsProduct({{0, 1, 2, 3},
                   {static_cast<int>(Qel::Detail::WordBlockPath::Portable),
                    static_cast<int>(Qel::Detail::WordBlockPath::Bmi2),
                    static_cast<int>(Qel::Detail::WordBlockPath::Avx512)}})
    ->Unit(benchmark::kMillisecond);

void BM_FilterTextW_Baseline_TableMap(benchmark::State& state) {
  const std::u16string& text = Text(static_cast<int>(state.range(0)));
  static std::array<unsigned char, 65536> table;
  for (std::size_t u = 0; u < table.size(); ++u) table[u] = static_cast<unsigned char>(u * 7);
  std::vector<char> out(text.size() + 8);
  for (auto _ : state) {
    char* o = out.data();
    for (char16_t c : text) *o++ = static_cast<char>(table[c]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  if (out[1] != static_cast<char>(table[text[1]])) state.SkipWithError("unexpected output");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_FilterTextW_Baseline_TableMap)
    ->ArgName("text")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
