// Primitive values and UTF-16 strings on binary byte streams in a fixed little-endian layout
// (no padding, no type tags), whatever the host. Stateless; the streams belong to the caller,
// who opens them in binary mode. Every failure throws Qel::FileIOException naming the
// operation ("StreamHelper::ReadLong"): 2004 for reads, 2001 for writes.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

class QEL_API StreamHelper {
 public:
  static void ReadBool(std::istream* stream, bool& value);           // 1 byte, 0 or 1
  static void ReadShort(std::istream* stream, std::int16_t& value);  // 2 bytes
  static void ReadLong(std::istream* stream, std::int32_t& value);   // 4 bytes
  static void ReadUnsignedLong(std::istream* stream, std::uint32_t& value);
  static void ReadSize_t(std::istream* stream, std::uint32_t& value);  // 4 bytes
  static void ReadUnsignedLongLong(std::istream* stream, std::uint64_t& value);
  static void ReadDouble(std::istream* stream, double& value);  // IEEE 754 binary64
  // A signed 32-bit byte count n, then n bytes of UTF-16LE units ending with a unit 0. Reads in
  // chunks of at most 1024 bytes and appends each chunk's units up to its first unit 0, so a
  // count larger than the stream fails at its end without allocating for the count. A negative
  // or odd count fails before anything is read. On failure `value` holds the chunks read.
  static void ReadString(std::istream* stream, std::u16string& value);

  static void WriteBool(std::ostream* stream, bool value);
  static void WriteShort(std::ostream* stream, std::int16_t value);
  static void WriteLong(std::ostream* stream, std::int32_t value);
  static void WriteUnsignedLong(std::ostream* stream, std::uint32_t value);
  static void WriteSize_t(std::ostream* stream, std::uint32_t value);
  static void WriteUnsignedLongLong(std::ostream* stream, std::uint64_t value);
  static void WriteDouble(std::ostream* stream, double value);
  // Writes the layout ReadString reads; a string too long for a 32-bit count fails.
  static void WriteString(std::ostream* stream, const std::u16string& value);
};
