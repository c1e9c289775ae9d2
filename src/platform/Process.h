// Facts about the running process and its host. Nothing throws; callable from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace Qel::Platform {

// The host's name as the system gives it (at most 255 bytes); false with errno set when it
// cannot be read.
bool GetHostName(std::string& out);
// The id of the running process.
std::int64_t ProcessId();

}  // namespace Qel::Platform
