// File and folder primitives over POSIX calls. Paths cross into the system as UTF-8.
#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Platform.h"
#include "qel/util/Files.h"
#include "qel/util/StringConversion.h"

namespace Qel {

namespace Platform {

bool ToNativePath(const std::u16string& path, std::string& out) {
  if (path.find(u'\0') != std::u16string::npos) {
    errno = EINVAL;
    return false;
  }
  out = Utf16ToUtf8(path.data(), path.size());
  // "\" separates folders throughout the library, so it does here too.
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return true;
}

bool GetEntryStatus(const std::u16string& path, bool followLinks, EntryStatus& status) {
  std::string native;
  if (!ToNativePath(path, native)) return false;
  struct stat st {};
  if ((followLinks ? ::stat(native.c_str(), &st) : ::lstat(native.c_str(), &st)) != 0) {
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
  return true;
}

bool MakeWritable(const std::u16string& path) {
  std::string native;
  if (!ToNativePath(path, native)) return false;
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return false;
  if ((st.st_mode & S_IWUSR) != 0) return true;
  return ::chmod(native.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

}  // namespace Platform

namespace {

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

bool QelFileExists(const std::u16string& path) {
  Platform::EntryStatus status;
  return Platform::GetEntryStatus(path, true, status) && !status.isFolder;
}

bool QelFolderExists(const std::u16string& path) {
  Platform::EntryStatus status;
  return Platform::GetEntryStatus(path, true, status) && status.isFolder;
}

bool DirExists(const char16_t* path) { return path != nullptr && QelFolderExists(path); }

bool FileIsNewerByDate(const std::u16string& a, const std::u16string& b) {
  Platform::EntryStatus sa;
  Platform::EntryStatus sb;
  if (!Platform::GetEntryStatus(a, true, sa)) return false;
  if (!Platform::GetEntryStatus(b, true, sb)) return true;
  if (sa.modifiedSeconds != sb.modifiedSeconds) return sa.modifiedSeconds > sb.modifiedSeconds;
  return sa.modifiedNanoseconds > sb.modifiedNanoseconds;
}

std::int32_t QelGetFileTime(const std::u16string& path) {
  Platform::EntryStatus status;
  if (!Platform::GetEntryStatus(path, true, status)) return 0;
  return static_cast<std::int32_t>(status.modifiedSeconds);
}

bool QelCopyFile(const std::u16string& source, const std::u16string& target, bool failIfExists) {
  std::string from;
  std::string to;
  if (!Platform::ToNativePath(source, from) || !Platform::ToNativePath(target, to)) return false;
  if (!failIfExists) {
    Platform::EntryStatus status;
    if (Platform::GetEntryStatus(target, true, status) && status.readOnly) {
      Platform::MakeWritable(target);
    }
  }
  Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) return false;
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  struct stat existing {};
  const bool targetExisted = ::stat(to.c_str(), &existing) == 0;
  if (targetExisted && existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
    errno = failIfExists ? EEXIST : EINVAL;  // copying a file onto itself would empty it
    return false;
  }
  const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
  Descriptor out(::open(to.c_str(), flags, (st.st_mode & 0777) | S_IWUSR));
  if (out.Get() < 0) return false;
  bool ok = CopyContents(in.Get(), out.Get());
  if (ok) {
    // The copy keeps the source's permissions (made writable) and modification time.
    ::fchmod(out.Get(), (st.st_mode & 07777) | S_IWUSR);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.Get(), times);
  }
  ok = out.Close() && ok;
  if (!ok && !targetExisted) {
    const int saved = errno;
    ::unlink(to.c_str());
    errno = saved;
  }
  return ok;
}

bool QelMoveFile(const std::u16string& source, const std::u16string& target) {
  std::string from;
  std::string to;
  if (!Platform::ToNativePath(source, from) || !Platform::ToNativePath(target, to)) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno == EINVAL || errno == ENOSYS) {
    // A file system without no-replace renames: check, then rename (a small race remains).
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
      errno = EEXIST;
      return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
  }
  if (errno == EXDEV && QelFileExists(source)) {
    // Across file systems a file is copied and the source deleted.
    if (!QelCopyFile(source, target, true)) return false;
    return ::unlink(from.c_str()) == 0;
  }
  return false;
}

bool QelDeleteFile(const std::u16string& path) {
  Platform::EntryStatus status;
  if (!Platform::GetEntryStatus(path, false, status)) return false;
  if (status.isFolder) {
    errno = EISDIR;
    return false;
  }
  if (status.readOnly && !status.isLink) {
    errno = EACCES;
    return false;
  }
  std::string native;
  return Platform::ToNativePath(path, native) && ::unlink(native.c_str()) == 0;
}

std::FILE* QelOpenFile(const std::u16string& path, const char* mode) {
  std::string native;
  if (!Platform::ToNativePath(path, native)) return nullptr;
  // "e": the descriptor is not inherited by programs the process starts.
  const std::string flags = std::string(mode) + "e";
  return std::fopen(native.c_str(), flags.c_str());
}

int QelRmDir(const std::u16string& path) {
  std::string native;
  if (!Platform::ToNativePath(path, native)) return -1;
  return ::rmdir(native.c_str()) == 0 ? 0 : -1;
}

bool CreateFolder(const std::u16string& path) {
  std::vector<std::u16string> missing;
  std::u16string current = path;
  while (!current.empty() && !QelFolderExists(current)) {
    missing.push_back(current);
    const std::size_t cut = current.find_last_of(u"\\/");
    if (cut == std::u16string::npos) break;
    current.resize(cut);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    std::string native;
    if (!Platform::ToNativePath(*it, native)) return false;
    // Another process may create the same folder meanwhile; that counts as success.
    if (::mkdir(native.c_str(), 0777) != 0 && !(errno == EEXIST && QelFolderExists(*it))) {
      return false;
    }
  }
  return true;
}

}  // namespace Qel
