// Operating-system threads outside the task scheduler. A handle returned by QelCreateThread
// belongs to the caller, who releases it with QelCloseThreadHandle; the thread runs as the
// process user. All functions are thread-safe.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>

namespace Qel {

// Starts `start(param)` on a new thread with `stackSize` bytes of stack (0: the system
// default). Returns the thread's handle, or null when no thread could be created.
QEL_API void* QelCreateThread(unsigned int stackSize, std::uint32_t (*start)(void*), void* param);
// True when the thread ended within `timeoutMs` (0xFFFFFFFF: no limit); false on time-out or
// a null handle.
QEL_API bool QelWaitThread(void* handle, std::uint32_t timeoutMs);
// Releases the handle; a thread still running goes on.
QEL_API void QelCloseThreadHandle(void* handle);
// The number of logical processors available to the process.
QEL_API std::int32_t QelGetCPUCount();

}  // namespace Qel
