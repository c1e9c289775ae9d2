// Library paths (UTF-16, "\" or "/" between folders) in the form the operating-system seam
// takes (UTF-8, "/"), and the seam's entry facts for them. Stateless; callable from any thread.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace Qel::Detail {

// UTF-8 form of a UTF-16 path with every "\" turned into "/"; false (errno EINVAL) when it
// holds a NUL unit.
bool ToNativePath(const std::u16string& path, std::string& out);

// Status of the entry `path` names; false (errno set) when it cannot be examined.
bool GetEntryStatus(const std::u16string& path, bool followLinks, Platform::EntryStatus& status);
// Adds the owner's write permission; true if it is there afterwards.
bool MakeWritable(const std::u16string& path);

}  // namespace Qel::Detail
