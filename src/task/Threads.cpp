#include "qel/task/Threads.h"

#include "platform/Thread.h"

namespace Qel {

void* QelCreateThread(unsigned int stackSize, std::uint32_t (*start)(void*), void* param) {
  int err = 0;
  return Platform::StartThread(stackSize, start, param, err);
}

bool QelWaitThread(void* handle, std::uint32_t timeoutMs) {
  return Platform::WaitThread(static_cast<Platform::ThreadRecord*>(handle), timeoutMs);
}

void QelCloseThreadHandle(void* handle) {
  Platform::CloseThread(static_cast<Platform::ThreadRecord*>(handle));
}

std::int32_t QelGetCPUCount() { return Platform::LogicalProcessorCount(); }

}  // namespace Qel
