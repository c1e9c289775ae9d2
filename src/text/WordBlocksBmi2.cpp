// The word filter's block engine compiled with POPCNT, BMI1 and BMI2 (the build enables them for
// this file only, on x86-64); WordBlocks.cpp calls it only on processors that have them.
#if defined(QEL_WORD_BLOCKS_BMI2)

#if !defined(__BMI2__) || !defined(__BMI__) || !defined(__POPCNT__)
#error "this file must be compiled with -mpopcnt -mbmi -mbmi2"
#endif

#include "text/WordBlocksEngine.h"

namespace Qel::Detail {

void FilterWordBlocksBmi2(const char16_t* text, std::uint32_t length, char* out, std::int64_t size,
                          std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables) {
  FilterBlocks<WordBlockPath::Bmi2>(text, length, out, size, i, written, tables);
}

void FilterWordBlocksBmi2(const char* text, std::uint32_t length, char* out, std::int64_t size,
                          std::uint32_t& i, std::int64_t& written, const WordBlockTables& tables) {
  FilterBlocks<WordBlockPath::Bmi2>(text, length, out, size, i, written, tables);
}

}  // namespace Qel::Detail

#endif
