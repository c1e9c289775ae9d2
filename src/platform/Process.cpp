// Facts about the running process and host.
#include <unistd.h>

#include <string>

#include "qel/util/Files.h"
#include "qel/core/StringConversion.h"

namespace Qel {

bool GetHostname(std::u16string& out) {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return false;
  std::u16string name;
  if (!ConvertA2W(buffer, name)) return false;
  out = name;
  return true;
}

void GetPID(std::u16string& out) {
  const std::string text = std::to_string(static_cast<long long>(::getpid()));
  out.assign(text.begin(), text.end());
}

}  // namespace Qel
