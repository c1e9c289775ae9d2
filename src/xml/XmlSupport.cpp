#include "xml/XmlSupport.h"

#include <cerrno>

#include "core/Text.h"
#include "core/Throw.h"
#include "xml/XmlLibrary.h"

namespace Qel::Detail {
namespace {

[[noreturn]] void ThrowGzipError(gzFile file, const std::u16string& path) {
  int code = Z_OK;
  const char* message = gzerror(file, &code);
  if (code == Z_ERRNO) ThrowFileError(ErrorId::FileRead, path, errno);
  std::string text = message != nullptr && *message != 0 ? message : "read error";
  Throw<FileIOException>(ErrorId::FileRead, path, AsciiToU16(text));
}

}  // namespace

int ReadGzipChunk(gzFile file, char* buffer, int size, const std::u16string& path) {
  const int read = gzread(file, buffer, static_cast<unsigned int>(size));
  if (read < 0) ThrowGzipError(file, path);
  if (read < size) {
    // A truncated stream ends like a short file; only the error state tells them apart.
    int code = Z_OK;
    gzerror(file, &code);
    if (code != Z_OK) ThrowGzipError(file, path);
  }
  return read;
}

void ThrowDocumentTooLarge(const std::u16string& path) {
  Throw<FileIOException>(
      ErrorId::FileRead, path,
      u"the document expands beyond " + DecimalU16(kMaxDocumentBytes >> 20) + u" MiB");
}

bool ChargeEntityExpansion(std::size_t& used, int length) {
  used += static_cast<std::size_t>(length) + 1;
  return used <= kMaxEntityExpansion;
}

void ThrowEntityExpansion() {
  Throw<XMLFormatException>(ErrorId::XmlDocumentTooLarge, u"entity expansion beyond 16 MiB");
}

}  // namespace Qel::Detail
