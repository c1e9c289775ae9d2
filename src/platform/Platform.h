// The operating-system seam of the library: everything that asks Linux for something goes
// through here. Paths and texts are UTF-8 unless a name says otherwise. Thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace Qel::Platform {

// strerror text of an errno value; "" when the system has no text for it.
std::string ErrnoText(int err);
// The path of the shared object or executable that holds `address` ("" when unknown).
std::string ModulePathOf(const void* address);
// The running executable's path ("" when it cannot be read).
std::string ExecutablePath();
// An environment variable, or nothing when unset.
std::optional<std::string> GetEnv(const char* name);
// true when `path` names an existing folder.
bool IsFolder(const std::string& path);
// Reads a whole file into `out`; false (with errno set, `out` unchanged) on failure.
bool ReadWholeFile(const std::string& path, std::string& out);
// Writes all `size` bytes to `fd`, retrying short and interrupted writes; false (with errno
// set) on failure. Safe in a signal handler.
bool WriteFully(int fd, const void* data, std::size_t size);
// The message locale as a language name ("de_DE.UTF-8" gives "de-DE"); nothing for C/POSIX.
std::optional<std::string> MessageLocaleName();
// Asks for huge pages behind the whole pages of [data, data + size) before they are first
// written (a hint: nothing happens where the system does not give them). Fresh results of tens
// of megabytes then take a few page faults instead of thousands.
void AdviseHugePages(void* data, std::size_t size);
// `size` bytes of zeroed memory aligned to 2 MiB, backed by huge pages where the system gives
// them, for arrays of megabytes written all over; nullptr when the system refuses. Give it back
// with FreeLarge and the same size.
void* AllocateLarge(std::size_t size);
void FreeLarge(void* data, std::size_t size);
// Writes a line (UTF-8, followed by a line feed) to standard output.
void WriteDiagnosticLine(const std::string& line);

}  // namespace Qel::Platform
