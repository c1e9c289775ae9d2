// QelLockfileCreate and QelLockfileRelease: the Windows retry rules over the seam's lock files.
// The holder deletes the file on release; a process that locked a file that was meanwhile
// deleted or replaced sees that the path no longer names its file and tries again.
#include "platform/LockFile.h"

#include <chrono>
#include <thread>

#include "qel/util/Files.h"
#include "util/NativePath.h"

namespace Qel {

namespace {

struct LockFile {
  int fd;
  std::string path;
};

}  // namespace

void* QelLockfileCreate(const std::u16string& path, int waitMilliseconds, int retries) {
  std::string native;
  if (!Detail::ToNativePath(path, native) || native.empty()) return INVALID_HANDLE_VALUE;
  // Released by the absolute path: a change of the current folder in between must not make
  // the release delete another file of the same name.
  native = Platform::AbsolutePath(native);
  if (native.empty()) return INVALID_HANDLE_VALUE;
  // A lost race with a releasing holder is retried at once, a few times, without using up the
  // caller's retries: the file was free a moment ago.
  constexpr int kRacesBeforeWaiting = 16;
  int races = 0;
  for (;;) {
    int fd = -1;
    const Platform::LockAttempt attempt = Platform::TryLockFile(native, fd);
    if (attempt == Platform::LockAttempt::Locked) return new LockFile{fd, native};
    if (attempt == Platform::LockAttempt::Failed) return INVALID_HANDLE_VALUE;
    if (attempt == Platform::LockAttempt::Replaced && ++races < kRacesBeforeWaiting) continue;
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
  Platform::ReleaseLockFile(lock->path, lock->fd);
  delete lock;
}

}  // namespace Qel
