#include "platform/Uuid.h"

#include <uuid/uuid.h>

namespace Qel::Platform {

UuidBytes GenerateTimeUuid() {
  uuid_t bytes;
  uuid_generate_time_safe(bytes);
  UuidBytes result;
  for (std::size_t i = 0; i < result.size(); ++i) result[i] = bytes[i];
  return result;
}

std::string UuidToText(const UuidBytes& bytes) {
  char text[37];
  uuid_unparse_lower(bytes.data(), text);
  return std::string(text, 36);
}

std::optional<UuidBytes> ParseUuid(const std::string& text) {
  if (text.find('\0') != std::string::npos) return std::nullopt;
  uuid_t bytes;
  if (uuid_parse(text.c_str(), bytes) != 0) return std::nullopt;
  UuidBytes result;
  for (std::size_t i = 0; i < result.size(); ++i) result[i] = bytes[i];
  return result;
}

}  // namespace Qel::Platform
