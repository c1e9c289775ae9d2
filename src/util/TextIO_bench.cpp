// IO::WriteLineToUtf8File over 200,000 lines of mixed Latin, accented, Cyrillic and CJK text
// written to /dev/null, beside converting the same lines with ICU's u_strToUTF8 into one reused
// buffer and writing each with its line feed in one fwrite.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unicode/ustring.h>

#include "qel/util/TextIO.h"

namespace {

const std::vector<std::u16string>& Lines() {
  static const std::vector<std::u16string> lines = [] {
    const std::u16string words[] = {u"the",
                                    u"invoice",
                                    u"Stra\u00DFe",
                                    u"M\u00FCller",
                                    u"caf\u00E9",
                                    u"\u041C\u043E\u0441\u043A\u0432\u0430",
                                    u"\u6771\u4EAC\u90FD",
                                    u"order",
                                    u"4711"};
    std::vector<std::u16string> all;
    for (int i = 0; i < 200000; ++i) {
      std::u16string line;
      for (int w = 0; w < 3 + i % 13; ++w) {
        if (w > 0) line += u' ';
        line += words[(i * 7 + w * 3) % 9];
      }
      all.push_back(std::move(line));
    }
    return all;
  }();
  return lines;
}

std::size_t Bytes() {
  std::size_t total = 0;
  for (const auto& line : Lines()) total += line.size() * 2;
  return total;
}

void BM_WriteLineToUtf8File(benchmark::State& state) {
  std::FILE* out = std::fopen("/dev/null", "wb");
  for (auto _ : state) {
    for (const auto& line : Lines()) Qel::Tools::IO::WriteLineToUtf8File(out, u"null", line);
  }
  std::fclose(out);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Bytes()));
}
BENCHMARK(BM_WriteLineToUtf8File)->Unit(benchmark::kMillisecond);

void BM_WriteLineBaseline_IcuFwrite(benchmark::State& state) {
  std::FILE* out = std::fopen("/dev/null", "wb");
  std::string buffer;
  for (auto _ : state) {
    for (const auto& line : Lines()) {
      buffer.resize(line.size() * 3 + 1);
      int32_t length = 0;
      UErrorCode status = U_ZERO_ERROR;
      u_strToUTF8(buffer.data(), static_cast<int32_t>(buffer.size()), &length, line.data(),
                  static_cast<int32_t>(line.size()), &status);
      if (U_FAILURE(status)) state.SkipWithError("u_strToUTF8 failed");
      buffer[static_cast<std::size_t>(length)] = '\n';
      std::fwrite(buffer.data(), 1, static_cast<std::size_t>(length) + 1, out);
    }
  }
  std::fclose(out);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Bytes()));
}
BENCHMARK(BM_WriteLineBaseline_IcuFwrite)->Unit(benchmark::kMillisecond);

}  // namespace
