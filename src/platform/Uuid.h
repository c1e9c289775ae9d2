// UUIDs over libuuid, as 16 bytes in network order (the order of their text). Nothing throws;
// callable from any thread.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace Qel::Platform {

using UuidBytes = std::array<unsigned char, 16>;

// A new time-based (version 1) UUID; one that is unique only on this host (no safe clock
// sequence) is accepted too.
UuidBytes GenerateTimeUuid();
// The lower-case 36-character text of `bytes`.
std::string UuidToText(const UuidBytes& bytes);
// The bytes of a 36-character UUID text (either case); nothing when the system refuses it.
std::optional<UuidBytes> ParseUuid(const std::string& text);

}  // namespace Qel::Platform
