// The version of a file being read: two signed 32-bit numbers, both -1 while unknown. A SAX
// parser carries one for the callbacks that read a file. A plain value type.
#pragma once

#include <cstdint>

namespace Qel {

struct Version {
  std::int32_t majorVersion = -1;
  std::int32_t minorVersion = -1;

  friend bool operator==(const Version&, const Version&) = default;
};

}  // namespace Qel
