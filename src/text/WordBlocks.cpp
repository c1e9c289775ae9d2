#include "text/WordBlocks.h"

#include <vector>

#include "text/WordBlocksEngine.h"

namespace Qel::Detail {

// Built in WordBlocksBmi2.cpp and WordBlocksAvx512.cpp with those instruction sets enabled.
#if defined(QEL_WORD_BLOCKS_BMI2)
void FilterWordBlocksBmi2(const char16_t* text, std::uint32_t length, char* out, std::int64_t size,
                          std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables);
void FilterWordBlocksBmi2(const char* text, std::uint32_t length, char* out, std::int64_t size,
                          std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables);
#endif
#if defined(QEL_WORD_BLOCKS_AVX512)
void FilterWordBlocksAvx512(const char16_t* text, std::uint32_t length, char* out,
                            std::int64_t size, std::uint32_t& i, std::int64_t& written,
                            const WordBlockTables& tables);
void FilterWordBlocksAvx512(const char* text, std::uint32_t length, char* out, std::int64_t size,
                            std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables);
#endif

namespace {

bool ProcessorRuns(WordBlockPath path) {
#if defined(__x86_64__) && (defined(QEL_WORD_BLOCKS_BMI2) || defined(QEL_WORD_BLOCKS_AVX512))
  __builtin_cpu_init();
  const bool bmi = __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi") &&
                   __builtin_cpu_supports("bmi2");
  switch (path) {
    case WordBlockPath::Portable:
      return true;
    case WordBlockPath::Bmi2:
#if defined(QEL_WORD_BLOCKS_BMI2)
      return bmi;
#else
      return false;
#endif
    case WordBlockPath::Avx512:
#if defined(QEL_WORD_BLOCKS_AVX512)
      // The compiler's check includes the operating system's support for the AVX-512 state.
      return bmi && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi2");
#else
      return false;
#endif
  }
  return false;
#else
  return path == WordBlockPath::Portable;
#endif
}

template <class Unit>
void Dispatch(const Unit* text, std::uint32_t length, char* out, std::int64_t size,
              std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables,
              WordBlockPath path) {
  if (!WordBlockPathAvailable(path)) path = WordBlockPath::Portable;
  switch (path) {
#if defined(QEL_WORD_BLOCKS_AVX512)
    case WordBlockPath::Avx512:
      FilterWordBlocksAvx512(text, length, out, size, i, written, tables);
      return;
#endif
#if defined(QEL_WORD_BLOCKS_BMI2)
    case WordBlockPath::Bmi2:
      FilterWordBlocksBmi2(text, length, out, size, i, written, tables);
      return;
#endif
    default:
      FilterBlocks<WordBlockPath::Portable>(text, length, out, size, i, written, tables);
  }
}

}  // namespace

const std::uint32_t* CjkSpellings() {
  static const std::vector<std::uint32_t> spellings = [] {
    std::vector<std::uint32_t> all(65536);
    for (std::uint32_t u = 0; u < all.size(); ++u) {
      EncodeCjkUnit(static_cast<char16_t>(u), 0, reinterpret_cast<char*>(&all[u]));
    }
    return all;
  }();
  return spellings.data();
}

bool WordBlockPathAvailable(WordBlockPath path) {
  static const bool available[3] = {true, ProcessorRuns(WordBlockPath::Bmi2),
                                    ProcessorRuns(WordBlockPath::Avx512)};
  return available[static_cast<int>(path)];
}

WordBlockPath BestWordBlockPath() {
  for (WordBlockPath path : {WordBlockPath::Avx512, WordBlockPath::Bmi2}) {
    if (WordBlockPathAvailable(path)) return path;
  }
  return WordBlockPath::Portable;
}

void FilterWordBlocks(const char16_t* text, std::uint32_t length, char* out, std::int64_t size,
                      std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables,
                      WordBlockPath path) {
  Dispatch(text, length, out, size, i, written, tables, path);
}

void FilterWordBlocks(const char* text, std::uint32_t length, char* out, std::int64_t size,
                      std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables,
                      WordBlockPath path) {
  Dispatch(text, length, out, size, i, written, tables, path);
}

}  // namespace Qel::Detail
