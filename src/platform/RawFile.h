// File descriptors for the readers and writers that hand a descriptor to zlib. Paths are
// UTF-16 and become UTF-8 for the system. Failures return -1 or false with errno set.
// Stateless; callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Qel::Platform {

// Opens an existing file for reading; -1 on failure.
int OpenFileForRead(const std::u16string& path);
// Creates or truncates a file for writing (mode 0666 before the umask); -1 on failure.
int CreateFileForWrite(const std::u16string& path);
// The size of an open file; false when it cannot be determined.
bool GetFileSize(int fd, std::uint64_t& size);
// Closes the descriptor (errors are ignored: nothing useful can follow them).
void CloseFile(int fd);
// Closes the descriptor and reports whether the data reached the file system.
bool CloseFileChecked(int fd);

}  // namespace Qel::Platform
