// UUIDs: creation of time-based UUIDs and their canonical 36-character text form. The
// functions keep no state of their own and may be called from any thread.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <string>

namespace Qel {

// A UUID with the field layout of the system GUID: the first three fields are numbers (their
// text is written most significant digit first), the last eight bytes are kept in text order.
struct _QELGUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};
};

// Fills `out` with a new time-based (version 1) UUID.
QEL_API void QelUuidCreate(_QELGUID* out);
// Lower-case canonical text: 8-4-4-4-12 hexadecimal digits joined by "-", no braces.
QEL_API std::u16string QelUuidToString(_QELGUID* uuid);
// Parses the canonical 36-character form (either case). Throws BaseException 1 for any other
// shape (braces, wrong length, non-hexadecimal characters) and std::out_of_range for an empty
// text.
QEL_API void QelUuidFromString(const std::u16string& text, _QELGUID* out);
// The text of a new UUID.
QEL_API std::u16string QelNewGuid();
// "00000000-0000-0000-0000-000000000000".
QEL_API std::u16string QelNullGuid();

}  // namespace Qel
