// Path strings, file and folder operations, enumeration, inter-process lock files, host name
// and process id. Paths are UTF-16 strings (converted to UTF-8 for the operating system); both
// "/" and "\" separate folders. Functions keep no state of their own except the table of open
// searches, which is locked, so all of them may be called from any thread.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Qel {

// Longest path, in UTF-16 units with the terminator, that QelPathCommonPrefix and
// QelPathRelativePathTo write into their output buffers.
constexpr int QEL_MAX_PATH = 4096;

// ---------------------------------------------------------------------------------------------
// Path strings (no file-system access unless said)

// The extension with its dot, from the last dot after the last "\", "/" or ":"; "" if there is
// none or the dot ends the path.
QEL_API std::u16string GetExtension(const std::u16string& path);
// GetExtension without the leading dot.
QEL_API std::u16string GetExtensionWithoutDot(const std::u16string& path);
// The text after the last "\", "/" or ":"; the whole path if there is none.
QEL_API std::u16string GetFileName(const std::u16string& path);
// GetFileName cut before its last dot (".x" gives "").
QEL_API std::u16string GetFileNameWithoutExtension(const std::u16string& path);
// The text after the last "/" or "\"; the whole path if there is none.
QEL_API std::u16string GetPureFileName(const std::u16string& path);
// The text before the last "/" or "\"; "" if there is none.
QEL_API std::u16string GetFolder(const std::u16string& path);
// The folder part of a file path or URI: "C:\a.txt" gives "C:\", "ftp:x/y" gives "ftp:x".
QEL_API std::u16string QelGetDirectoryFromFilename(const std::u16string& path);
// `path` with its extension replaced by `newExtension` (with or without its dot); an empty
// `newExtension` removes the extension; an empty path gives "".
QEL_API std::u16string ChangeExtension(const std::u16string& path,
                                       const std::u16string& newExtension);
// "a.xml" gives "a.encxml", "a" gives "a.enc"; an extension starting with "enc" (any case) is
// kept.
QEL_API std::u16string ChangeExtensionToEncrypted(const std::u16string& path);
// `a` and `b` joined with the delimiter found in `a`, else in `b`, else "/"; an empty part or
// an absolute `b` wins as it is.
QEL_API std::u16string GetCombinedPath(const std::u16string& a, const std::u16string& b);
QEL_API std::u16string GetCombinedPath(const std::u16string& a, const std::u16string& b,
                                       const std::u16string& c);
QEL_API std::u16string GetCombinedPath(const std::u16string& a, const std::u16string& b,
                                       const std::u16string& c, const std::u16string& d);
QEL_API std::u16string GetCombinedPath(const std::u16string& a, const std::u16string& b,
                                       const std::u16string& c, const std::u16string& d,
                                       const std::u16string& e);
// True with "\" if the path holds a backslash, else true with "/" if it holds a slash, else
// false with "\".
QEL_API bool TryToGetPathDelimiter(const std::u16string& path, char16_t& delimiter);
// Starts with "\" or "/", or has ":" as its second character.
QEL_API bool IsAbsolutePath(const std::u16string& path);
// Starts with "\", "/", ".\", "./", "..\", "../", or with a drive and a separator ("C:\").
QEL_API bool IsRootPath(const std::u16string& path);
// True for a CJK unified ideograph (U+4E00 to U+9FA5) or a character of `separators`.
QEL_API bool IsSeparator(char16_t c, const std::u16string& separators);
// True when the folder part of `path` equals `folder`, both compared lower-cased.
QEL_API bool CheckFolder(const std::u16string& path, const std::u16string& folder);
// Writes the longest common leading run of whole folder names of `a` and `b` (compared
// exactly, either separator matching either) into `out` (QEL_MAX_PATH units); returns whether
// it is not empty.
QEL_API bool QelPathCommonPrefix(const std::u16string& a, const std::u16string& b, char16_t* out);
// Writes the relative path from folder `from` to folder `to` into `out` (QEL_MAX_PATH units;
// "" when they share no prefix). Always true.
QEL_API bool QelPathRelativePathTo(char16_t* out, const std::u16string& from,
                                   const std::u16string& to);

// ---------------------------------------------------------------------------------------------
// Files and folders: never throw except where said; failure is the result.

// The entry exists (symbolic links followed) and is not a folder.
QEL_API bool QelFileExists(const std::u16string& path);
// The entry exists (symbolic links followed) and is a folder.
QEL_API bool QelFolderExists(const std::u16string& path);
// Same as QelFolderExists; a null pointer gives false.
QEL_API bool DirExists(const char16_t* path);
// `a` modified later than `b`; false if `a` cannot be examined, else true if `b` cannot.
QEL_API bool FileIsNewerByDate(const std::u16string& a, const std::u16string& b);
// Last modification in seconds since 1970 (32 bits), 0 if the entry cannot be examined.
QEL_API std::int32_t QelGetFileTime(const std::u16string& path);
// Copies a regular file with its permissions and modification time. With failIfExists an
// existing target fails; otherwise a read-only target is made writable and overwritten. A
// read-only copy is made writable.
QEL_API bool QelCopyFile(const std::u16string& source, const std::u16string& target,
                         bool failIfExists);
