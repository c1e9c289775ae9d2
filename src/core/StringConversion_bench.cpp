// UTF-8 <-> UTF-16 throughput of the library beside ICU's u_strFromUTF8 / u_strToUTF8 on the same
// input. "String" cases produce a string as callers get it; "Buffer" cases convert into a
// preallocated buffer, so that the conversion loops themselves are compared.
#include <benchmark/benchmark.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "core/Utf.h"
#include "platform/Platform.h"
#include "qel/core/StringConversion.h"

namespace {

constexpr std::size_t kTargetSize = 1 << 20;

std::string Repeat(const std::string& piece) {
  std::string text;
  text.reserve(kTargetSize + piece.size());
  while (text.size() < kTargetSize) text += piece;
  return text;
}

const std::string& AsciiText() {
  static const std::string text = Repeat(
      "Invoice 2024-117: the customer ordered 12 units of part A-4711 at 19.99 EUR each. "
      "Please pay within 30 days to the account given below.\n");
  return text;
}

const std::string& MixedText() {
  static const std::string text = Repeat(
      "Rechnung Nr. 17 f\xC3\xBCr M\xC3\xBCller & S\xC3\xB6hne, Stra\xC3\x9F"
      "e 5; \xD0\xA1\xD1\x87\xD0\xB5\xD1\x82 \xE2\x84\x96 17 \xD0\xB4\xD0\xBB\xD1\x8F "
      "\xD0\x9E\xD0\x9E\xD0\x9E \xC2\xAB\xD0\x9C\xD0\xB8\xD1\x80\xC2\xBB, "
      "\xE5\x8F\x91\xE7\xA5\xA8\xE5\x8F\xB7\xE7\xA0\x81 17 \xE4\xB8\x8A\xE6\xB5\xB7"
      "\xE5\xB8\x82\xE6\x9C\x89\xE9\x99\x90\xE5\x85\xAC\xE5\x8F\xB8 "
      "\xE2\x82\xAC 19,99 caf\xC3\xA9 na\xC3\xAFve \xF0\x9F\x93\x84\n");
  return text;
}

// Greek and Devanagari prose with a little ASCII: a text the loops were not tuned on.
const std::string& OtherText() {
  static const std::string text = Repeat(
      "\xCE\xA4\xCE\xBF \xCF\x84\xCE\xB9\xCE\xBC\xCE\xBF\xCE\xBB\xCF\x8C\xCE\xB3"
      "\xCE\xB9\xCE\xBF 17 \xCE\xB5\xCE\xAF\xCE\xBD\xCE\xB1\xCE\xB9 \xCE\xB5\xCE\xB4"
      "\xCF\x8E. \xE0\xA4\xAF\xE0\xA4\xB9 \xE0\xA4\x9A\xE0\xA4\xBE\xE0\xA4\xB2"
      "\xE0\xA4\xBE\xE0\xA4\xA8 \xE0\xA4\xB9\xE0\xA5\x88 (42).\n");
  return text;
}

const std::string& Input(int corpus) {
  return corpus == 0 ? AsciiText() : corpus == 1 ? MixedText() : OtherText();
}

// The same texts at 64 MB, for the conversions that return a fresh string: there the cost of
// the result's memory shows.
const std::string& LargeInput(int corpus) {
  static const std::array<std::string, 3> texts = [] {
    std::array<std::string, 3> all;
    for (int c = 0; c < 3; ++c) {
      all[c].reserve((64u << 20) + (1u << 20));
      while (all[c].size() < (64u << 20)) all[c] += Input(c);
    }
    return all;
  }();
  return texts[corpus];
}

std::u16string IcuFromUtf8(const std::string& text) {
  std::u16string out(text.size(), u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                static_cast<int32_t>(text.size()), &status);
  out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
  return out;
}

std::string IcuToUtf8(const std::u16string& text) {
  std::string out(text.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
              static_cast<int32_t>(text.size()), &status);
  out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
  return out;
}

bool CheckSame(benchmark::State& state, bool same) {
  if (!same) state.SkipWithError("the library and ICU disagree on this input");
  return same;
}

void BM_Utf8ToUtf16_Qel(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  if (!CheckSame(state, Qel::Utf8ToUtf16(text.data(), text.size()) == IcuFromUtf8(text))) return;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Qel::Utf8ToUtf16(text.data(), text.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf8ToUtf16_Icu(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(IcuFromUtf8(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf16ToUtf8_Qel(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  const std::u16string wide = IcuFromUtf8(text);
  if (!CheckSame(state, Qel::Utf16ToUtf8(wide.data(), wide.size()) == text)) return;
  for (auto _ : state) benchmark::DoNotOptimize(Qel::Utf16ToUtf8(wide.data(), wide.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf16ToUtf8_Icu(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  const std::u16string wide = IcuFromUtf8(text);
  for (auto _ : state) benchmark::DoNotOptimize(IcuToUtf8(wide));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf8ToUtf16Buffer_Qel(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  std::u16string out(text.size(), u'\0');
  const std::size_t length = Qel::Detail::Utf8ToUtf16Buffer(text.data(), text.size(), out.data());
  if (!CheckSame(state, out.substr(0, length) == IcuFromUtf8(text))) return;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Qel::Detail::Utf8ToUtf16Buffer(text.data(), text.size(), out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf8ToUtf16Buffer_Icu(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  std::u16string out(text.size(), u'\0');
  for (auto _ : state) {
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                  static_cast<int32_t>(text.size()), &status);
    benchmark::DoNotOptimize(length);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf16ToUtf8Buffer_Qel(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  const std::u16string wide = IcuFromUtf8(text);
  std::string out(wide.size() * 3, '\0');
  const std::size_t length =
      Qel::Detail::Utf16ToUtf8Buffer(wide.data(), wide.size(), out.data(), out.size());
  if (!CheckSame(state, out.substr(0, length) == text)) return;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        Qel::Detail::Utf16ToUtf8Buffer(wide.data(), wide.size(), out.data(), out.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf16ToUtf8Buffer_Icu(benchmark::State& state) {
  const std::string& text = Input(static_cast<int>(state.range(0)));
  const std::u16string wide = IcuFromUtf8(text);
  std::string out(wide.size() * 3, '\0');
  for (auto _ : state) {
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, wide.data(),
                static_cast<int32_t>(wide.size()), &status);
    benchmark::DoNotOptimize(length);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ConvertUtf8ToWideChar_Qel(benchmark::State& state) {
  const std::string& text = LargeInput(static_cast<int>(state.range(0)));
  if (!CheckSame(state, Qel::ConvertUtf8ToWideChar(text) == IcuFromUtf8(text))) return;
  for (auto _ : state) benchmark::DoNotOptimize(Qel::ConvertUtf8ToWideChar(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// ICU producing a fresh std::u16string the same way: the length of the text, a result of the
// bound's size, the conversion, the result cut to length.
void BM_ConvertUtf8ToWideChar_Icu(benchmark::State& state) {
  const std::string& text = LargeInput(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const std::size_t size = std::strlen(text.c_str());
    std::u16string out(size, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                  static_cast<int32_t>(size), &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The same with the huge-page hint the library gives its fresh results, so that the two differ
// only in the zero fill and the conversion loop.
void BM_ConvertUtf8ToWideChar_IcuHugePages(benchmark::State& state) {
  const std::string& text = LargeInput(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const std::size_t size = std::strlen(text.c_str());
    std::u16string out;
    out.reserve(size);
    Qel::Platform::AdviseHugePages(out.data(), out.capacity() * sizeof(char16_t));
    out.resize(size);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                  static_cast<int32_t>(size), &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ConvertWideCharToUtf8_Qel(benchmark::State& state) {
  const std::string& text = LargeInput(static_cast<int>(state.range(0)));
  const std::u16string wide = IcuFromUtf8(text);
  if (!CheckSame(state, Qel::ConvertWideCharToUtf8(wide) == text)) return;
  for (auto _ : state) benchmark::DoNotOptimize(Qel::ConvertWideCharToUtf8(wide));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ConvertWideCharToUtf8_Icu(benchmark::State& state) {
  const std::string& text = LargeInput(static_cast<int>(state.range(0)));
  const std::u16string wide = IcuFromUtf8(text);
  for (auto _ : state) benchmark::DoNotOptimize(IcuToUtf8(wide));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// UTF-16 to UTF-8 in pieces of 1 MiB units into one string that keeps its capacity.
constexpr std::size_t kPiece = 1 << 20;

void BM_ConvertWideCharToUtf8_IcuHugePages(benchmark::State& state) {
  const std::string& text = LargeInput(static_cast<int>(state.range(0)));
  const std::u16string wide = IcuFromUtf8(text);
  for (auto _ : state) {
    std::string out;
    out.reserve(wide.size() * 3);
    Qel::Platform::AdviseHugePages(out.data(), out.capacity());
    out.resize(wide.size() * 3);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, wide.data(),
                static_cast<int32_t>(wide.size()), &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf16ToUtf8Pieces_Qel(benchmark::State& state) {
  const std::string& text = LargeInput(static_cast<int>(state.range(0)));
  const std::u16string wide = IcuFromUtf8(text);
  std::string out;
  std::size_t total = 0;
  for (auto _ : state) {
    total = 0;
    for (std::size_t at = 0; at < wide.size(); at += kPiece) {
      const std::size_t units = std::min(kPiece, wide.size() - at);
      Qel::Utf16ToUtf8(wide.data() + at, units, out);
      total += out.size();
      benchmark::DoNotOptimize(out.data());
    }
  }
  if (total != text.size()) state.SkipWithError("wrong length");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf16ToUtf8Pieces_Icu(benchmark::State& state) {
  const std::string& text = LargeInput(static_cast<int>(state.range(0)));
  const std::u16string wide = IcuFromUtf8(text);
  std::string out(kPiece * 3, '\0');
  std::size_t total = 0;
  for (auto _ : state) {
    total = 0;
    for (std::size_t at = 0; at < wide.size(); at += kPiece) {
      const std::size_t units = std::min(kPiece, wide.size() - at);
      int32_t length = 0;
      UErrorCode status = U_ZERO_ERROR;
      u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, wide.data() + at,
                  static_cast<int32_t>(units), &status);
      total += static_cast<std::size_t>(length);
      benchmark::DoNotOptimize(out.data());
    }
  }
  if (total != text.size()) state.SkipWithError("wrong length");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

}  // namespace

// Argument 0: ASCII text; 1: mixed Latin, Cyrillic and CJK text; 2: Greek and Devanagari text.
// Bytes are UTF-8 bytes.
static void Inputs(benchmark::internal::Benchmark* b) { b->ArgName("mixed")->DenseRange(0, 2); }

BENCHMARK(BM_Utf8ToUtf16_Qel)->Apply(Inputs);
BENCHMARK(BM_Utf8ToUtf16_Icu)->Apply(Inputs);
BENCHMARK(BM_Utf16ToUtf8_Qel)->Apply(Inputs);
BENCHMARK(BM_Utf16ToUtf8_Icu)->Apply(Inputs);
BENCHMARK(BM_Utf8ToUtf16Buffer_Qel)->Apply(Inputs);
BENCHMARK(BM_Utf8ToUtf16Buffer_Icu)->Apply(Inputs);
BENCHMARK(BM_Utf16ToUtf8Buffer_Qel)->Apply(Inputs);
BENCHMARK(BM_Utf16ToUtf8Buffer_Icu)->Apply(Inputs);
BENCHMARK(BM_ConvertUtf8ToWideChar_Qel)->Apply(Inputs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertUtf8ToWideChar_Icu)->Apply(Inputs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertUtf8ToWideChar_IcuHugePages)->Apply(Inputs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertWideCharToUtf8_IcuHugePages)->Apply(Inputs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertWideCharToUtf8_Qel)->Apply(Inputs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertWideCharToUtf8_Icu)->Apply(Inputs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf16ToUtf8Pieces_Qel)->Apply(Inputs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf16ToUtf8Pieces_Icu)->Apply(Inputs)->Unit(benchmark::kMillisecond);
