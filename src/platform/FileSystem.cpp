// File and folder primitives over POSIX calls.
#include "platform/FileSystem.h"
#include "platform/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Qel::Platform {

namespace {

// A path with an embedded NUL would silently name another entry.
bool Usable(const std::string& path) {
  if (path.find('\0') == std::string::npos) return true;
  errno = EINVAL;
  return false;
}

// Closes a descriptor on every path out of a function.
class Descriptor {
 public:
  explicit Descriptor(int fd) : m_fd(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (m_fd >= 0) {
      const int saved = errno;
      ::close(m_fd);
      errno = saved;
    }
  }
  int Get() const { return m_fd; }
  // Closes now and reports whether the close succeeded (a late write error shows here).
  bool Close() {
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
  }

 private:
  int m_fd;
};

bool CopyContents(int in, int out) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (!Platform::WriteFully(out, buffer, static_cast<std::size_t>(got))) return false;
  }
}

}  // namespace

bool GetEntryStatus(const std::string& path, bool followLinks, EntryStatus& status) {
  if (!Usable(path)) return false;
  struct stat st {};
  if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
    return false;
  }
  status.isFolder = S_ISDIR(st.st_mode);
  status.isRegular = S_ISREG(st.st_mode);
  status.isLink = S_ISLNK(st.st_mode);
  status.readOnly = (st.st_mode & S_IWUSR) == 0;
  status.size = st.st_size;
  status.modifiedSeconds = st.st_mtim.tv_sec;
  status.modifiedNanoseconds = st.st_mtim.tv_nsec;
  status.accessSeconds = st.st_atim.tv_sec;
  status.changeSeconds = st.st_ctim.tv_sec;
  status.device = st.st_dev;
  status.inode = st.st_ino;
  return true;
}

bool MakeWritable(const std::string& path) {
  if (!Usable(path)) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if ((st.st_mode & S_IWUSR) != 0) return true;
  return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool CopyRegularFile(const std::string& source, const std::string& target, bool failIfExists) {
  if (!Usable(source) || !Usable(target)) return false;
  Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) return false;
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  struct stat existing {};
  const bool targetExisted = ::stat(target.c_str(), &existing) == 0;
  if (targetExisted && existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
    errno = failIfExists ? EEXIST : EINVAL;  // copying a file onto itself would empty it
    return false;
  }
  const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
  Descriptor out(::open(target.c_str(), flags, (st.st_mode & 0777) | S_IWUSR));
  if (out.Get() < 0) return false;
  bool ok = CopyContents(in.Get(), out.Get());
  if (ok) {
    ::fchmod(out.Get(), (st.st_mode & 07777) | S_IWUSR);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.Get(), times);
  }
  ok = out.Close() && ok;
  if (!ok && !targetExisted) {
    const int saved = errno;
    ::unlink(target.c_str());
    errno = saved;
  }
  return ok;
}

bool RenameNoReplace(const std::string& source, const std::string& target) {
  if (!Usable(source) || !Usable(target)) return false;
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno == EINVAL || errno == ENOSYS) {
    // A file system without no-replace renames: check, then rename (a small race remains).
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
      errno = EEXIST;
      return false;
    }
    return ::rename(source.c_str(), target.c_str()) == 0;
  }
  return false;
}

bool RemoveFile(const std::string& path) { return Usable(path) && ::unlink(path.c_str()) == 0; }

bool RemoveFolder(const std::string& path) { return Usable(path) && ::rmdir(path.c_str()) == 0; }

bool MakeFolder(const std::string& path) {
  return Usable(path) && ::mkdir(path.c_str(), 0777) == 0;
}

std::FILE* OpenStdioFile(const std::string& path, const char* mode) {
  if (!Usable(path)) return nullptr;
  // "e": the descriptor is not inherited by programs the process starts.
  const std::string flags = std::string(mode) + "e";
  return std::fopen(path.c_str(), flags.c_str());
}

FolderReader::~FolderReader() {
  if (m_dir != nullptr) ::closedir(static_cast<DIR*>(m_dir));
}

bool FolderReader::Open(const std::string& path) {
  if (!Usable(path)) return false;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return false;
  if (m_dir != nullptr) ::closedir(static_cast<DIR*>(m_dir));
  m_dir = dir;
  return true;
}

bool FolderReader::Next(std::string& name) {
  if (m_dir == nullptr) return false;
  dirent* entry = ::readdir(static_cast<DIR*>(m_dir));
  if (entry == nullptr) return false;
  name = entry->d_name;
  return true;
}

}  // namespace Qel::Platform