// Moves a file or folder; fails when the target exists. Files also move across file systems.
QEL_API bool QelMoveFile(const std::u16string& source, const std::u16string& target);
// Deletes a file (not a folder); a read-only file is not deleted.
QEL_API bool QelDeleteFile(const std::u16string& path);
// Opens `path` with an fopen `mode` ("rb", "wb", "ab"...); null with errno set on failure.
QEL_API std::FILE* QelOpenFile(const std::u16string& path, const char* mode);
// Removes an empty folder: 0 on success, -1 on failure.
QEL_API int QelRmDir(const std::u16string& path);
// Deletes a folder and everything in it (symbolic links are removed, never followed); false at
// the first failure.
QEL_API bool QelDelTree(const std::u16string& folder);
// Creates the folder and every missing folder above it; true if it exists afterwards.
QEL_API bool CreateFolder(const std::u16string& path);
// Copies the entries of `source` matching `pattern` (wildcards "*" and "?") into `target`,
// recursing into matching sub-folders; hidden entries (names starting with ".") are skipped.
// False if anything failed.
QEL_API bool CopyFiles(const std::u16string& source, const std::u16string& target,
                       const std::u16string& pattern, bool createTargetFolder, bool overwrite);
// Deletes the files in `folder` matching `pattern`; returns the number of entries handled.
// Throws BaseException 4 with the file's path for a read-only match (earlier deletions stay).
QEL_API unsigned int DeleteFiles(const std::u16string& folder, const std::u16string& pattern);
// Renames every "oldName.*" in `folder` to "newName" with the same extension; returns the
// number renamed. Throws BaseException 4 with the file's path for a read-only match.
QEL_API unsigned int RenameFiles(const std::u16string& folder, const std::u16string& oldName,
                                 const std::u16string& newName);

// Attribute bits of a search entry.
constexpr std::uint32_t QEL_ATTRIB_READONLY = 0x01;  // the owner may not write
constexpr std::uint32_t QEL_ATTRIB_HIDDEN = 0x02;    // the name starts with "."
constexpr std::uint32_t QEL_ATTRIB_SUBDIR = 0x10;    // a folder

// One entry found by QelFindFirst / QelFindNext.
struct _wfinddata64i32_t {
  std::uint32_t attrib = 0;
  std::int64_t time_create = 0;  // status change time, seconds since 1970
  std::int64_t time_access = 0;
  std::int64_t time_write = 0;
  std::int32_t size = 0;  // low 32 bits of the size
  std::u16string name;
};

// Starts a search for `pattern` (a folder, then a name with wildcards "*" and "?"; "*.*"
// matches every name, "x.*" also matches "x"). Fills `data` with the first entry and returns
// a handle for QelFindNext, or -1 when nothing matches.
QEL_API int QelFindFirst(const std::u16string& pattern, _wfinddata64i32_t* data);
// Fills `data` with the next entry; false at the end or for an unknown handle.
QEL_API bool QelFindNext(int handle, _wfinddata64i32_t* data);
// Ends a search; unknown handles are ignored.
QEL_API void QelFindClose(int handle);
// Full paths of the regular files directly in `folder` (empty if it cannot be read).
QEL_API std::vector<std::u16string> QelGetFilesFromDirectory(const std::u16string& folder);
// Full paths of the folders directly in `folder` (empty if it cannot be read).
QEL_API std::vector<std::u16string> QelGetDirectoriesFromDirectory(const std::u16string& folder);

// ---------------------------------------------------------------------------------------------
// Lock files and process facts

// The handle value that means "no lock".
inline void* const INVALID_HANDLE_VALUE = reinterpret_cast<void*>(~std::uintptr_t{0});

// Takes an exclusive lock on the file `path` (created if missing), excluding other processes
// and other handles of this one. While it is held, retries `retries` times, sleeping
// `waitMilliseconds` before each. Returns the lock, or INVALID_HANDLE_VALUE if it stays held
// or the file cannot be created. A lock dies with its process.
QEL_API void* QelLockfileCreate(const std::u16string& path, int waitMilliseconds, int retries);
// Deletes the lock file and releases the lock; INVALID_HANDLE_VALUE and null are ignored.
QEL_API void QelLockfileRelease(void* handle);

// The host name; false (out unchanged) on failure.
QEL_API bool GetHostname(std::u16string& out);
// The process id in decimal.
QEL_API void GetPID(std::u16string& out);

}  // namespace Qel
