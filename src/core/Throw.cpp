#include "core/Throw.h"

#include "core/MessageFormat.h"
#include "core/Text.h"
#include "platform/Platform.h"
#include "qel/core/StringConversion.h"

namespace Qel::Detail {

void ThrowInvalidArgument(const std::u16string& what) { Throw(ErrorId::InvalidArgument, what); }
void ThrowOutOfMemory(const std::u16string& tag) { Throw(ErrorId::OutOfMemory, tag); }
void ThrowGeneral(const std::u16string& what) { Throw(ErrorId::General, what); }
void ThrowSystemError(int err) { Throw(ErrorId::General, SystemErrorText(err)); }
void ThrowFileError(ErrorId id, const std::u16string& path, int err) {
  Throw<FileIOException>(id, path, SystemErrorText(err));
}

std::u16string SystemErrorText(int err) {
  const std::string text = Platform::ErrnoText(err);
  if (text.empty()) return u"Unknown system error " + DecimalU16(err);
  std::u16string out;
  ConvertA2W(text, out);
  return out;
}

}  // namespace Qel::Detail
