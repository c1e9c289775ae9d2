// The file-system seam: the few facts about an entry and the operations that the file, text
// file and lock functions need, over POSIX calls. Stateless; callable from any thread.
// Failures leave errno set for the caller's error text.
#pragma once

#include <cstdint>
#include <string>

namespace Qel::Platform {

// UTF-8 form of a UTF-16 path with every "\" turned into "/"; false (errno EINVAL) when it
// holds a NUL unit.
bool ToNativePath(const std::u16string& path, std::string& out);

struct EntryStatus {
  bool isFolder = false;
  bool isRegular = false;
  bool isLink = false;    // only when examined without following links
  bool readOnly = false;  // the owner may not write (root ignores it, the library does not)
  std::int64_t size = 0;
  std::int64_t modifiedSeconds = 0;
  std::int64_t modifiedNanoseconds = 0;
  std::int64_t accessSeconds = 0;
  std::int64_t changeSeconds = 0;
};

// Status of an entry; false when it cannot be examined.
bool GetEntryStatus(const std::u16string& path, bool followLinks, EntryStatus& status);
// Adds the owner's write permission; true if it is there afterwards.
bool MakeWritable(const std::u16string& path);

}  // namespace Qel::Platform
