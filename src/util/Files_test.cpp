#include "qel/util/Files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>

#include "qel/core/Exceptions.h"
#include "util/TestTempFolder.h"

namespace Qel {
namespace {

using Testing::TempFolder;

void MakeReadOnly(const std::string& path) { ::chmod(path.c_str(), 0444); }

std::vector<std::u16string> Sorted(std::vector<std::u16string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(Files, ExistenceTimesAndSimpleOperations) {
  TempFolder dir;
  dir.Write("a.txt", "hello");
  EXPECT_TRUE(QelFileExists(dir.Path("a.txt")));
  EXPECT_FALSE(QelFolderExists(dir.Path("a.txt")));
  EXPECT_TRUE(QelFolderExists(dir.Path()));
  EXPECT_FALSE(QelFileExists(dir.Path()));
  EXPECT_TRUE(DirExists(dir.Path().c_str()));
  EXPECT_FALSE(DirExists(nullptr));
  EXPECT_FALSE(QelFileExists(dir.Path("missing")));
  EXPECT_FALSE(QelFileExists(dir.Path("a.txt") + std::u16string(1, u'\0') + u"x"));
  // A backslash separates folders like a slash.
  EXPECT_TRUE(QelFileExists(dir.Path() + u"\\a.txt"));

  const std::string native = dir.NativePath("a.txt");
  const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, native.c_str(), times, 0);
  EXPECT_EQ(QelGetFileTime(dir.Path("a.txt")), 1000000000);
  EXPECT_EQ(QelGetFileTime(dir.Path("missing")), 0);

  dir.Write("b.txt", "b");
  EXPECT_TRUE(FileIsNewerByDate(dir.Path("b.txt"), dir.Path("a.txt")));
  EXPECT_FALSE(FileIsNewerByDate(dir.Path("a.txt"), dir.Path("b.txt")));
  EXPECT_FALSE(FileIsNewerByDate(dir.Path("missing"), dir.Path("a.txt")));
  EXPECT_TRUE(FileIsNewerByDate(dir.Path("a.txt"), dir.Path("missing")));

  EXPECT_TRUE(QelMoveFile(dir.Path("b.txt"), dir.Path("c.txt")));
  EXPECT_FALSE(QelMoveFile(dir.Path("c.txt"), dir.Path("a.txt"))) << "target exists";
  EXPECT_EQ(dir.Read("a.txt"), "hello");
  EXPECT_FALSE(QelMoveFile(dir.Path("missing"), dir.Path("d.txt")));

  MakeReadOnly(dir.NativePath("c.txt"));
  EXPECT_FALSE(QelDeleteFile(dir.Path("c.txt"))) << "read-only files are kept";
  EXPECT_TRUE(QelFileExists(dir.Path("c.txt")));
  EXPECT_TRUE(QelDeleteFile(dir.Path("a.txt")));
  EXPECT_FALSE(QelDeleteFile(dir.Path("a.txt")));
  EXPECT_FALSE(QelDeleteFile(dir.Path()));

  EXPECT_TRUE(CreateFolder(dir.Path("x/y\\z")));
  EXPECT_TRUE(QelFolderExists(dir.Path("x/y/z")));
  EXPECT_TRUE(CreateFolder(dir.Path("x/y/z")));
  EXPECT_TRUE(CreateFolder(dir.Path("x/y/z/")));
  EXPECT_FALSE(CreateFolder(dir.Path("c.txt/sub")));
  EXPECT_EQ(QelRmDir(dir.Path("x")), -1) << "not empty";
  EXPECT_EQ(QelRmDir(dir.Path("x/y/z")), 0);
}

TEST(Files, CopyFileKeepsContentAndHandlesReadOnly) {
  TempFolder dir;
  dir.Write("src", std::string(200000, 'x') + "end");
  MakeReadOnly(dir.NativePath("src"));
  ASSERT_TRUE(QelCopyFile(dir.Path("src"), dir.Path("dst"), true));
  EXPECT_EQ(dir.Read("dst"), dir.Read("src"));
  struct stat st {};
  ::stat(dir.NativePath("dst").c_str(), &st);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u) << "a copy of a read-only file is writable";

