// A fast 32-bit hash of narrow and UTF-16 texts from a fixed table, equal for equal texts in
// every process and version. Hashing keeps no state, so any thread may hash at any time.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <string>

namespace Qel {

class QEL_API stringhash {
 public:
  // Both constructors do nothing: a stringhash holds no state.
  stringhash() {}
  explicit stringhash(unsigned int) {}

  // Sum of (2i + 1) * H[byte i] modulo 2^32 over all bytes (embedded NULs included); "" gives 0.
  static std::uint32_t GetStringHash(const std::string& text);
  static std::uint32_t GetStringHash(std::uint32_t length, const char* text);
  // The same over UTF-16 units, indexing the table by each unit's low ten bits.
  static std::uint32_t GetStringHashW(const std::u16string& text);
  static std::uint32_t GetStringHashW(std::uint32_t length, const char16_t* text);
};

}  // namespace Qel
