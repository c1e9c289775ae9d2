// Test and benchmark helper: the block engine's wide map, rebuilt from what a filter outputs.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "qel/text/AsciiTextFilter.h"
#include "text/WordBlocks.h"

namespace Qel::Testing {

// The code of one unit as the filter reports it with minimum word length 0: a word of one
// code, nothing for separators and ignorable units, 241 for CJK.
inline int WideCode(AsciiTextFilter* f, char16_t unit) {
  char out[8];
  const unsigned int n = f->FilterTextW(&unit, 1, out, sizeof out);
  if (n == 1) return 0;
  if (n >= 4) return 241;
  return static_cast<unsigned char>(out[1]);
}

// The map the block engine reads for a filter with minimum word length 0.
inline std::vector<unsigned char> BlockMap(AsciiTextFilter* f) {
  std::vector<unsigned char> map(65536);
  for (std::uint32_t u = 0; u < map.size(); ++u) {
    map[u] = static_cast<unsigned char>(WideCode(f, static_cast<char16_t>(u)));
  }
  std::fill(map.begin() + 0xD800, map.begin() + 0xDC00, Detail::kWordBlockHighSurrogate);
  return map;
}

}  // namespace Qel::Testing
