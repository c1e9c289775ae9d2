// The file-system seam: the facts about an entry and the file and folder operations that the
// file, text file and search functions need, over POSIX calls. Paths are UTF-8 and reach the
// system as they are; a path holding a NUL byte fails with EINVAL. Failures return false (or
// null) with errno set; nothing throws. Stateless; callable from any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace Qel::Platform {

struct EntryStatus {
  bool isFolder = false;
  bool isRegular = false;
  bool isLink = false;    // only when examined without following links
  bool readOnly = false;  // the owner may not write (root ignores it, the library does not)
  std::int64_t size = 0;
  std::int64_t modifiedSeconds = 0;
  std::int64_t modifiedNanoseconds = 0;
  std::int64_t accessSeconds = 0;
  std::int64_t changeSeconds = 0;
  std::uint64_t device = 0;  // with `inode`, names the file whatever path leads to it
  std::uint64_t inode = 0;
};

// Status of an entry; false when it cannot be examined.
bool GetEntryStatus(const std::string& path, bool followLinks, EntryStatus& status);
// Adds the owner's write permission; true if it is there afterwards.
bool MakeWritable(const std::string& path);

// Copies the regular file `source` to `target` with its permissions (plus the owner's write
// permission) and modification time. With `failIfExists` an existing target fails (EEXIST);
// copying a file onto itself fails. A target this call created is removed again on failure.
bool CopyRegularFile(const std::string& source, const std::string& target, bool failIfExists);
// Renames `source` to `target` unless `target` exists (EEXIST). Across file systems it fails
// with EXDEV and changes nothing.
bool RenameNoReplace(const std::string& source, const std::string& target);
// Removes a file or link (never a folder).
bool RemoveFile(const std::string& path);
// Removes an empty folder.
bool RemoveFolder(const std::string& path);
// Creates one folder (mode 0777 before the umask); its parent must exist.
bool MakeFolder(const std::string& path);
// fopen with `mode`; the stream is not inherited by programs the process starts. Null on
// failure. The caller closes it with fclose.
std::FILE* OpenStdioFile(const std::string& path, const char* mode);

// The entries of one folder, read one name at a time. Owned by one thread at a time; closes
// the folder when destroyed.
class FolderReader {
 public:
  FolderReader() = default;
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;
  ~FolderReader();

  // Opens `path` for listing; false when it cannot be listed.
  bool Open(const std::string& path);
  // The next entry's name ("." and ".." included); false at the end.
  bool Next(std::string& name);

 private:
  void* m_dir = nullptr;  // DIR*
};

}  // namespace Qel::Platform
