// The constant table of the string hash, shared read-only by all threads.
#pragma once

#include <cstdint>

namespace Qel::Detail {

// Offset added to every generated entry (8 to 1023) of the table.
constexpr std::uint32_t kStringHashOffset = 0xECA62CA2;
extern const std::uint32_t kStringHashTable[1024];

}  // namespace Qel::Detail