  dir.Write("other", "other");
  EXPECT_FALSE(QelCopyFile(dir.Path("other"), dir.Path("dst"), true));
  MakeReadOnly(dir.NativePath("dst"));
  EXPECT_TRUE(QelCopyFile(dir.Path("other"), dir.Path("dst"), false));
  EXPECT_EQ(dir.Read("dst"), "other");
  EXPECT_FALSE(QelCopyFile(dir.Path("dst"), dir.Path("dst"), false)) << "never empties itself";
  EXPECT_EQ(dir.Read("dst"), "other");
  EXPECT_FALSE(QelCopyFile(dir.Path("missing"), dir.Path("x"), false));
  EXPECT_FALSE(QelFileExists(dir.Path("x")));
  EXPECT_FALSE(QelCopyFile(dir.Path(), dir.Path("y"), false));
}

TEST(Files, SearchesAndListings) {
  TempFolder dir;
  dir.Write("a.txt", "1");
  dir.Write("b.xml", "2");
  dir.Write(".hidden", "3");
  dir.Write("abc", "4");
  dir.Write("[x].txt", "5");
  CreateFolder(dir.Path("sub"));
  MakeReadOnly(dir.NativePath("b.xml"));

  _wfinddata64i32_t data;
  std::vector<std::u16string> names;
  int handle = QelFindFirst(dir.Path("*.*"), &data);
  ASSERT_NE(handle, -1);
  do {
    names.push_back(data.name);
    if (data.name == u"sub") {
      EXPECT_EQ(data.attrib & QEL_ATTRIB_SUBDIR, QEL_ATTRIB_SUBDIR);
    }
    if (data.name == u".hidden") {
      EXPECT_EQ(data.attrib & QEL_ATTRIB_HIDDEN, QEL_ATTRIB_HIDDEN);
    }
    if (data.name == u"b.xml") {
      EXPECT_EQ(data.attrib, QEL_ATTRIB_READONLY);
    }
    if (data.name == u"a.txt") {
      EXPECT_EQ(data.size, 1);
    }
  } while (QelFindNext(handle, &data));
  QelFindClose(handle);
  EXPECT_EQ(Sorted(names), (std::vector<std::u16string>{u".", u"..", u".hidden", u"[x].txt",
                                                        u"a.txt", u"abc", u"b.xml", u"sub"}));
  EXPECT_FALSE(QelFindNext(handle, &data)) << "closed handle";

  names.clear();
  handle = QelFindFirst(dir.Path("?.txt"), &data);
  ASSERT_NE(handle, -1);
  do names.push_back(data.name);
  while (QelFindNext(handle, &data));
  QelFindClose(handle);
  EXPECT_EQ(names, std::vector<std::u16string>{u"a.txt"});

  handle = QelFindFirst(dir.Path("[x].txt"), &data);  // brackets are plain characters
  ASSERT_NE(handle, -1);
  EXPECT_EQ(data.name, u"[x].txt");
  QelFindClose(handle);
  EXPECT_EQ(QelFindFirst(dir.Path("*.none"), &data), -1);
  EXPECT_EQ(QelFindFirst(dir.Path("missing/*"), &data), -1);

  EXPECT_EQ(Sorted(QelGetFilesFromDirectory(dir.Path())),
            (std::vector<std::u16string>{dir.Path(".hidden"), dir.Path("[x].txt"),
                                         dir.Path("a.txt"), dir.Path("abc"), dir.Path("b.xml")}));
  EXPECT_EQ(QelGetDirectoriesFromDirectory(dir.Path()),
            std::vector<std::u16string>{dir.Path("sub")});
  EXPECT_TRUE(QelGetFilesFromDirectory(dir.Path("missing")).empty());
}

TEST(Files, BulkCopyDeleteRenameAndDelTree) {
  TempFolder dir;
  CreateFolder(dir.Path("src/deep"));
  dir.Write("src/a.txt", "a");
  dir.Write("src/b.dat", "b");
  dir.Write("src/.hidden", "h");
  dir.Write("src/deep/c.txt", "c");
  MakeReadOnly(dir.NativePath("src/a.txt"));

  EXPECT_FALSE(CopyFiles(dir.Path("src"), dir.Path("dst"), u"*", false, false)) << "no target";
  ASSERT_TRUE(CopyFiles(dir.Path("src"), dir.Path("dst"), u"*", true, false));
  EXPECT_EQ(dir.Read("dst/a.txt"), "a");
  EXPECT_EQ(dir.Read("dst/deep/c.txt"), "c");
  EXPECT_FALSE(QelFileExists(dir.Path("dst/.hidden")));
  EXPECT_FALSE(CopyFiles(dir.Path("src"), dir.Path("dst"), u"*", true, false)) << "exists";
  EXPECT_TRUE(CopyFiles(dir.Path("src"), dir.Path("dst"), u"*", true, true));
  // Only matching sub-folders are visited.
  ASSERT_TRUE(CopyFiles(dir.Path("src"), dir.Path("txt"), u"*.txt", true, false));
  EXPECT_TRUE(QelFileExists(dir.Path("txt/a.txt")));
  EXPECT_FALSE(QelFileExists(dir.Path("txt/b.dat")));
  EXPECT_FALSE(QelFolderExists(dir.Path("txt/deep")));

  dir.Write("ren/old.txt", "");
  CreateFolder(dir.Path("ren"));
  dir.Write("ren/old.txt", "1");
  dir.Write("ren/old.xml", "2");
  dir.Write("ren/old", "3");
  dir.Write("ren/older.txt", "4");
  EXPECT_EQ(RenameFiles(dir.Path("ren"), u"old", u"old.new"), 3u);
  EXPECT_EQ(dir.Read("ren/old.new.txt"), "1");
  EXPECT_EQ(dir.Read("ren/old.new.xml"), "2");
  EXPECT_EQ(dir.Read("ren/old.new"), "3");
  EXPECT_EQ(dir.Read("ren/older.txt"), "4");
  EXPECT_EQ(RenameFiles(dir.Path("missing"), u"a", u"b"), 0u);

  MakeReadOnly(dir.NativePath("ren/older.txt"));
  try {
    RenameFiles(dir.Path("ren"), u"older", u"x");
    FAIL() << "read-only file renamed";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 4);
    EXPECT_EQ(e.GetErrorArg(), dir.Path("ren") + u"/older.txt");
  }

