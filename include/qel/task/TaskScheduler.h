// The task scheduler: a pool of worker threads, started on demand up to a maximum, that runs
// queued tasks first in first out. The library holds one default instance for its lifetime;
// every member function may be called from any thread. The scheduler does not own the tasks.
#pragma once

#include <qel/core/Export.h>
#include <qel/task/TaskBase.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Qel {

class QEL_API TaskScheduler {
 public:
  // Pool size from the environment variable "QelMaxTaskThreads" when it holds a number from
  // 1 to 64, else the number of logical processors. A pool of one runs every task at once on
  // the thread that schedules it.
  TaskScheduler();
  // A pool of `maxThreads` (clamped to 1..64), for components that want a pool of their own.
  explicit TaskScheduler(std::int32_t maxThreads);
  // Waits for the tasks still queued or running, then ends the worker threads.
  ~TaskScheduler();
  TaskScheduler(const TaskScheduler&) = delete;
  TaskScheduler& operator=(const TaskScheduler&) = delete;

  // The library's scheduler, the one TaskBase::Start uses.
  static TaskScheduler& GetDefaultInstance();

  // Queues `task` (or runs it at once in a pool of one). The task must stay alive until it has
  // finished. Throws BaseException 17 when no worker thread exists and none can be created.
  void ScheduleTask(TaskBase* task);
  // Stack size in bytes for worker threads created afterwards (0: the system default).
  void SetDefaultStackSize(std::int32_t bytes);
  bool AreTasksRunningSequentially() const { return m_sequential; }
  std::int32_t GetMaxThreadCount() const { return m_maxThreads; }
  // On a worker thread of this scheduler: runs one queued task, if any, and returns true.
  // Elsewhere returns false at once.
  bool ProcessTaskBeforeWait();

 protected:
  struct ThreadStatus;

  static std::int32_t GetNumberOfCores();
  // Wakes an idle worker or creates one; false when no thread could be created.
  bool StartWorkerThread();
  // Asks every worker to end unless tasks are pending; true when it did.
  bool StopAllThreads();
  void TaskLoop(ThreadStatus* entry);
  static std::uint32_t ThreadFunction(void* entry);
  static void UpdateTaskState(TaskBase* task, TaskState state);
  static void UpdateTaskState(TaskBase* task, TaskState state, const std::u16string& error);

 private:
  friend class TaskBase;

  void Configure(std::int32_t maxThreads);
  // Runs the body, records the outcome and releases the completion signal.
  void Execute(TaskBase* task);
  // Publishes the final state and releases the completion signal; the task is not touched
  // afterwards, so its owner may destroy it as soon as a waiter returns.
  static void Finish(TaskBase* task, TaskState state, const std::u16string& error);
  // The scheduler whose worker the calling thread is, or null.
  static TaskScheduler* CurrentWorkerScheduler();
  // On a worker: runs one queued task, preferring those of `awaited` (1), or finds nothing it
  // may run (0); elsewhere -1.
  int RunOneQueued(const std::vector<TaskBase*>* awaited);
  // The wait of a worker thread: runs queued tasks until `done()` holds.
  template <class Done>
  void HelpUntil(const std::vector<TaskBase*>& awaited, Done done);
  // Takes a queued task off the pool's books after running it.
  void RunQueued(TaskBase* task);

  std::deque<TaskBase*> m_queue;
  std::vector<std::unique_ptr<ThreadStatus>> m_threads;
  std::mutex m_mutex;  // guards m_queue and m_threads
  std::int32_t m_maxThreads = 1;
  std::int32_t m_stackSize = 0;
  std::atomic<std::int32_t> m_pending{0};
  bool m_sequential = false;
  std::condition_variable m_drained;  // signalled when m_pending reaches 0 (under m_mutex)
};

}  // namespace Qel
