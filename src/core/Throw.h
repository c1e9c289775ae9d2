// One-line throw sites: every throw of the library goes through these helpers so that each
// site names its error id and arguments and nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "qel/core/Exceptions.h"

namespace Qel::Detail {

// Throws E constructed from `args`.
template <class E = BaseException, class... Args>
[[noreturn]] void Throw(Args&&... args) {
  throw E(std::forward<Args>(args)...);
}

// BaseException 1 (invalid argument) with `what`.
[[noreturn]] void ThrowInvalidArgument(const std::u16string& what);
// BaseException 5 (out of memory) with a throw-site tag such as u"[752]".
[[noreturn]] void ThrowOutOfMemory(const std::u16string& tag);
// BaseException 17 (general error) with `what`.
[[noreturn]] void ThrowGeneral(const std::u16string& what);
// BaseException 17 whose argument is the system text of `err` (an errno value).
[[noreturn]] void ThrowSystemError(int err);
// FileIOException `id` for `path` with the system text of `err` as the original error.
[[noreturn]] void ThrowFileError(std::int32_t id, const std::u16string& path, int err);

// The system's text for an errno value (never throws; "" for an unknown value).
std::u16string SystemErrorText(int err);

}  // namespace Qel::Detail
