// A unit of work for the library's task scheduler: derive from TaskBase, put the work in Run()
// and call Start(). The caller owns every task and keeps it alive until it has finished;
// Start, the waits and the state queries may be called from any thread.
#pragma once

#include <qel/core/Export.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace Qel {

enum TaskState : std::int32_t {
  TaskCreated = 0,
  TaskScheduled = 1,  // queued
  TaskRunning = 2,
  TaskCompleted = 3,
  TaskFailed = 5,
};

class TaskScheduler;

class QEL_API TaskBase {
 public:
  TaskBase();
  virtual ~TaskBase();
  TaskBase(const TaskBase&) = delete;
  TaskBase& operator=(const TaskBase&) = delete;

  // The task's work. Whatever it throws ends the task in TaskFailed with the error's text.
  virtual void Run() = 0;

  // Schedules the task on the default scheduler. Throws BaseException 1 unless the task is
  // in TaskCreated (a task runs once).
  void Start();

  // Waits until the task has finished. Throws BaseException 1 for a task never started.
  void Wait();
  // True when `timeoutMs` ran out first (a negative limit waits without limit). A worker
  // thread of the scheduler runs queued tasks while it waits and is not bound by the limit.
  bool Wait(std::int32_t timeoutMs);

  // True when the time ran out before all tasks finished; false for an empty list. The limit
  // applies to each round of at most 64 tasks. Every task must have been started.
  static bool WaitAll(std::vector<TaskBase*>& tasks, std::int32_t timeoutMs);
  static void WaitAll(std::vector<TaskBase*>& tasks);
  // True when the time ran out before any task finished; false for an empty list.
  static bool WaitAny(std::vector<TaskBase*>& tasks, std::int32_t timeoutMs);
  static void WaitAny(std::vector<TaskBase*>& tasks);

  TaskState GetTaskState() const;
  // The description of the failure; empty unless the task ended in TaskFailed.
  std::u16string GetTaskError() const;

 private:
  friend class TaskScheduler;

  bool IsFinished() const;

  // The completion signal: set once when the task has finished and never reset, so that
  // any number of waiters return. Guarded by the scheduler's completion lock.
  bool m_signalled = false;
  std::atomic<std::int32_t> m_state{TaskCreated};
  // Written before the final state is published; read only after it.
  std::u16string m_error;
};

}  // namespace Qel
