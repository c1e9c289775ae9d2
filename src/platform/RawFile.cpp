#include "platform/RawFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "qel/util/StringConversion.h"

namespace Qel::Platform {
namespace {

// A path with an embedded NUL would silently name another file.
bool ToSystemPath(const std::u16string& path, std::string& out) {
  if (path.empty() || path.find(u'\0') != std::u16string::npos) {
    errno = ENOENT;
    return false;
  }
  out = Utf16ToUtf8(path.data(), path.size());
  return true;
}

}  // namespace

int OpenFileForRead(const std::u16string& path) {
  std::string systemPath;
  if (!ToSystemPath(path, systemPath)) return -1;
  int fd;
  do {
    fd = ::open(systemPath.c_str(), O_RDONLY | O_CLOEXEC);
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

int CreateFileForWrite(const std::u16string& path) {
  std::string systemPath;
  if (!ToSystemPath(path, systemPath)) return -1;
  int fd;
  do {
    fd = ::open(systemPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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
