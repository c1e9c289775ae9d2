// Inter-process lock files over flock. flock locks belong to the open file description, so a
// lock dies with its process and is never dropped by an unrelated close (unlike fcntl locks).
// Paths are UTF-8; nothing throws. Callable from any thread.
#pragma once

#include <string>

namespace Qel::Platform {

enum class LockAttempt {
  Locked,    // `fd` holds an exclusive lock on the file `path` names
  Busy,      // another holder has the lock, or the file is not open to us for now
  Replaced,  // the file was locked but deleted or replaced meanwhile: try again at once
  Failed,    // errno tells why
};

// Opens (creating it, never through a link) and locks `path` without waiting. Only Locked
// leaves a descriptor open, which belongs to the caller until ReleaseLockFile.
LockAttempt TryLockFile(const std::string& path, int& fd);

// Deletes `path` while the lock on `fd` is still held, so that nobody can lock that file after
// it is let go, then closes `fd`. When `path` no longer names the file `fd` locked (it was
// replaced or deleted, or a relative path now points elsewhere), nothing is deleted.
void ReleaseLockFile(const std::string& path, int fd);

// `path` made absolute against the current folder (as it is when already absolute), so that a
// later change of folder does not change the file it names; empty when the current folder
// cannot be read (errno tells why).
std::string AbsolutePath(const std::string& path);

}  // namespace Qel::Platform
