// The UUID functions of qel/util/Guid.h over the seam's UUIDs. The seam keeps UUIDs as 16 bytes
// in network order; the GUID layout keeps its first three fields as numbers, so the conversion
// below reorders them.
#include "qel/util/Guid.h"

#include <stdexcept>

#include "core/Throw.h"
#include "platform/Uuid.h"

namespace Qel {

namespace {

void ToGuid(const Platform::UuidBytes& bytes, _QELGUID& guid) {
  guid.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
               (std::uint32_t{bytes[2]} << 8) | bytes[3];
  guid.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
}

Platform::UuidBytes FromGuid(const _QELGUID& guid) {
  Platform::UuidBytes bytes;
  bytes[0] = static_cast<unsigned char>(guid.Data1 >> 24);
  bytes[1] = static_cast<unsigned char>(guid.Data1 >> 16);
  bytes[2] = static_cast<unsigned char>(guid.Data1 >> 8);
  bytes[3] = static_cast<unsigned char>(guid.Data1);
  bytes[4] = static_cast<unsigned char>(guid.Data2 >> 8);
  bytes[5] = static_cast<unsigned char>(guid.Data2);
  bytes[6] = static_cast<unsigned char>(guid.Data3 >> 8);
  bytes[7] = static_cast<unsigned char>(guid.Data3);
  for (int i = 0; i < 8; ++i) bytes[8 + i] = guid.Data4[i];
  return bytes;
}

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

}  // namespace

void QelUuidCreate(_QELGUID* out) { ToGuid(Platform::GenerateTimeUuid(), *out); }

std::u16string QelUuidToString(_QELGUID* uuid) {
  const std::string text = Platform::UuidToText(FromGuid(*uuid));
  return std::u16string(text.begin(), text.end());
}

void QelUuidFromString(const std::u16string& text, _QELGUID* out) {
  if (text.empty()) throw std::out_of_range("invalid string position");
  // Checked here, not by libuuid alone, so that the shape is exact whatever its version.
  bool valid = text.size() == 36;
  for (std::size_t i = 0; valid && i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    valid = dash ? text[i] == u'-' : IsHexDigit(text[i]);
  }
  if (!valid) Detail::ThrowInvalidArgument(u"Invalid UUID passed to QelUuidFromString");
  std::string narrow(36, '\0');
  for (std::size_t i = 0; i < 36; ++i) narrow[i] = static_cast<char>(text[i]);
  const std::optional<Platform::UuidBytes> bytes = Platform::ParseUuid(narrow);
  if (!bytes) Detail::ThrowInvalidArgument(u"Invalid UUID passed to QelUuidFromString");
  ToGuid(*bytes, *out);
}

std::u16string QelNewGuid() {
  _QELGUID guid;
  QelUuidCreate(&guid);
  return QelUuidToString(&guid);
}

std::u16string QelNullGuid() { return u"00000000-0000-0000-0000-000000000000"; }

}  // namespace Qel
