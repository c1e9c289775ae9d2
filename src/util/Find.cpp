// Folder searches by wildcard pattern over the seam's folder reader. Open searches live in one
// locked table so that integer handles may be passed between threads like the C runtime's.
#include <map>
#include <memory>
#include <mutex>

#include "platform/FileSystem.h"
#include "qel/core/StringConversion.h"
#include "qel/util/Files.h"
#include "util/NativePath.h"

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
  Platform::FolderReader reader;
  std::u16string folder;
  std::u16string pattern;
};

std::mutex& TableMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<int, std::unique_ptr<Search>>& Table() {
  static std::map<int, std::unique_ptr<Search>> table;
  return table;
}

// Opens `folder` (empty: the current folder) for listing.
bool OpenFolder(Platform::FolderReader& reader, const std::u16string& folder) {
  std::string native;
  if (!Detail::ToNativePath(folder, native)) return false;
  return reader.Open(native.empty() ? "." : native);
}

// The next entry of `search` whose name matches; false at the end.
bool NextMatch(Search& search, _wfinddata64i32_t* data) {
  std::string entry;
  while (search.reader.Next(entry)) {
    const std::u16string name = Utf8ToUtf16(entry.data(), entry.size());
    if (!NameMatches(search.pattern, name)) continue;
    Platform::EntryStatus status;
    const std::u16string full = GetCombinedPath(search.folder, name);
    if (!Detail::GetEntryStatus(full, true, status)) {
      Detail::GetEntryStatus(full, false, status);  // a dangling link is still an entry
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
  Platform::FolderReader reader;
  if (!OpenFolder(reader, folder)) return result;
  std::string entry;
  while (reader.Next(entry)) {
    const std::u16string name = Utf8ToUtf16(entry.data(), entry.size());
    if (name == u"." || name == u"..") continue;
    const std::u16string full = GetCombinedPath(folder, name);
    Platform::EntryStatus status;
    if (!Detail::GetEntryStatus(full, true, status)) continue;
    if (folders ? status.isFolder : status.isRegular) result.push_back(full);
  }
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
  if (!OpenFolder(search->reader, search->folder)) return -1;
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
