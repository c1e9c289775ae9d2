#include "qel/util/StreamHelper.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "core/Throw.h"
#include "util/LittleEndian.h"

namespace {

// The system's text for the failure, or a plain statement when the stream set no errno.
std::u16string FailureText(bool reading) {
  if (errno != 0) return Qel::Detail::SystemErrorText(errno);
  return reading ? u"unexpected end of data or stream error" : u"stream error";
}

[[noreturn]] void ReadFailed(const char16_t* operation) {
  Qel::Detail::Throw<Qel::FileIOException>(Qel::ErrorId::FileRead, operation, FailureText(true));
}

[[noreturn]] void WriteFailed(const char16_t* operation) {
  Qel::Detail::Throw<Qel::FileIOException>(Qel::ErrorId::FileWrite, operation, FailureText(false));
}

void ReadBytes(std::istream* stream, unsigned char* bytes, std::streamsize count,
               const char16_t* operation) {
  errno = 0;
  if (stream == nullptr) ReadFailed(operation);
  stream->read(reinterpret_cast<char*>(bytes), count);
  if (stream->fail()) ReadFailed(operation);
}

void WriteBytes(std::ostream* stream, const unsigned char* bytes, std::streamsize count,
                const char16_t* operation) {
  errno = 0;
  if (stream == nullptr) WriteFailed(operation);
  stream->write(reinterpret_cast<const char*>(bytes), count);
  if (stream->fail()) WriteFailed(operation);
}

template <class T>
T ReadValue(std::istream* stream, const char16_t* operation) {
  unsigned char bytes[sizeof(T)];
  ReadBytes(stream, bytes, sizeof(T), operation);
  return Qel::Detail::LoadLittleEndian<T>(bytes);
}

template <class T>
void WriteValue(std::ostream* stream, T value, const char16_t* operation) {
  unsigned char bytes[sizeof(T)];
  Qel::Detail::StoreLittleEndian(value, bytes);
  WriteBytes(stream, bytes, sizeof(T), operation);
}

}  // namespace

void StreamHelper::ReadBool(std::istream* stream, bool& value) {
  value = ReadValue<std::uint8_t>(stream, u"StreamHelper::ReadBool") != 0;
}

void StreamHelper::ReadShort(std::istream* stream, std::int16_t& value) {
  value = static_cast<std::int16_t>(ReadValue<std::uint16_t>(stream, u"StreamHelper::ReadShort"));
}

void StreamHelper::ReadLong(std::istream* stream, std::int32_t& value) {
  value = static_cast<std::int32_t>(ReadValue<std::uint32_t>(stream, u"StreamHelper::ReadLong"));
}

void StreamHelper::ReadUnsignedLong(std::istream* stream, std::uint32_t& value) {
  value = ReadValue<std::uint32_t>(stream, u"StreamHelper::ReadUnsignedLong");
}

void StreamHelper::ReadSize_t(std::istream* stream, std::uint32_t& value) {
  value = ReadValue<std::uint32_t>(stream, u"StreamHelper::ReadSize_t");
}

void StreamHelper::ReadUnsignedLongLong(std::istream* stream, std::uint64_t& value) {
  value = ReadValue<std::uint64_t>(stream, u"StreamHelper::ReadUnsignedLongLong");
}

void StreamHelper::ReadDouble(std::istream* stream, double& value) {
  value = ReadValue<double>(stream, u"StreamHelper::ReadDouble");
}

void StreamHelper::ReadString(std::istream* stream, std::u16string& value) {
  constexpr const char16_t* kOperation = u"StreamHelper::ReadString";
  const auto count = static_cast<std::int32_t>(ReadValue<std::uint32_t>(stream, kOperation));
  value.clear();
  // WriteString never writes these counts; reading them could only go wrong.
  if (count < 0 || count % 2 != 0) {
    Qel::Detail::Throw<Qel::FileIOException>(Qel::ErrorId::FileRead, kOperation,
                                             u"invalid string length");
  }
  constexpr std::int32_t kChunk = 1024;
  unsigned char chunk[kChunk + 2];
  for (std::int32_t left = count; left > 0;) {
    const std::int32_t size = left < kChunk ? left : kChunk;
    std::memset(chunk, 0, sizeof chunk);
    ReadBytes(stream, chunk, size, kOperation);
    for (std::int32_t i = 0; i + 1 < size + 2; i += 2) {
      const auto unit = Qel::Detail::LoadLittleEndian<char16_t>(chunk + i);
      if (unit == 0) break;
      value += unit;
    }
    left -= size;
  }
}

void StreamHelper::WriteBool(std::ostream* stream, bool value) {
  WriteValue<std::uint8_t>(stream, value ? 1 : 0, u"StreamHelper::WriteBool");
}

void StreamHelper::WriteShort(std::ostream* stream, std::int16_t value) {
  WriteValue(stream, static_cast<std::uint16_t>(value), u"StreamHelper::WriteShor");
}

void StreamHelper::WriteLong(std::ostream* stream, std::int32_t value) {
  WriteValue(stream, static_cast<std::uint32_t>(value), u"StreamHelper::WriteLong");
}

void StreamHelper::WriteUnsignedLong(std::ostream* stream, std::uint32_t value) {
  WriteValue(stream, value, u"StreamHelper::WriteUnsignedLong");
}

void StreamHelper::WriteSize_t(std::ostream* stream, std::uint32_t value) {
  WriteValue(stream, value, u"StreamHelper::WriteSize_t");
}

void StreamHelper::WriteUnsignedLongLong(std::ostream* stream, std::uint64_t value) {
  WriteValue(stream, value, u"StreamHelper::WriteUnsignedLongLong");
}

void StreamHelper::WriteDouble(std::ostream* stream, double value) {
  WriteValue(stream, value, u"StreamHelper::WriteDouble");
}

void StreamHelper::WriteString(std::ostream* stream, const std::u16string& value) {
  constexpr const char16_t* kOperation = u"StreamHelper::WriteString";
  constexpr std::size_t kMaxUnits = std::numeric_limits<std::int32_t>::max() / 2 - 1;
  if (value.size() > kMaxUnits) {
    Qel::Detail::Throw<Qel::FileIOException>(Qel::ErrorId::FileWrite, kOperation,
                                             u"string too long");
  }
  const auto count = static_cast<std::uint32_t>((value.size() + 1) * 2);
  WriteValue(stream, count, kOperation);
  std::vector<unsigned char> bytes(count, 0);
  for (std::size_t i = 0; i < value.size(); ++i)
    Qel::Detail::StoreLittleEndian(value[i], bytes.data() + 2 * i);
  WriteBytes(stream, bytes.data(), count, kOperation);
}
