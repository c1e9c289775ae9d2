#include "util/NativePath.h"

#include <cerrno>

#include "qel/core/StringConversion.h"

namespace Qel::Detail {

bool ToNativePath(const std::u16string& path, std::string& out) {
  if (path.find(u'\0') != std::u16string::npos) {
    errno = EINVAL;
    return false;
  }
  out = Utf16ToUtf8(path.data(), path.size());
  // "\" separates folders throughout the library, so it does here too.
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return true;
}

bool GetEntryStatus(const std::u16string& path, bool followLinks, Platform::EntryStatus& status) {
  std::string native;
  return ToNativePath(path, native) && Platform::GetEntryStatus(native, followLinks, status);
}

bool MakeWritable(const std::u16string& path) {
  std::string native;
  return ToNativePath(path, native) && Platform::MakeWritable(native);
}

}  // namespace Qel::Detail
