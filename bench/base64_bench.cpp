// Base64 encode and decode of 64 MB beside OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock on the
// same data.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "qel/util/Base64.h"

#ifdef QEL_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

namespace {

constexpr unsigned int kSize = 64u << 20;

const std::vector<unsigned char>& Data() {
  static const std::vector<unsigned char> data = [] {
    std::vector<unsigned char> bytes(kSize);
    std::mt19937 random(42);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    return bytes;
  }();
  return data;
}

const std::string& Encoded() {
  static const std::string text = [] {
    std::string out(Qel::Base64::CalculateEncodedSize(kSize) + 1, '\0');
    Qel::Base64::Encode(Data().data(), kSize, out.data());
    out.pop_back();
    return out;
  }();
  return text;
}

void BM_Base64Encode(benchmark::State& state) {
  Encoded();  // built before timing
  std::string out(Qel::Base64::CalculateEncodedSize(kSize) + 1, '\0');
  for (auto _ : state) {
    Qel::Base64::Encode(Data().data(), kSize, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  out.pop_back();
  if (out != Encoded()) state.SkipWithError("wrong encoding");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Base64Decode(benchmark::State& state) {
  Encoded();
  std::vector<unsigned char> out(
      Qel::Base64::CalculateDecodedSize(static_cast<unsigned int>(Encoded().size())));
  unsigned int length = 0;
  for (auto _ : state) {
    length = static_cast<unsigned int>(Encoded().size());
    Qel::Base64::Decode(Encoded().data(), length, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  out.resize(length);
  if (out != Data()) state.SkipWithError("wrong decoding");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_Base64Decode)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QEL_HAVE_OPENSSL
void BM_OpenSSLEncodeBlock(benchmark::State& state) {
  Encoded();
  std::string out(Qel::Base64::CalculateEncodedSize(kSize) + 1, '\0');
  int written = 0;
  for (auto _ : state) {
    written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), Data().data(), kSize);
    benchmark::DoNotOptimize(out.data());
  }
  out.resize(static_cast<std::size_t>(written));
  if (out != Encoded()) state.SkipWithError("wrong encoding");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_OpenSSLEncodeBlock)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenSSLDecodeBlock(benchmark::State& state) {
  Encoded();
  std::vector<unsigned char> out(Encoded().size() / 4 * 3);
  int written = 0;
  for (auto _ : state) {
    written = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(Encoded().data()),
                              static_cast<int>(Encoded().size()));
    benchmark::DoNotOptimize(out.data());
  }
  // EVP_DecodeBlock counts the padding as zero bytes.
  out.resize(kSize);
  if (written < static_cast<int>(kSize) || out != Data()) state.SkipWithError("wrong decoding");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_OpenSSLDecodeBlock)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
