#include "platform/SettingsStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/Platform.h"

namespace Qel::Platform {

namespace {

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return m_fd; }
  // Closes now, reporting the result.
  int Close() {
    int result = ::close(m_fd);
    m_fd = -1;
    return result;
  }

 private:
  int m_fd;
};

std::error_code Failure(int err) { return std::error_code(err, std::system_category()); }

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Removes the temporary files that writers killed before their rename left behind. Called with
// the lock held, so no running writer owns one; unlink removes a planted link, never its target.
void RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::size_t slash = path.rfind('/');
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp.";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
      ::unlinkat(::dirfd(dir), name.c_str(), 0);
  }
  ::closedir(dir);
}

}  // namespace

std::string SettingsFilePath() {
  const char* file = std::getenv("QEL_REGISTRY_FILE");
  if (file != nullptr && *file != '\0') return file;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config == '/') return std::string(config) + "/qel/registry.reg";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/.config/qel/registry.reg";
  return {};
}

std::error_code RewriteFileLocked(
    const std::string& path, const std::function<std::string(const std::string* current)>& change) {
  std::error_code ec;
  std::filesystem::create_directories(FolderOf(path), ec);
  if (ec) return ec;

  // The lock file is never removed: removing it would let a second writer lock a new file
  // while the first still holds the old one.
  FileDescriptor lock(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.Get() < 0) return Failure(errno);
  while (::flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return Failure(errno);
  }

  std::string current;
  const bool exists = ReadWholeFile(path, current);
  int err = exists ? 0 : errno;
  if (!exists && err != ENOENT) return Failure(err);
  struct stat info {};
  mode_t mode = 0644;
  if (exists && ::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;

  std::string replacement = change(exists ? &current : nullptr);
  RemoveStaleTemporaries(path);

  // A fresh name that nobody can have planted as a link: mkstemp creates it with O_EXCL, so an
  // entry already there (a symbolic link to another file, say) is never opened or written.
  std::string temporary = path + ".tmp.XXXXXX";
  FileDescriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
  if (out.Get() < 0) return Failure(errno);
  if (!WriteFully(out.Get(), replacement.data(), replacement.size()) ||
      ::fchmod(out.Get(), mode) != 0 || ::fsync(out.Get()) != 0) {
    err = errno;
    ::unlink(temporary.c_str());
    return Failure(err);
  }
  if (out.Close() != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
    err = errno;
    ::unlink(temporary.c_str());
    return Failure(err);
  }
  // Make the rename itself durable.
  FileDescriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() >= 0) ::fsync(folder.Get());
  return {};
}

}  // namespace Qel::Platform
