#include "platform/RawFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Qel::Platform {
namespace {

// An empty path names no file, and one with an embedded NUL would silently name another.
bool Usable(const std::string& path) {
  if (!path.empty() && path.find('\0') == std::string::npos) return true;
  errno = ENOENT;
  return false;
}

}  // namespace

int OpenFileForRead(const std::string& path) {
  if (!Usable(path)) return -1;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(fd);
      errno = EISDIR;
      return -1;
    }
  }
  return fd;
}

int CreateFileForWrite(const std::string& path) {
  if (!Usable(path)) return -1;
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool GetFileSize(int fd, std::uint64_t& size) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

void CloseFile(int fd) {
  if (fd >= 0) ::close(fd);
}

bool CloseFileChecked(int fd) { return ::close(fd) == 0 || errno == EINTR; }

}  // namespace Qel::Platform
