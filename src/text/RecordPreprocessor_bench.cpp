// RecordPreprocessor::ProcessRecord over 100,000 records of ten fields (";" delimiters, quoted
// fields, accented and full-width text), plain and with normalisation and case folding, beside
// splitting the same records at ";" with std::u16string::find.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "qel/text/RecordPreprocessor.h"

namespace {

const std::vector<std::u16string>& Records() {
  static const std::vector<std::u16string> records = [] {
    const std::u16string fields[] = {u"\"M\u00FCller, Hans\"",
                                     u"Stra\u00DFe 5",
                                     u"\uFF21\uFF22\uFF23-Handel GmbH",
                                     u"\"Caf\u00E9 \u00AB Na\u00EFve \u00BB\"",
                                     u"K\u00F6ln",
                                     u"DE",
                                     u"\uFF11\uFF12\uFF13\uFF14\uFF15",
                                     u"\u00C9lise Fran\u00E7ois",
                                     u"\"a;b\"",
                                     u"Invoice 2024-117"};
    std::vector<std::u16string> all;
    all.reserve(100000);
    for (int r = 0; r < 100000; ++r) {
      std::u16string record;
      for (int f = 0; f < 10; ++f) {
        if (f > 0) record += u';';
        record += fields[(f + r) % 10];
      }
      record += u"\u00A0" + std::u16string(1, char16_t(u'0' + r % 10));
      all.push_back(std::move(record));
    }
    return all;
  }();
  return records;
}

Qel::RecordPreprocessor MakePreprocessor(bool normalise) {
  Qel::RecordPreprocessor p;
  p.SetDelimiterChars(u";");
  p.SetHandleFieldProtection(true);
  p.SetKeepEmptyFields(true);
  if (normalise) {
    p.SetIgnoreCharacterCase(true);
    p.SetPerformUnicodeNormalization(true);
    p.SetPerformCjkNormalization(true);
    p.SetRemoveChars(u".,-");
    p.SetLanguageSpellingNormalizationSubstitutionPairs(
        Qel::Unicode::GetLanguageSpellingNormalizationSubstitutionPairs());
  }
  return p;
}

void RunProcessRecord(benchmark::State& state, bool normalise) {
  const auto& records = Records();
  Qel::RecordPreprocessor p = MakePreprocessor(normalise);
  std::size_t fields = 0;
  for (auto _ : state) {
    fields = 0;
    for (const auto& record : records) fields += p.ProcessRecord(record).size();
    benchmark::DoNotOptimize(fields);
  }
  if (fields != records.size() * 10) state.SkipWithError("wrong field count");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * records.size()));
}

void BM_ProcessRecord_Plain(benchmark::State& state) { RunProcessRecord(state, false); }
BENCHMARK(BM_ProcessRecord_Plain)->Unit(benchmark::kMillisecond);

void BM_ProcessRecord_NormalisedCaseFolded(benchmark::State& state) {
  RunProcessRecord(state, true);
}
BENCHMARK(BM_ProcessRecord_NormalisedCaseFolded)->Unit(benchmark::kMillisecond);

void BM_ProcessRecord_Baseline_FindSplit(benchmark::State& state) {
  const auto& records = Records();
  std::size_t fields = 0;
  for (auto _ : state) {
    fields = 0;
    for (const auto& record : records) {
      std::vector<std::u16string> parts;
      std::size_t start = 0;
      for (;;) {
        const std::size_t end = record.find(u';', start);
        parts.push_back(record.substr(start, end == std::u16string::npos ? end : end - start));
        if (end == std::u16string::npos) break;
        start = end + 1;
      }
      fields += parts.size();
    }
    benchmark::DoNotOptimize(fields);
  }
  // The quoted "a;b" holds one more ";".
  if (fields != records.size() * 11) state.SkipWithError("wrong field count");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * records.size()));
}
BENCHMARK(BM_ProcessRecord_Baseline_FindSplit)->Unit(benchmark::kMillisecond);

}  // namespace
