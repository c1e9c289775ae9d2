// The file behind the library's settings: where it lives, reading it whole, and rewriting it
// safely between processes (a lock file, a temporary file, fsync and rename). Thread-safe;
// the lock serialises writers of all processes that use the same file.
#pragma once

#include <functional>
#include <string>
#include <system_error>

namespace Qel::Platform {

// QEL_REGISTRY_FILE, else ${XDG_CONFIG_HOME:-$HOME/.config}/qel/registry.reg; empty when
// neither variable gives a path.
std::string SettingsFilePath();

// Holding an exclusive lock on "<path>.lock", reads the file (null when it does not exist),
// passes it to `change`, and replaces the file with what `change` returns: written to
// a new "<path>.tmp.XXXXXX" (created exclusively, never through a link), flushed to disk and
// renamed over the old file, so that a crash at any moment leaves the old or the new file. A killed
// holder releases the lock with its process. Returns the system error of the step that failed (the
// old file stays), or no error; whatever `change` throws passes through and leaves the file
// untouched.
[[nodiscard]] std::error_code RewriteFileLocked(
    const std::string& path, const std::function<std::string(const std::string* current)>& change);

}  // namespace Qel::Platform
