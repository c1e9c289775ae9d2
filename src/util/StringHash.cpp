#include "qel/util/StringHash.h"

#include "util/StringHashTable.h"

namespace Qel {

std::uint32_t stringhash::GetStringHash(const std::string& text) {
  return GetStringHash(static_cast<std::uint32_t>(text.size()), text.data());
}

std::uint32_t stringhash::GetStringHash(std::uint32_t length, const char* text) {
  const std::uint32_t* table = Detail::kStringHashTable;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  // Four independent sums keep the table loads in flight; the weights step by 8 per round.
  std::uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  std::uint32_t i = 0;
  for (; i + 4 <= length; i += 4) {
    const std::uint32_t w = 2 * i + 1;
    s0 += w * table[bytes[i]];
    s1 += (w + 2) * table[bytes[i + 1]];
    s2 += (w + 4) * table[bytes[i + 2]];
    s3 += (w + 6) * table[bytes[i + 3]];
  }
  for (; i < length; ++i) s0 += (2 * i + 1) * table[bytes[i]];
  return s0 + s1 + s2 + s3;
}

std::uint32_t stringhash::GetStringHashW(const std::u16string& text) {
  return GetStringHashW(static_cast<std::uint32_t>(text.size()), text.data());
}

std::uint32_t stringhash::GetStringHashW(std::uint32_t length, const char16_t* text) {
  const std::uint32_t* table = Detail::kStringHashTable;
  std::uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  std::uint32_t i = 0;
  for (; i + 4 <= length; i += 4) {
    const std::uint32_t w = 2 * i + 1;
    s0 += w * table[text[i] & 0x3FF];
    s1 += (w + 2) * table[text[i + 1] & 0x3FF];
    s2 += (w + 4) * table[text[i + 2] & 0x3FF];
    s3 += (w + 6) * table[text[i + 3] & 0x3FF];
  }
  for (; i < length; ++i) s0 += (2 * i + 1) * table[text[i] & 0x3FF];
  return s0 + s1 + s2 + s3;
}

}  // namespace Qel
