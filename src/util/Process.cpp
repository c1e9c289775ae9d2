// GetHostname and GetPID of qel/util/Files.h over the seam's process facts.
#include "platform/Process.h"

#include <string>

#include "qel/core/StringConversion.h"
#include "qel/util/Files.h"

namespace Qel {

bool GetHostname(std::u16string& out) {
  std::string host;
  if (!Platform::GetHostName(host)) return false;
  std::u16string name;
  if (!ConvertA2W(host, name)) return false;
  out = name;
  return true;
}

void GetPID(std::u16string& out) {
  const std::string text = std::to_string(static_cast<long long>(Platform::ProcessId()));
  out.assign(text.begin(), text.end());
}

}  // namespace Qel
