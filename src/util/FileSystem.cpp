// The single-file and single-folder functions of qel/util/Files.h: which entries count as files
// or folders, and the Windows rules for copies, moves and deletes, over the file-system seam.
#include "platform/FileSystem.h"

#include <cerrno>
#include <vector>

#include "qel/util/Files.h"
#include "util/NativePath.h"

namespace Qel {

bool QelFileExists(const std::u16string& path) {
  Platform::EntryStatus status;
  return Detail::GetEntryStatus(path, true, status) && !status.isFolder;
}

bool QelFolderExists(const std::u16string& path) {
  Platform::EntryStatus status;
  return Detail::GetEntryStatus(path, true, status) && status.isFolder;
}

bool DirExists(const char16_t* path) { return path != nullptr && QelFolderExists(path); }

bool FileIsNewerByDate(const std::u16string& a, const std::u16string& b) {
  Platform::EntryStatus sa;
  Platform::EntryStatus sb;
  if (!Detail::GetEntryStatus(a, true, sa)) return false;
  if (!Detail::GetEntryStatus(b, true, sb)) return true;
  if (sa.modifiedSeconds != sb.modifiedSeconds) return sa.modifiedSeconds > sb.modifiedSeconds;
  return sa.modifiedNanoseconds > sb.modifiedNanoseconds;
}

std::int32_t QelGetFileTime(const std::u16string& path) {
  Platform::EntryStatus status;
  if (!Detail::GetEntryStatus(path, true, status)) return 0;
  return static_cast<std::int32_t>(status.modifiedSeconds);
}

bool QelCopyFile(const std::u16string& source, const std::u16string& target, bool failIfExists) {
  std::string from;
  std::string to;
  if (!Detail::ToNativePath(source, from) || !Detail::ToNativePath(target, to)) return false;
  if (!failIfExists) {
    // Windows overwrites a read-only target only after its flag is cleared.
    Platform::EntryStatus status;
    if (Platform::GetEntryStatus(to, true, status) && status.readOnly) {
      Platform::MakeWritable(to);
    }
  }
  return Platform::CopyRegularFile(from, to, failIfExists);
}

bool QelMoveFile(const std::u16string& source, const std::u16string& target) {
  std::string from;
  std::string to;
  if (!Detail::ToNativePath(source, from) || !Detail::ToNativePath(target, to)) return false;
  if (Platform::RenameNoReplace(from, to)) return true;
  if (errno == EXDEV && QelFileExists(source)) {
    // Across file systems a file is copied and the source deleted.
    if (!QelCopyFile(source, target, true)) return false;
    return Platform::RemoveFile(from);
  }
  return false;
}

bool QelDeleteFile(const std::u16string& path) {
  std::string native;
  if (!Detail::ToNativePath(path, native)) return false;
  Platform::EntryStatus status;
  if (!Platform::GetEntryStatus(native, false, status)) return false;
  if (status.isFolder) {
    errno = EISDIR;
    return false;
  }
  if (status.readOnly && !status.isLink) {
    errno = EACCES;
    return false;
  }
  return Platform::RemoveFile(native);
}

std::FILE* QelOpenFile(const std::u16string& path, const char* mode) {
  std::string native;
  if (!Detail::ToNativePath(path, native)) return nullptr;
  return Platform::OpenStdioFile(native, mode);
}

int QelRmDir(const std::u16string& path) {
  std::string native;
  if (!Detail::ToNativePath(path, native)) return -1;
  return Platform::RemoveFolder(native) ? 0 : -1;
}

bool CreateFolder(const std::u16string& path) {
  std::vector<std::u16string> missing;
  std::u16string current = path;
  while (!current.empty() && !QelFolderExists(current)) {
    missing.push_back(current);
    const std::size_t cut = current.find_last_of(u"\\/");
    if (cut == std::u16string::npos) break;
    current.resize(cut);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    std::string native;
    if (!Detail::ToNativePath(*it, native)) return false;
    // Another process may create the same folder meanwhile; that counts as success.
    if (!Platform::MakeFolder(native) && !(errno == EEXIST && QelFolderExists(*it))) {
      return false;
    }
  }
  return true;
}

}  // namespace Qel
