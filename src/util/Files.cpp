// Bulk file operations built on the file primitives and folder searches.
#include "qel/util/Files.h"

#include <string>
#include <vector>

#include "core/Throw.h"
#include "util/NativePath.h"

namespace Qel {

namespace {

// Every entry matching `pattern`, collected before the caller changes the folder, so that
// renamed or created entries are not met again. False when the search found nothing.
bool FindAll(const std::u16string& pattern, std::vector<_wfinddata64i32_t>& entries) {
  _wfinddata64i32_t data;
  const int handle = QelFindFirst(pattern, &data);
  if (handle == -1) return false;
  do {
    entries.push_back(data);
  } while (QelFindNext(handle, &data));
  QelFindClose(handle);
  return true;
}

bool IsDotEntry(const std::u16string& name) { return name == u"." || name == u".."; }

std::u16string Join(const std::u16string& folder, const std::u16string& name) {
  return folder + u"/" + name;
}

}  // namespace

bool QelDelTree(const std::u16string& folder) {
  std::vector<_wfinddata64i32_t> entries;
  // Every folder holds at least "." and "..": finding nothing means it cannot be listed.
  if (!FindAll(Join(folder, u"*"), entries)) return false;
  for (const _wfinddata64i32_t& data : entries) {
    if (IsDotEntry(data.name)) continue;
    const std::u16string path = Join(folder, data.name);
    Platform::EntryStatus status;
    if (!Detail::GetEntryStatus(path, false, status)) return false;
    if (status.isFolder) {
      // A link to a folder is not followed: it is deleted like a file below.
      if (!QelDelTree(path)) return false;
    } else {
      if (status.readOnly && !status.isLink) Detail::MakeWritable(path);
      if (!QelDeleteFile(path)) return false;
    }
  }
  return QelRmDir(folder) == 0;
}

bool CopyFiles(const std::u16string& source, const std::u16string& target,
               const std::u16string& pattern, bool createTargetFolder, bool overwrite) {
  if (!QelFolderExists(target)) {
    if (!createTargetFolder || !CreateFolder(target)) return false;
  }
  bool result = true;
  std::vector<_wfinddata64i32_t> entries;
  FindAll(GetCombinedPath(source, pattern), entries);
  for (const _wfinddata64i32_t& data : entries) {
    if (IsDotEntry(data.name) || (data.attrib & QEL_ATTRIB_HIDDEN) != 0) continue;
    const std::u16string from = Join(source, data.name);
    const std::u16string to = Join(target, data.name);
    if ((data.attrib & QEL_ATTRIB_SUBDIR) != 0) {
      if (!CopyFiles(from, to, pattern, true, overwrite)) result = false;
    } else if (!QelCopyFile(from, to, !overwrite)) {
      result = false;
    }
  }
  return result;
}

unsigned int DeleteFiles(const std::u16string& folder, const std::u16string& pattern) {
  if (!QelFolderExists(folder)) return 0;
  unsigned int count = 0;
  std::vector<_wfinddata64i32_t> entries;
  FindAll(GetCombinedPath(folder, pattern), entries);
  for (const _wfinddata64i32_t& data : entries) {
    if (IsDotEntry(data.name)) continue;
    const std::u16string path = GetCombinedPath(folder, data.name);
    if ((data.attrib & QEL_ATTRIB_READONLY) != 0)
      Detail::Throw<BaseException>(ErrorId::ReadOnlyFile, path);
    QelDeleteFile(path);
    ++count;
  }
  return count;
}

unsigned int RenameFiles(const std::u16string& folder, const std::u16string& oldName,
                         const std::u16string& newName) {
  if (!QelFolderExists(folder)) return 0;
  unsigned int count = 0;
  std::vector<_wfinddata64i32_t> entries;
  FindAll(GetCombinedPath(folder, oldName + u".*"), entries);
  for (const _wfinddata64i32_t& data : entries) {
    if (IsDotEntry(data.name)) continue;
    const std::u16string path = GetCombinedPath(folder, data.name);
    if ((data.attrib & QEL_ATTRIB_READONLY) != 0)
      Detail::Throw<BaseException>(ErrorId::ReadOnlyFile, path);
    QelMoveFile(path, GetCombinedPath(folder, newName + GetExtension(data.name)));
    ++count;
  }
  return count;
}

}  // namespace Qel
