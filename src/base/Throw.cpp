#include "base/Throw.h"

#include "base/MessageFormat.h"
#include "platform/Platform.h"
#include "qel/util/StringConversion.h"

namespace Qel::Detail {

void ThrowInvalidArgument(const std::u16string& what) { Throw(ErrorId::InvalidArgument, what); }
void ThrowOutOfMemory(const std::u16string& tag) { Throw(ErrorId::OutOfMemory, tag); }
void ThrowGeneral(const std::u16string& what) { Throw(ErrorId::General, what); }
void ThrowSystemError(int err) { Throw(ErrorId::General, SystemErrorText(err)); }
void ThrowFileError(ErrorId id, const std::u16string& path, int err) {
  Throw<FileIOException>(id, path, SystemErrorText(err));
}
void ThrowFileError(std::int32_t id, const std::u16string& path, int err) {
  Throw<FileIOException>(id, path, SystemErrorText(err));
}

std::u16string SystemErrorText(int err) {
  const std::string text = Platform::ErrnoText(err);
  if (text.empty()) return u"Unknown system error " + AsciiToU16(std::to_string(err));
  std::u16string out;
  ConvertA2W(text, out);
  return out;
}

}  // namespace Qel::Detail
