// Folder searches by wildcard pattern over opendir/readdir. Open searches live in one locked
// table so that integer handles may be passed between threads like the C runtime's.
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/FileSystem.h"
#include "qel/util/Files.h"
#include "qel/core/StringConversion.h"

namespace Qel {

namespace {

// Windows wildcards: "*" and "?" only (no bracket classes as in fnmatch), so matched here.
bool WildcardMatch(const char16_t* pattern, const char16_t* patternEnd, const char16_t* name,
                   const char16_t* nameEnd) {
  const char16_t* star = nullptr;
  const char16_t* resume = nullptr;
  while (name != nameEnd) {
    if (pattern != patternEnd && (*pattern == u'?' || *pattern == *name)) {
      ++pattern;
      ++name;
    } else if (pattern != patternEnd && *pattern == u'*') {
      star = pattern++;
      resume = name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (pattern != patternEnd && *pattern == u'*') ++pattern;
  return pattern == patternEnd;
}

bool NameMatches(const std::u16string& pattern, const std::u16string& name) {
  const char16_t* p = pattern.data();
  const char16_t* n = name.data();
  if (WildcardMatch(p, p + pattern.size(), n, n + name.size())) return true;
  // "x.*" also names "x" without any extension.
  const std::size_t size = pattern.size();
  return size >= 2 && pattern[size - 2] == u'.' && pattern[size - 1] == u'*' &&
         WildcardMatch(p, p + size - 2, n, n + name.size());
}

struct Search {
  DIR* dir = nullptr;
  std::u16string folder;
  std::u16string pattern;
  ~Search() {
    if (dir != nullptr) ::closedir(dir);
  }
};

std::mutex& TableMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<int, std::unique_ptr<Search>>& Table() {
  static std::map<int, std::unique_ptr<Search>> table;
  return table;
}

std::u16string ToUtf16(const char* name) { return Utf8ToUtf16(name, std::strlen(name)); }

// The next entry of `search` whose name matches; false at the end.
bool NextMatch(Search& search, _wfinddata64i32_t* data) {
  while (dirent* entry = ::readdir(search.dir)) {
    const std::u16string name = ToUtf16(entry->d_name);
    if (!NameMatches(search.pattern, name)) continue;
    Platform::EntryStatus status;
    const std::u16string full = GetCombinedPath(search.folder, name);
    if (!Platform::GetEntryStatus(full, true, status)) {
      Platform::GetEntryStatus(full, false, status);  // a dangling link is still an entry
    }
    if (data != nullptr) {
      data->attrib = 0;
      if (status.readOnly && !status.isLink) data->attrib |= QEL_ATTRIB_READONLY;
      if (name.size() > 1 && name[0] == u'.' && name != u"..") data->attrib |= QEL_ATTRIB_HIDDEN;
      if (status.isFolder) data->attrib |= QEL_ATTRIB_SUBDIR;
      data->time_create = status.changeSeconds;
      data->time_access = status.accessSeconds;
      data->time_write = status.modifiedSeconds;
      data->size = static_cast<std::int32_t>(status.size);
      data->name = name;
    }
    return true;
  }
  return false;
}

std::vector<std::u16string> ListEntries(const std::u16string& folder, bool folders) {
  std::vector<std::u16string> result;
  std::string native;
  if (!Platform::ToNativePath(folder, native)) return result;
  DIR* dir = ::opendir(native.empty() ? "." : native.c_str());
  if (dir == nullptr) return result;
  while (dirent* entry = ::readdir(dir)) {
    const std::u16string name = ToUtf16(entry->d_name);
    if (name == u"." || name == u"..") continue;
    const std::u16string full = GetCombinedPath(folder, name);
    Platform::EntryStatus status;
    if (!Platform::GetEntryStatus(full, true, status)) continue;
    if (folders ? status.isFolder : status.isRegular) result.push_back(full);
  }
  ::closedir(dir);
  return result;
}

}  // namespace

int QelFindFirst(const std::u16string& pattern, _wfinddata64i32_t* data) {
  auto search = std::make_unique<Search>();
  const std::size_t cut = pattern.find_last_of(u"\\/");
  if (cut == std::u16string::npos) {
    search->pattern = pattern;
  } else {
    search->folder = pattern.substr(0, cut == 0 ? 1 : cut);
    search->pattern = pattern.substr(cut + 1);
  }
  if (search->pattern.empty()) return -1;
  std::string native;
  if (!Platform::ToNativePath(search->folder, native)) return -1;
  search->dir = ::opendir(native.empty() ? "." : native.c_str());
  if (search->dir == nullptr) return -1;
  if (!NextMatch(*search, data)) return -1;

  std::lock_guard<std::mutex> lock(TableMutex());
  auto& table = Table();
  static int nextHandle = 1;
  while (table.count(nextHandle) != 0 || nextHandle == -1) ++nextHandle;
  const int handle = nextHandle++;
  table.emplace(handle, std::move(search));
  return handle;
}

bool QelFindNext(int handle, _wfinddata64i32_t* data) {
  Search* search = nullptr;
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Table().find(handle);
    if (it == Table().end()) return false;
    search = it->second.get();
  }
  // One search is used by one thread at a time, as with any handle.
  return NextMatch(*search, data);
}

void QelFindClose(int handle) {
  std::unique_ptr<Search> search;
  std::lock_guard<std::mutex> lock(TableMutex());
  auto it = Table().find(handle);
  if (it == Table().end()) return;
  search = std::move(it->second);
  Table().erase(it);
}

std::vector<std::u16string> QelGetFilesFromDirectory(const std::u16string& folder) {
  return ListEntries(folder, false);
}

std::vector<std::u16string> QelGetDirectoriesFromDirectory(const std::u16string& folder) {
  return ListEntries(folder, true);
}

}  // namespace Qel