  EXPECT_EQ(DeleteFiles(dir.Path("dst"), u"*.dat"), 1u);
  EXPECT_FALSE(QelFileExists(dir.Path("dst/b.dat")));
  EXPECT_EQ(DeleteFiles(dir.Path("missing"), u"*"), 0u);
  MakeReadOnly(dir.NativePath("dst/a.txt"));
  EXPECT_THROW(DeleteFiles(dir.Path("dst"), u"a.txt"), BaseException);
  EXPECT_TRUE(QelFileExists(dir.Path("dst/a.txt")));

  // A link to a folder outside the tree is removed, not followed.
  CreateFolder(dir.Path("outside"));
  dir.Write("outside/keep", "k");
  ::symlink(dir.NativePath("outside").c_str(), dir.NativePath("dst/link").c_str());
  MakeReadOnly(dir.NativePath("dst/deep/c.txt"));
  EXPECT_TRUE(QelDelTree(dir.Path("dst")));
  EXPECT_FALSE(QelFolderExists(dir.Path("dst")));
  EXPECT_EQ(dir.Read("outside/keep"), "k");
  EXPECT_FALSE(QelDelTree(dir.Path("dst")));
}

TEST(Files, HostnameAndPid) {
  std::u16string name = u"unchanged";
  ASSERT_TRUE(GetHostname(name));
  char expected[256] = {};
  ::gethostname(expected, sizeof expected - 1);
  EXPECT_EQ(name, std::u16string(expected, expected + std::strlen(expected)));
  std::u16string pid;
  GetPID(pid);
  const std::string text = std::to_string(::getpid());
  EXPECT_EQ(pid, std::u16string(text.begin(), text.end()));
}

