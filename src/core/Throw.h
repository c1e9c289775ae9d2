// One-line throw sites: every exception of the library's own hierarchy is thrown through these
// helpers, so that each site states its error id (an ErrorId) and its arguments and nothing
// else. The other `throw` expressions of the library are rethrows and a few standard or engine
// exceptions that callers receive by contract (std::out_of_range from QelUuidFromString,
// boost::regex_error from Regex) or that never leave the library.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "qel/core/Exceptions.h"

namespace Qel::Detail {

// Throws E constructed from `args`: an ErrorId and its arguments, or a standard exception to
// wrap as ErrorId::General with the name of the failing function and its values.
template <class E = BaseException, class... Args>
[[noreturn]] void Throw(Args&&... args) {
  throw E(std::forward<Args>(args)...);
}

// BaseException ErrorId::InvalidArgument with `what`.
[[noreturn]] void ThrowInvalidArgument(const std::u16string& what);
// BaseException ErrorId::OutOfMemory with a throw-site tag such as u"[752]".
[[noreturn]] void ThrowOutOfMemory(const std::u16string& tag);
// BaseException ErrorId::General with `what`.
[[noreturn]] void ThrowGeneral(const std::u16string& what);
// BaseException ErrorId::General whose argument is the system text of `err` (an errno value).
[[noreturn]] void ThrowSystemError(int err);
// FileIOException `id` for `path` with the system text of `err` as the original error.
[[noreturn]] void ThrowFileError(ErrorId id, const std::u16string& path, int err);

// The system's text for an errno value; "Unknown system error <err>" for a value without one.
// Never throws.
std::u16string SystemErrorText(int err);

}  // namespace Qel::Detail
