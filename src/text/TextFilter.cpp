#include "qel/text/TextFilter.h"

namespace Qel {

unsigned int TextFilter::FilterText(const char16_t* text, unsigned int length, char* out,
                                    unsigned int outSize, std::vector<std::int32_t>& positions) {
  return FilterTextW(text, length, out, outSize, positions);
}

unsigned int TextFilter::FilterText(const char16_t* text, unsigned int length, char* out,
                                    unsigned int outSize) {
  return FilterTextW(text, length, out, outSize);
}

}  // namespace Qel
