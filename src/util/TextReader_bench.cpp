// TextReader::GetNextLine over 100 MB files in UTF-8 and UTF-16LE beside std::getline on the
// same file followed by converting each line to UTF-16 (with the library and with ICU), and the
// UTF-8 scan that Open runs on a file without byte-order mark beside plain reads of the file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unicode/ustring.h>

#include "qel/core/StringConversion.h"
#include "qel/util/TextIO.h"
#include "qel/util/TextReader.h"

namespace {

constexpr std::size_t kFileSize = 100u << 20;

const std::string kLine =
    "Rechnung 2024-117 f\xC3\xBCr M\xC3\xBCller & S\xC3\xB6hne: 12 St\xC3\xBC"
    "ck Teil A-4711 "
    "zu 19,99 \xE2\x82\xAC, zahlbar in 30 Tagen \xE5\x8F\x91\xE7\xA5\xA8\n";

// A file of whole lines, written once per process and removed at exit.
class BenchFile {
 public:
  explicit BenchFile(bool utf16, const std::string& line = kLine) {
    char pattern[] = "/tmp/qelbench-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd >= 0) ::close(fd);
    m_path = pattern;
    std::string piece;
    if (utf16) {
      const std::u16string units = Qel::Utf8ToUtf16(line.data(), line.size());
      piece.assign(reinterpret_cast<const char*>(units.data()), units.size() * 2);
    } else {
      piece = line;
    }
    std::ofstream out(m_path, std::ios::binary);
    if (utf16) out.write("\xFF\xFE", 2);
    for (std::size_t written = 0; written < kFileSize; written += piece.size()) out << piece;
    m_lines = (kFileSize + piece.size() - 1) / piece.size();
  }
  ~BenchFile() { std::remove(m_path.c_str()); }
  const std::string& Path() const { return m_path; }
  std::size_t Lines() const { return m_lines; }

