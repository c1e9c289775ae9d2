#include "text/WordBlocks.h"

#include <vector>

#include "text/WordBlocksEngine.h"

namespace Qel::Detail {

#if defined(QEL_WORD_BLOCKS_BMI2)
// Built in WordBlocksBmi2.cpp with BMI2 enabled.
void FilterWordBlocksBmi2(const char16_t* text, std::uint32_t length, char* out, std::int64_t size,
                          std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables);
void FilterWordBlocksBmi2(const char* text, std::uint32_t length, char* out, std::int64_t size,
                          std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables);
#endif

namespace {

bool ProcessorRunsBmi2Fast() {
#if defined(QEL_WORD_BLOCKS_BMI2) && defined(__x86_64__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt") &&
         !__builtin_cpu_is("znver1") && !__builtin_cpu_is("znver2");
#else
  return false;
#endif
}

template <class Unit>
void Dispatch(const Unit* text, std::uint32_t length, char* out, std::int64_t size,
              std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables,
              WordBlockPath path) {
#if defined(QEL_WORD_BLOCKS_BMI2)
  if (path == WordBlockPath::Bmi2 && WordBlockPathAvailable(path)) {
    FilterWordBlocksBmi2(text, length, out, size, i, written, tables);
    return;
  }
#else
  (void)path;
#endif
  FilterBlocks<false>(text, length, out, size, i, written, tables);
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
  static const bool bmi2 = ProcessorRunsBmi2Fast();
  return path == WordBlockPath::Portable || bmi2;
}

WordBlockPath BestWordBlockPath() {
  return WordBlockPathAvailable(WordBlockPath::Bmi2) ? WordBlockPath::Bmi2
                                                     : WordBlockPath::Portable;
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
