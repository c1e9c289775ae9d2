// The word filter's block engine compiled with AVX-512 (the build enables it for this file only,
// on x86-64); WordBlocks.cpp calls it only on processors that have AVX-512 BW and VBMI2.
#if defined(QEL_WORD_BLOCKS_AVX512)

#if !defined(__AVX512VBMI2__) || !defined(__AVX512BW__) || !defined(__BMI2__)
#error "this file must be compiled with -mavx512bw -mavx512vbmi2 -mbmi2"
#endif

#include "text/WordBlocksEngine.h"

namespace Qel::Detail {

void FilterWordBlocksAvx512(const char16_t* text, std::uint32_t length, char* out,
                            std::int64_t size, std::uint32_t& i, std::int64_t& written,
                            const WordBlockTables& tables) {
  FilterBlocks<WordBlockPath::Avx512>(text, length, out, size, i, written, tables);
}

void FilterWordBlocksAvx512(const char* text, std::uint32_t length, char* out, std::int64_t size,
                            std::uint32_t& i, std::int64_t& written,
                            const WordBlockTables& tables) {
  FilterBlocks<WordBlockPath::Avx512>(text, length, out, size, i, written, tables);
}

}  // namespace Qel::Detail

#endif
