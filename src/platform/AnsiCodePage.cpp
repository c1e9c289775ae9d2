#include "platform/AnsiCodePage.h"

#include <cstdlib>

namespace Qel::Detail {

const std::string& AnsiConverterName() {
  static const std::string name = [] {
    const char* value = std::getenv("QEL_ANSI_CODEPAGE");
    return std::string(value != nullptr && *value != '\0' ? value : "windows-1252");
  }();
  return name;
}

}  // namespace Qel::Detail
