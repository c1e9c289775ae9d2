// Operating-system threads for the task scheduler and the thread helpers: joinable threads
// with a chosen stack size, waits with a time limit, and the processor count. A thread handle
// belongs to the caller until CloseThread or JoinThread; every function is thread-safe.
#pragma once

#include <cstdint>

namespace Qel::Platform {

struct ThreadRecord;

using ThreadStart = std::uint32_t (*)(void*);

// Starts `start(param)` on a new thread with `stackSize` bytes of stack (0: the system
// default). Returns null and sets `err` (an errno value) when the thread cannot be created.
ThreadRecord* StartThread(std::uint32_t stackSize, ThreadStart start, void* param, int& err);

// True when the thread has ended within `timeoutMs` (0xFFFFFFFF: no limit).
bool WaitThread(ThreadRecord* thread, std::uint32_t timeoutMs);

// Releases the handle; a thread that still runs goes on and cleans up after itself.
void CloseThread(ThreadRecord* thread);

// Waits for the thread to end, then releases the handle.
void JoinThread(ThreadRecord* thread);

// The number of logical processors this process may run on (at least 1).
std::int32_t LogicalProcessorCount();

}  // namespace Qel::Platform