TEST(LockFile, ExcludesOtherHandlesAndIsDeletedOnRelease) {
  TempFolder dir;
  const std::u16string path = dir.Path("lock");
  void* first = QelLockfileCreate(path, 1, 0);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(QelFileExists(path));
  EXPECT_EQ(QelLockfileCreate(path, 1, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(QelLockfileCreate(path, 1, 3), INVALID_HANDLE_VALUE);
  QelLockfileRelease(first);
  EXPECT_FALSE(QelFileExists(path));
  void* second = QelLockfileCreate(path, 1, 0);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  QelLockfileRelease(second);
  QelLockfileRelease(INVALID_HANDLE_VALUE);
  QelLockfileRelease(nullptr);
  EXPECT_EQ(QelLockfileCreate(dir.Path("missing/lock"), 1, 2), INVALID_HANDLE_VALUE);
}

TEST(LockFile, ReleaseDeletesOnlyTheFileItLocked) {
  TempFolder dir;
  CreateFolder(dir.Path("a"));
  CreateFolder(dir.Path("b"));
  dir.Write("b/lock", "unrelated");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.Native() + "/a");
  void* lock = QelLockfileCreate(u"lock", 1, 0);
  std::filesystem::current_path(dir.Native() + "/b");
  QelLockfileRelease(lock);
  std::filesystem::current_path(before);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(dir.Read("b/lock"), "unrelated") << "a same-named file elsewhere is left alone";
  EXPECT_FALSE(QelFileExists(dir.Path("a/lock"))) << "the lock itself is deleted";

  // A file that replaced the lock at its path is not the lock: it stays.
  lock = QelLockfileCreate(dir.Path("c"), 1, 0);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  ASSERT_EQ(::unlink(dir.NativePath("c").c_str()), 0);
  dir.Write("c", "replacement");
  QelLockfileRelease(lock);
  EXPECT_EQ(dir.Read("c"), "replacement");
}

// Children compete for one lock file in a loop; a shared counter records how many hold it.
TEST(LockFile, ForkedProcessesNeverHoldItTogether) {
  TempFolder dir;
  const std::u16string path = dir.Path("lock");
  struct Shared {
    std::atomic<int> holders;
    std::atomic<int> overlaps;
    std::atomic<int> acquisitions;
  };
  void* memory =
      ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  auto* shared = new (memory) Shared{{0}, {0}, {0}};
  constexpr int kChildren = 6;
  constexpr int kRounds = 200;
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int r = 0; r < kRounds; ++r) {
        void* lock = QelLockfileCreate(path, 1, 100000);
        if (lock == INVALID_HANDLE_VALUE) {
          ++failures;
          continue;
        }
        if (shared->holders.fetch_add(1) != 0) shared->overlaps.fetch_add(1);
        shared->acquisitions.fetch_add(1);
        if (r % 16 == 0) ::usleep(100);
        shared->holders.fetch_sub(1);
        QelLockfileRelease(lock);
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a child failed to lock";
  }
  EXPECT_EQ(shared->overlaps.load(), 0);
  EXPECT_EQ(shared->acquisitions.load(), kChildren * kRounds);
  EXPECT_FALSE(QelFileExists(path));
  ::munmap(memory, sizeof(Shared));
}

TEST(LockFile, KilledHolderLeavesALockTheNextOneCanTake) {
  TempFolder dir;
  const std::u16string path = dir.Path("lock");
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    void* lock = QelLockfileCreate(path, 1, 0);
    const char ok = lock != INVALID_HANDLE_VALUE ? 'y' : 'n';
    if (::write(pipeFds[1], &ok, 1) != 1) ::_exit(2);
    for (;;) ::pause();
  }
  char ok = 0;
  ASSERT_EQ(::read(pipeFds[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  EXPECT_EQ(QelLockfileCreate(path, 1, 0), INVALID_HANDLE_VALUE) << "held by the child";
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_TRUE(QelFileExists(path)) << "the killed holder could not delete it";
  void* lock = QelLockfileCreate(path, 1, 0);
  EXPECT_NE(lock, INVALID_HANDLE_VALUE);
  QelLockfileRelease(lock);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
}

}  // namespace
}  // namespace Qel
