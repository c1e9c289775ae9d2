#include "platform/Process.h"

#include <unistd.h>

namespace Qel::Platform {

bool GetHostName(std::string& out) {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return false;
  out = buffer;
  return true;
}

std::int64_t ProcessId() { return static_cast<std::int64_t>(::getpid()); }

}  // namespace Qel::Platform
