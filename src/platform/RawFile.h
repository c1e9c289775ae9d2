// File descriptors for the XML readers and writers (which hand a descriptor to zlib or write
// through it). Paths are UTF-8; an empty path or one holding a NUL byte fails with ENOENT.
// Failures return -1 or false with errno set; nothing throws. Stateless; callable from any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Qel::Platform {

// Opens an existing file for reading; -1 on failure.
int OpenFileForRead(const std::string& path);
// Creates or truncates a file for writing (mode 0666 before the umask); -1 on failure.
int CreateFileForWrite(const std::string& path);
// The size of an open file; false when it cannot be determined.
bool GetFileSize(int fd, std::uint64_t& size);
// Closes the descriptor (errors are ignored: nothing useful can follow them).
void CloseFile(int fd);
// Closes the descriptor and reports whether the data reached the file system.
bool CloseFileChecked(int fd);

}  // namespace Qel::Platform
