#include "platform/LockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Qel::Platform {

LockAttempt TryLockFile(const std::string& path, int& fd) {
  fd = -1;
  if (path.find('\0') != std::string::npos) {
    errno = EINVAL;
    return LockAttempt::Failed;
  }
  const int opened =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (opened < 0) {
    return errno == EACCES || errno == EBUSY ? LockAttempt::Busy : LockAttempt::Failed;
  }
  if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(opened);
    errno = err;
    return err == EWOULDBLOCK || err == EINTR ? LockAttempt::Busy : LockAttempt::Failed;
  }
  // The previous holder may have deleted the file between our open and our flock; then we
  // hold a lock on a file nobody else will look at.
  struct stat held {};
  struct stat named {};
  if (::fstat(opened, &held) != 0 || ::stat(path.c_str(), &named) != 0 ||
      held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
    ::close(opened);
    return LockAttempt::Replaced;
  }
  fd = opened;
  return LockAttempt::Locked;
}

void ReleaseLockFile(const std::string& path, int fd) {
  struct stat held {};
  struct stat named {};
  if (::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
      held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
    ::unlink(path.c_str());
  }
  ::close(fd);
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  std::string folder(256, '\0');
  while (::getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return {};
    folder.resize(folder.size() * 2);
  }
  folder.resize(std::char_traits<char>::length(folder.c_str()));
  if (folder.back() != '/') folder += '/';
  return folder + path;
}

}  // namespace Qel::Platform
