#include "core/Throw.h"

#include "core/MessageFormat.h"
#include "platform/Platform.h"
#include "qel/core/StringConversion.h"
#include "core/Text.h"

namespace Qel::Detail {

void ThrowInvalidArgument(const std::u16string& what) { throw BaseException(1, what); }
void ThrowOutOfMemory(const std::u16string& tag) { throw BaseException(5, tag); }
void ThrowGeneral(const std::u16string& what) { throw BaseException(17, what); }
void ThrowSystemError(int err) { throw BaseException(17, SystemErrorText(err)); }
void ThrowFileError(std::int32_t id, const std::u16string& path, int err) {
  throw FileIOException(id, path, SystemErrorText(err));
}

std::u16string SystemErrorText(int err) {
  const std::string text = Platform::ErrnoText(err);
  if (text.empty()) return u"Unknown system error " + DecimalU16(err);
  std::u16string out;
  ConvertA2W(text, out);
  return out;
}

}  // namespace Qel::Detail