 private:
  std::string m_path;
  std::size_t m_lines = 0;
};

const BenchFile& Utf8File() {
  static const BenchFile file(false);
  return file;
}

// Russian and Greek prose with a Japanese phrase, another file without byte-order mark.
const std::string kOtherLine =
    "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80! "
    "\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1 "
    "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF 2024\n";

const BenchFile& OtherUtf8File() {
  static const BenchFile file(false, kOtherLine);
  return file;
}

const BenchFile& Utf8FileOf(int which) { return which == 0 ? Utf8File() : OtherUtf8File(); }

const BenchFile& Utf16File() {
  static const BenchFile file(true);
  return file;
}

// With `timeOpen` false only the GetNextLine loop is timed; Open (which scans a file without
// byte-order mark for UTF-8 before the first line) is then left out.
void ReadWithTextReader(benchmark::State& state, const BenchFile& file, bool timeOpen) {
  const std::u16string path(file.Path().begin(), file.Path().end());
  std::size_t lines = 0;
  std::size_t units = 0;
  for (auto _ : state) {
    if (!timeOpen) state.PauseTiming();
    Qel::TextReader* reader = Qel::TextReader::Create();
    reader->Open(path, false);
    if (!timeOpen) state.ResumeTiming();
    lines = 0;
    units = 0;
    for (std::u16string line = reader->GetNextLine(); !line.empty(); line = reader->GetNextLine()) {
      ++lines;
      units += line.size();
    }
    reader->Release();
  }
  if (lines != file.Lines()) state.SkipWithError("wrong line count");
  benchmark::DoNotOptimize(units);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}

void BM_TextReaderUtf8(benchmark::State& state) { ReadWithTextReader(state, Utf8File(), false); }
BENCHMARK(BM_TextReaderUtf8)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument 0: the invoice file; 1: the Russian, Greek and Japanese file.
void BM_TextReaderUtf8WithOpen(benchmark::State& state) {
  ReadWithTextReader(state, Utf8FileOf(static_cast<int>(state.range(0))), true);
}
BENCHMARK(BM_TextReaderUtf8WithOpen)
    ->ArgName("file")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_TextReaderUtf16(benchmark::State& state) { ReadWithTextReader(state, Utf16File(), false); }
BENCHMARK(BM_TextReaderUtf16)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TextReaderUtf16WithOpen(benchmark::State& state) {
  ReadWithTextReader(state, Utf16File(), true);
}
BENCHMARK(BM_TextReaderUtf16WithOpen)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GetlineUtf8(benchmark::State& state) {
  const BenchFile& file = Utf8File();
  std::size_t lines = 0;
  std::size_t units = 0;
  for (auto _ : state) {
    std::ifstream in(file.Path(), std::ios::binary);
    std::string bytes;
    lines = 0;
    units = 0;
    while (std::getline(in, bytes)) {
      const std::u16string line = Qel::Utf8ToUtf16(bytes.data(), bytes.size());
      ++lines;
      units += line.size();
    }
  }
  if (lines != file.Lines()) state.SkipWithError("wrong line count");
  benchmark::DoNotOptimize(units);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_GetlineUtf8)->Unit(benchmark::kMillisecond)->UseRealTime();

// std::getline with ICU's conversion of each line into a fresh std::u16string.
void BM_GetlineUtf8Icu(benchmark::State& state) {
  const BenchFile& file = Utf8FileOf(static_cast<int>(state.range(0)));
  std::size_t lines = 0;
  std::size_t units = 0;
  for (auto _ : state) {
    std::ifstream in(file.Path(), std::ios::binary);
    std::string bytes;
    lines = 0;
    units = 0;
    while (std::getline(in, bytes)) {
      std::u16string line(bytes.size(), u'\0');
      int32_t length = 0;
      UErrorCode status = U_ZERO_ERROR;
      u_strFromUTF8WithSub(line.data(), static_cast<int32_t>(line.size()), &length, bytes.data(),
                           static_cast<int32_t>(bytes.size()), 0xFFFD, nullptr, &status);
      line.resize(static_cast<std::size_t>(length));
      ++lines;
      units += line.size();
    }
  }
  if (lines != file.Lines()) state.SkipWithError("wrong line count");
  benchmark::DoNotOptimize(units);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_GetlineUtf8Icu)
    ->ArgName("file")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The scan alone, on a stream that is already open.
void BM_ScanForUtf8(benchmark::State& state) {
  const BenchFile& file = Utf8FileOf(static_cast<int>(state.range(0)));
  std::FILE* stream = std::fopen(file.Path().c_str(), "rb");
  bool utf8 = false;
  for (auto _ : state) utf8 = Qel::Tools::IO::ScanForUtf8(stream);
  std::fclose(stream);
  if (!utf8) state.SkipWithError("not found to be UTF-8");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_ScanForUtf8)
    ->ArgName("file")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Baseline for the scan: reading the file in 256 KiB blocks and OR-ing its bytes, which any
// scan of the file must at least do.
void BM_ScanBaseline_ReadAndOr(benchmark::State& state) {
  const BenchFile& file = Utf8FileOf(static_cast<int>(state.range(0)));
  std::FILE* stream = std::fopen(file.Path().c_str(), "rb");
  std::vector<std::uint64_t> block((1 << 18) / 8);
  std::uint64_t any = 0;
  for (auto _ : state) {
    std::fseek(stream, 0, SEEK_SET);
    for (;;) {
      const std::size_t got = std::fread(block.data(), 1, block.size() * 8, stream);
      if (got == 0) break;
      for (std::size_t i = 0; i < got / 8; ++i) any |= block[i];
    }
    benchmark::DoNotOptimize(any);
  }
  std::fclose(stream);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_ScanBaseline_ReadAndOr)
    ->ArgName("file")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// UTF-16LE with getline at the 0x0A byte: the line feed's high byte 0x00 then starts the next
// piece and is dropped; the units are copied out of the bytes (the data holds no unit whose
// low byte is 0x0A).
void BM_GetlineUtf16(benchmark::State& state) {
  const BenchFile& file = Utf16File();
  std::size_t lines = 0;
  std::size_t units = 0;
  for (auto _ : state) {
    std::ifstream in(file.Path(), std::ios::binary);
    in.seekg(2);
    std::string bytes;
    lines = 0;
    units = 0;
    bool first = true;
    while (std::getline(in, bytes)) {
      const std::size_t skip = first ? 0 : 1;
      first = false;
      if (bytes.size() <= skip + 1) continue;
      std::u16string line((bytes.size() - skip) / 2, u'\0');
      std::memcpy(line.data(), bytes.data() + skip, line.size() * 2);
      ++lines;
      units += line.size();
    }
  }
  if (lines != file.Lines()) state.SkipWithError("wrong line count");
  benchmark::DoNotOptimize(units);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_GetlineUtf16)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
