// Path string functions. They never touch the file system; "/" and "\" are both folder
// separators so that Windows paths found in data keep working beside POSIX paths.
#include <algorithm>

#include "qel/core/StringConversion.h"
#include "qel/util/Files.h"
#include "qel/util/Uri.h"

namespace Qel {

namespace {

bool IsSlash(char16_t c) { return c == u'\\' || c == u'/'; }
bool IsFolderEnd(char16_t c) { return c == u'\\' || c == u'/' || c == u':'; }

// Position of the last "\" or "/", or npos.
std::size_t LastSlash(const std::u16string& path) { return path.find_last_of(u"\\/"); }

// Position of the dot that starts the extension, or npos.
std::size_t ExtensionDot(const std::u16string& path) {
  for (std::size_t i = path.size(); i-- > 0;) {
    if (path[i] == u'.') return i;
    if (IsFolderEnd(path[i])) break;
  }
  return std::u16string::npos;
}

}  // namespace

std::u16string GetExtension(const std::u16string& path) {
  const std::size_t dot = ExtensionDot(path);
  if (dot == std::u16string::npos || dot + 1 == path.size()) return {};
  return path.substr(dot);
}

std::u16string GetExtensionWithoutDot(const std::u16string& path) {
  std::u16string ext = GetExtension(path);
  return ext.empty() ? ext : ext.substr(1);
}

std::u16string GetFileName(const std::u16string& path) {
  const std::size_t end = path.find_last_of(u"\\/:");
  return end == std::u16string::npos ? path : path.substr(end + 1);
}

std::u16string GetFileNameWithoutExtension(const std::u16string& path) {
  std::u16string name = GetFileName(path);
  const std::size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? name : name.substr(0, dot);
}

std::u16string GetPureFileName(const std::u16string& path) {
  const std::size_t end = LastSlash(path);
  return end == std::u16string::npos ? path : path.substr(end + 1);
}

std::u16string GetFolder(const std::u16string& path) {
  const std::size_t end = LastSlash(path);
  return end == std::u16string::npos ? std::u16string() : path.substr(0, end);
}

std::u16string QelGetDirectoryFromFilename(const std::u16string& path) {
  const bool isFile = Uri::Parse(path).IsFile();
  const std::size_t end = isFile ? LastSlash(path) : path.rfind(u'/');
  if (end != std::u16string::npos) {
    std::u16string folder = path.substr(0, end);
    const bool isDrive =
        folder.size() == 2 && folder[1] == u':' &&
        ((folder[0] >= u'a' && folder[0] <= u'z') || (folder[0] >= u'A' && folder[0] <= u'Z'));
    if (isDrive) folder += path[end];
    return folder;
  }
  const std::size_t colon = path.rfind(u':');
  return colon == std::u16string::npos ? std::u16string() : path.substr(0, colon + 1);
}

std::u16string ChangeExtension(const std::u16string& path, const std::u16string& newExtension) {
  if (path.empty()) return {};
  const std::size_t dot = ExtensionDot(path);
  std::u16string result = dot == std::u16string::npos ? path : path.substr(0, dot);
  if (newExtension.empty()) return result;
  if (newExtension[0] != u'.') result += u'.';
  return result + newExtension;
}

std::u16string ChangeExtensionToEncrypted(const std::u16string& path) {
  const std::u16string ext = GetExtensionWithoutDot(path);
  if (ext.size() >= 3 && QelStrToLower(ext.substr(0, 3)) == u"enc") return path;
  return ChangeExtension(path, u"enc" + ext);
}

std::u16string GetCombinedPath(const std::u16string& a, const std::u16string& b) {
  if (b.empty()) return a;
  if (a.empty()) return b;
  if (IsAbsolutePath(b)) return b;
  char16_t delimiter = u'/';
  if (!TryToGetPathDelimiter(a, delimiter) && !TryToGetPathDelimiter(b, delimiter)) {
    delimiter = u'/';
  }
  if (IsFolderEnd(a.back())) return a + b;
  std::u16string result;
  result.reserve(a.size() + 1 + b.size());
  result += a;
  result += delimiter;
  result += b;
  return result;
}

std::u16string GetCombinedPath(const std::u16string& a, const std::u16string& b,
                               const std::u16string& c) {
  return GetCombinedPath(GetCombinedPath(a, b), c);
}

std::u16string GetCombinedPath(const std::u16string& a, const std::u16string& b,
                               const std::u16string& c, const std::u16string& d) {
  return GetCombinedPath(GetCombinedPath(a, b, c), d);
}

std::u16string GetCombinedPath(const std::u16string& a, const std::u16string& b,
                               const std::u16string& c, const std::u16string& d,
                               const std::u16string& e) {
  return GetCombinedPath(GetCombinedPath(a, b, c, d), e);
}

bool TryToGetPathDelimiter(const std::u16string& path, char16_t& delimiter) {
  if (path.find(u'\\') != std::u16string::npos) {
    delimiter = u'\\';
    return true;
  }
  if (path.find(u'/') != std::u16string::npos) {
    delimiter = u'/';
    return true;
  }
  delimiter = u'\\';
  return false;
}

bool IsAbsolutePath(const std::u16string& path) {
  if (path.empty()) return false;
  return IsSlash(path[0]) || (path.size() > 1 && path[1] == u':');
}

bool IsRootPath(const std::u16string& path) {
  if (path.empty()) return false;
  if (IsSlash(path[0])) return true;
  if (path.size() >= 2 && path[0] == u'.' && IsSlash(path[1])) return true;
  if (path.size() >= 3 && path[0] == u'.' && path[1] == u'.' && IsSlash(path[2])) return true;
  return path.size() >= 3 && path[1] == u':' && IsSlash(path[2]);
}

bool IsSeparator(char16_t c, const std::u16string& separators) {
  if (c >= 0x4E00 && c <= 0x9FA5) return true;
  return separators.find(c) != std::u16string::npos;
}

bool CheckFolder(const std::u16string& path, const std::u16string& folder) {
  return QelStrToLower(GetFolder(path)) == QelStrToLower(folder);
}

namespace {

// Length of the common prefix of `a` and `b` that ends at a folder boundary: a separator
// that both hold at the same place, or the end of one where the other holds a separator or
// ends too. A leading root separator ("/", "C:\") stays part of the prefix.
std::size_t CommonPrefixLength(const std::u16string& a, const std::u16string& b) {
  std::size_t boundary = 0;
  std::size_t i = 0;
  const std::size_t n = std::min(a.size(), b.size());
  for (; i < n; ++i) {
    const bool bothSlash = IsSlash(a[i]) && IsSlash(b[i]);
    if (!bothSlash && a[i] != b[i]) break;
    if (bothSlash) {
      // Keep the root separator ("/" or "C:\") in the prefix; elsewhere stop before it.
      const bool isRoot = i == 0 || (i == 2 && a[1] == u':');
      boundary = isRoot ? i + 1 : i;
    }
  }
  if (i == n) {
    const bool aEnds = i == a.size() || IsSlash(a[i]);
    const bool bEnds = i == b.size() || IsSlash(b[i]);
    if (aEnds && bEnds && i > boundary) boundary = i;
  }
  return boundary;
}

bool CopyOut(const std::u16string& text, char16_t* out) {
  if (out == nullptr) return false;
  if (text.size() >= static_cast<std::size_t>(QEL_MAX_PATH)) {
    out[0] = u'\0';
    return false;
  }
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = u'\0';
  return true;
}

// Folder names of a path, without empty parts.
std::vector<std::u16string> SplitFolders(const std::u16string& path) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSlash(path[i])) {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

bool QelPathCommonPrefix(const std::u16string& a, const std::u16string& b, char16_t* out) {
  const std::size_t length = CommonPrefixLength(a, b);
  return CopyOut(a.substr(0, length), out) && length > 0;
}

bool QelPathRelativePathTo(char16_t* out, const std::u16string& from, const std::u16string& to) {
  const std::size_t length = CommonPrefixLength(from, to);
  if (length == 0) {
    CopyOut(std::u16string(), out);
    return true;
  }
  char16_t delimiter = u'/';
  if (!TryToGetPathDelimiter(from, delimiter) && !TryToGetPathDelimiter(to, delimiter)) {
    delimiter = u'/';
  }
  const std::size_t fromDepth = SplitFolders(from.substr(length)).size();
  const std::vector<std::u16string> rest = SplitFolders(to.substr(length));
  std::u16string result;
  for (std::size_t i = 0; i < fromDepth; ++i) {
    if (!result.empty()) result += delimiter;
    result += u"..";
  }
  if (result.empty()) result.push_back(u'.');
  for (const std::u16string& part : rest) {
    result += delimiter;
    result += part;
  }
  CopyOut(result, out);
  return true;
}

}  // namespace Qel
