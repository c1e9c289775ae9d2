#include "platform/Thread.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace Qel::Platform {

struct ThreadRecord {
  pthread_t id{};
  ThreadStart start = nullptr;
  void* param = nullptr;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  // One reference for the handle, one for the running thread.
  std::atomic<int> references{2};
};

namespace {

void Release(ThreadRecord* record) {
  if (record->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete record;
}

void* ThreadEntry(void* arg) {
  auto* record = static_cast<ThreadRecord*>(arg);
  record->start(record->param);
  {
    std::lock_guard<std::mutex> lock(record->mutex);
    record->done = true;
  }
  record->ended.notify_all();
  Release(record);
  return nullptr;
}

}  // namespace

ThreadRecord* StartThread(std::uint32_t stackSize, ThreadStart start, void* param, int& err) {
  auto* record = new ThreadRecord;
  record->start = start;
  record->param = param;
  pthread_attr_t attr;
  err = pthread_attr_init(&attr);
  if (err != 0) {
    delete record;
    return nullptr;
  }
  if (stackSize != 0) {
    // The system refuses sizes below its minimum; round up to it instead of failing.
    std::size_t size = stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize;
    err = pthread_attr_setstacksize(&attr, size);
  }
  if (err == 0) err = pthread_create(&record->id, &attr, &ThreadEntry, record);
  pthread_attr_destroy(&attr);
  if (err != 0) {
    delete record;
    return nullptr;
  }
  return record;
}

bool WaitThread(ThreadRecord* thread, std::uint32_t timeoutMs) {
  if (thread == nullptr) return false;
  std::unique_lock<std::mutex> lock(thread->mutex);
  if (timeoutMs == 0xFFFFFFFFu) {
    thread->ended.wait(lock, [thread] { return thread->done; });
    return true;
  }
  return thread->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [thread] { return thread->done; });
}

void CloseThread(ThreadRecord* thread) {
  if (thread == nullptr) return;
  bool done;
  {
    std::lock_guard<std::mutex> lock(thread->mutex);
    done = thread->done;
  }
  if (done) {
    pthread_join(thread->id, nullptr);  // it is past its last step; this returns at once
  } else {
    pthread_detach(thread->id);
  }
  Release(thread);
}

void JoinThread(ThreadRecord* thread) {
  if (thread == nullptr) return;
  pthread_join(thread->id, nullptr);
  Release(thread);
}

std::int32_t LogicalProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  unsigned int count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : static_cast<std::int32_t>(count);
}

}  // namespace Qel::Platform
