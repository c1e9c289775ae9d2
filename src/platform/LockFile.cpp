// Inter-process lock files over flock. flock locks belong to the open file description, so a
// lock dies with its process and is never dropped by an unrelated close (unlike fcntl locks).
// The holder deletes the file on release; a process that locked a file that was meanwhile
// deleted or replaced sees that the path no longer names its file and tries again.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/FileSystem.h"
#include "qel/util/Files.h"

namespace Qel {

namespace {

struct LockFile {
  int fd;
  std::string path;
};

enum class Attempt { Locked, Busy, Replaced, Failed };

Attempt TryLock(const std::string& path, LockFile*& lock) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return errno == EACCES || errno == EBUSY ? Attempt::Busy : Attempt::Failed;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return err == EWOULDBLOCK || err == EINTR ? Attempt::Busy : Attempt::Failed;
  }
  // The previous holder may have deleted the file between our open and our flock; then we
  // hold a lock on a file nobody else will look at.
  struct stat held {};
  struct stat named {};
  if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
      held.st_ino != named.st_ino) {
    ::close(fd);
    return Attempt::Replaced;
  }
  lock = new LockFile{fd, path};
  return Attempt::Locked;
}

}  // namespace

void* QelLockfileCreate(const std::u16string& path, int waitMilliseconds, int retries) {
  std::string native;
  if (!Platform::ToNativePath(path, native) || native.empty()) return INVALID_HANDLE_VALUE;
  // A lost race with a releasing holder is retried at once, a few times, without using up the
  // caller's retries: the file was free a moment ago.
  constexpr int kRacesBeforeWaiting = 16;
  int races = 0;
  for (;;) {
    LockFile* lock = nullptr;
    const Attempt attempt = TryLock(native, lock);
    if (attempt == Attempt::Locked) return lock;
    if (attempt == Attempt::Failed) return INVALID_HANDLE_VALUE;
    if (attempt == Attempt::Replaced && ++races < kRacesBeforeWaiting) continue;
    races = 0;
    if (retries < 1) return INVALID_HANDLE_VALUE;
    --retries;
    if (waitMilliseconds > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(waitMilliseconds));
    }
  }
}

void QelLockfileRelease(void* handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  auto* lock = static_cast<LockFile*>(handle);
  // Delete while still holding the lock, so that nobody can lock this file after we let go.
  ::unlink(lock->path.c_str());
  ::close(lock->fd);
  delete lock;
}

}  // namespace Qel
