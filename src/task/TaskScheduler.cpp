#include "qel/task/TaskScheduler.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "core/Throw.h"
#include "platform/Platform.h"
#include "platform/Thread.h"
#include "qel/core/Exceptions.h"

namespace Qel {

struct TaskScheduler::ThreadStatus {
  TaskScheduler* owner = nullptr;
  Platform::ThreadRecord* thread = nullptr;  // null while the slot has no thread
  std::condition_variable wakeSignal;        // with `wake`: a signal of count 0 or 1
  bool wake = false;
  bool stop = false;
  bool idle = false;
};

namespace {

constexpr std::int32_t kMaxThreads = 64;
constexpr std::size_t kWaitRound = 64;  // tasks collected per round of WaitAll

thread_local TaskScheduler* t_workerOf = nullptr;
// How many tasks a waiting worker runs nested inside its waits for tasks it does not wait for.
// Each one adds stack frames; past the bound the worker only runs the tasks it waits for.
thread_local int t_helpDepth = 0;
constexpr int kMaxHelpDepth = 32;

// The lock and condition that every completion signal uses. Allocated once and never freed,
// so that workers finishing tasks during process exit never meet a destroyed lock.
struct CompletionLock {
  std::mutex mutex;
  std::condition_variable released;
};

CompletionLock& Completion() {
  static CompletionLock* lock = new CompletionLock;
  return *lock;
}

// Reads "QelMaxTaskThreads" as a decimal number the way a "%d" scan of its first 31
// characters would; 0 when it is missing or not a number.
std::int32_t MaxThreadsFromEnvironment() {
  const std::optional<std::string> value = Platform::GetEnv("QelMaxTaskThreads");
  if (!value) return 0;
  const std::string text = value->substr(0, 31);
  std::size_t pos = text.find_first_not_of(" \t\n\v\f\r");
  if (pos == std::string::npos) return 0;
  if (text[pos] == '+') ++pos;
  std::int32_t number = 0;
  auto [end, ec] = std::from_chars(text.data() + pos, text.data() + text.size(), number);
  (void)end;
  return ec == std::errc() ? number : 0;
}

std::u16string DescribeCurrentException() {
  try {
    throw;
  } catch (const BaseException& e) {
    return e.GetErrorDescription();
  } catch (const std::exception& e) {
    return BaseException(e, "Qel::TaskBase::Run").GetErrorDescription();
  } catch (...) {
    return BaseException(ErrorId::General,
                         u"Qel::TaskBase::Run: the task threw an exception of unknown type")
        .GetErrorDescription();
  }
}

using Clock = std::chrono::steady_clock;

// Waits on the completion condition until `ready` holds or the limit (negative: none) runs
// out; true when it ran out.
template <class Ready>
bool WaitForCompletion(std::int32_t timeoutMs, Ready ready) {
  CompletionLock& completion = Completion();
  std::unique_lock<std::mutex> lock(completion.mutex);
  if (timeoutMs < 0) {
    completion.released.wait(lock, ready);
    return false;
  }
  return !completion.released.wait_until(lock, Clock::now() + std::chrono::milliseconds(timeoutMs),
                                         ready);
}

}  // namespace

// A worker that waits keeps running queued tasks: first those it waits for (so that its stack
// grows no deeper than the nesting of the tasks), then others; while there is nothing to run
// it sleeps briefly on the completion condition (a newly queued task also wakes it).
template <class Done>
void TaskScheduler::HelpUntil(const std::vector<TaskBase*>& awaited, Done done) {
  while (!done()) {
    if (RunOneQueued(&awaited) == 0 && !done()) {
      CompletionLock& completion = Completion();
      std::unique_lock<std::mutex> lock(completion.mutex);
      completion.released.wait_for(lock, std::chrono::milliseconds(1), done);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TaskScheduler

TaskScheduler::TaskScheduler() {
  std::int32_t fromEnvironment = MaxThreadsFromEnvironment();
  Configure(fromEnvironment >= 1 && fromEnvironment <= kMaxThreads ? fromEnvironment
                                                                   : GetNumberOfCores());
}

TaskScheduler::TaskScheduler(std::int32_t maxThreads) {
  Configure(std::clamp(maxThreads, 1, kMaxThreads));
}

void TaskScheduler::Configure(std::int32_t maxThreads) {
  m_maxThreads = std::clamp(maxThreads, 1, kMaxThreads);
  m_sequential = m_maxThreads == 1;
  if (!m_sequential) {
    m_threads.reserve(static_cast<std::size_t>(m_maxThreads));
    for (std::int32_t i = 0; i < m_maxThreads; ++i)
      m_threads.push_back(std::make_unique<ThreadStatus>());
  }
}

TaskScheduler::~TaskScheduler() {
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_drained.wait(lock, [this] { return m_pending.load(std::memory_order_acquire) == 0; });
  }
  StopAllThreads();
  for (auto& entry : m_threads) {
    if (entry->thread != nullptr) Platform::JoinThread(entry->thread);
    entry->thread = nullptr;
  }
}

TaskScheduler& TaskScheduler::GetDefaultInstance() {
  static TaskScheduler instance;
  return instance;
}

void TaskScheduler::SetDefaultStackSize(std::int32_t bytes) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_stackSize = bytes < 0 ? 0 : bytes;
}

std::int32_t TaskScheduler::GetNumberOfCores() { return Platform::LogicalProcessorCount(); }

void TaskScheduler::ScheduleTask(TaskBase* task) {
  if (task == nullptr) Detail::ThrowInvalidArgument(u"Qel::TaskScheduler::ScheduleTask(@0 = null)");
  std::int32_t expected = TaskCreated;
  if (!task->m_state.compare_exchange_strong(expected, m_sequential ? TaskRunning : TaskScheduled,
                                             std::memory_order_acq_rel)) {
    Detail::ThrowInvalidArgument(
        u"Invalid task state for execution. Must be TaskState::TaskCreated");
  }
  if (m_sequential) {
    Execute(task);
    return;
  }
  m_pending.fetch_add(1, std::memory_order_acq_rel);
  std::unique_lock<std::mutex> lock(m_mutex);
  m_queue.push_back(task);
  if (StartWorkerThread()) return;
  bool anyThread = std::any_of(m_threads.begin(), m_threads.end(),
                               [](const auto& entry) { return entry->thread != nullptr; });
  if (anyThread) return;  // a running worker will take the task
  int err = errno;
  m_queue.pop_back();
  lock.unlock();
  task->m_state.store(TaskCreated, std::memory_order_release);
  m_pending.fetch_sub(1, std::memory_order_acq_rel);
  Detail::ThrowSystemError(err);
}

bool TaskScheduler::StartWorkerThread() {
  for (auto& entry : m_threads) {
    if (entry->idle) {
      entry->idle = false;
      entry->wake = true;
      entry->wakeSignal.notify_one();
      return true;
    }
  }
  for (auto& entry : m_threads) {
    if (entry->thread == nullptr) {
      entry->owner = this;
      entry->stop = false;
      entry->idle = false;
      entry->wake = false;
      int err = 0;
      entry->thread = Platform::StartThread(static_cast<std::uint32_t>(m_stackSize),
                                            &TaskScheduler::ThreadFunction, entry.get(), err);
      if (entry->thread == nullptr) {
        errno = err;
        return false;
      }
      return true;
    }
  }
  // Every worker is busy. Workers that wait for other tasks look at the queue again when
  // the completion condition wakes them.
  Completion().released.notify_all();
  return true;
}

bool TaskScheduler::StopAllThreads() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_pending.load(std::memory_order_acquire) != 0) return false;
  for (auto& entry : m_threads) {
    if (entry->thread == nullptr) continue;
    entry->stop = true;
    if (entry->idle) entry->wakeSignal.notify_one();
  }
  return true;
}

std::uint32_t TaskScheduler::ThreadFunction(void* entry) {
  auto* status = static_cast<ThreadStatus*>(entry);
  StructuredException::InititalizeStructuredExceptionHandling();
  t_workerOf = status->owner;
  status->owner->TaskLoop(status);
  t_workerOf = nullptr;
  return 0;
}

void TaskScheduler::TaskLoop(ThreadStatus* entry) {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!entry->stop) {
    if (!m_queue.empty()) {
      TaskBase* task = m_queue.front();
      m_queue.pop_front();
      lock.unlock();
      RunQueued(task);
      lock.lock();
      continue;
    }
    // Releasing the lock and starting to sleep is one step of the condition variable, so a
    // wake-up sent in between cannot be lost.
    entry->idle = true;
    entry->wakeSignal.wait(lock, [entry] { return entry->wake || entry->stop; });
    entry->wake = false;
    entry->idle = false;
  }
}

void TaskScheduler::RunQueued(TaskBase* task) {
  Execute(task);
  if (m_pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_drained.notify_all();
  }
}

int TaskScheduler::RunOneQueued(const std::vector<TaskBase*>* awaited) {
  if (t_workerOf != this) return -1;
  std::unique_lock<std::mutex> lock(m_mutex);
  TaskBase* task = nullptr;
  if (awaited != nullptr) {
    for (TaskBase* wanted : *awaited) {
      if (wanted->m_state.load(std::memory_order_acquire) != TaskScheduled) continue;
      // Tasks the worker waits for were usually queued last.
      auto found = std::find(m_queue.rbegin(), m_queue.rend(), wanted);
      if (found == m_queue.rend()) continue;
      task = *found;
      m_queue.erase(std::next(found).base());
      break;
    }
  }
  if (task == nullptr && !m_queue.empty() && t_helpDepth < kMaxHelpDepth) {
    task = m_queue.front();
    m_queue.pop_front();
  }
  if (task == nullptr) return 0;
  lock.unlock();
  ++t_helpDepth;
  RunQueued(task);
  --t_helpDepth;
  return 1;
}

bool TaskScheduler::ProcessTaskBeforeWait() { return RunOneQueued(nullptr) >= 0; }

TaskScheduler* TaskScheduler::CurrentWorkerScheduler() { return t_workerOf; }

void TaskScheduler::Execute(TaskBase* task) {
  UpdateTaskState(task, TaskRunning);
  TaskState outcome = TaskCompleted;
  std::u16string error;
  try {
    task->Run();
  } catch (...) {
    outcome = TaskFailed;
    try {
      error = DescribeCurrentException();
    } catch (...) {
      error = u"The task failed; its error could not be described.";
    }
  }
  Finish(task, outcome, error);
}

void TaskScheduler::UpdateTaskState(TaskBase* task, TaskState state) {
  task->m_state.store(state, std::memory_order_release);
}

void TaskScheduler::UpdateTaskState(TaskBase* task, TaskState state, const std::u16string& error) {
  task->m_error = error;  // published by the release store of the state
  task->m_state.store(state, std::memory_order_release);
}

void TaskScheduler::Finish(TaskBase* task, TaskState state, const std::u16string& error) {
  CompletionLock& completion = Completion();
  {
    std::lock_guard<std::mutex> lock(completion.mutex);
    task->m_signalled = true;
    // The final state is the last write to the task: a waiter that sees it may destroy it.
    UpdateTaskState(task, state, error);
  }
  completion.released.notify_all();
}

// ---------------------------------------------------------------------------------------------
// TaskBase

TaskBase::TaskBase() = default;
TaskBase::~TaskBase() = default;

void TaskBase::Start() { TaskScheduler::GetDefaultInstance().ScheduleTask(this); }

TaskState TaskBase::GetTaskState() const {
  return static_cast<TaskState>(m_state.load(std::memory_order_acquire));
}

std::u16string TaskBase::GetTaskError() const {
  if (!IsFinished()) return {};
  return m_error;
}

bool TaskBase::IsFinished() const {
  std::int32_t state = m_state.load(std::memory_order_acquire);
  return state == TaskCompleted || state == TaskFailed;
}

namespace {

void RequireStarted(const std::vector<TaskBase*>& tasks) {
  for (TaskBase* task : tasks) {
    if (task == nullptr) Detail::ThrowInvalidArgument(u"Qel::TaskBase::WaitAll(@0 = null task)");
    if (task->GetTaskState() == TaskCreated) {
      Detail::ThrowInvalidArgument(
          u"Task was not yet started. Make sure that the task was started before calling "
          u"TaskBase::Wait.");
    }
  }
}

bool AllFinished(const std::vector<TaskBase*>& tasks) {
  return std::all_of(tasks.begin(), tasks.end(), [](TaskBase* task) {
    TaskState state = task->GetTaskState();
    return state == TaskCompleted || state == TaskFailed;
  });
}

bool AnyFinished(const std::vector<TaskBase*>& tasks) {
  return std::any_of(tasks.begin(), tasks.end(), [](TaskBase* task) {
    TaskState state = task->GetTaskState();
    return state == TaskCompleted || state == TaskFailed;
  });
}

}  // namespace

void TaskBase::Wait() { Wait(-1); }

bool TaskBase::Wait(std::int32_t timeoutMs) {
  if (GetTaskState() == TaskCreated) {
    Detail::ThrowInvalidArgument(
        u"Task was not yet started. Make sure that the task was started before calling "
        u"TaskBase::Wait.");
  }
  if (IsFinished()) return false;
  if (TaskScheduler* worker = TaskScheduler::CurrentWorkerScheduler()) {
    std::vector<TaskBase*> awaited{this};
    worker->HelpUntil(awaited, [this] { return IsFinished(); });
    return false;
  }
  return WaitForCompletion(timeoutMs, [this] { return m_signalled; });
}

bool TaskBase::WaitAll(std::vector<TaskBase*>& tasks, std::int32_t timeoutMs) {
  if (tasks.empty()) return false;
  RequireStarted(tasks);
  if (AllFinished(tasks)) return false;
  if (TaskScheduler* worker = TaskScheduler::CurrentWorkerScheduler()) {
    worker->HelpUntil(tasks, [&tasks] { return AllFinished(tasks); });
    return false;
  }
  std::vector<TaskBase*> round;
  round.reserve(kWaitRound);
  for (;;) {
    round.clear();
    for (TaskBase* task : tasks) {
      if (round.size() == kWaitRound) break;
      if (!task->IsFinished()) round.push_back(task);
    }
    if (round.empty()) return false;
    bool timedOut = WaitForCompletion(timeoutMs, [&round] {
      return std::all_of(round.begin(), round.end(),
                         [](const TaskBase* task) { return task->m_signalled; });
    });
    if (timedOut) return true;
    if (round.size() < kWaitRound) return false;
  }
}

void TaskBase::WaitAll(std::vector<TaskBase*>& tasks) { WaitAll(tasks, -1); }

bool TaskBase::WaitAny(std::vector<TaskBase*>& tasks, std::int32_t timeoutMs) {
  if (tasks.empty()) return false;
  RequireStarted(tasks);
  if (AnyFinished(tasks)) return false;
  if (TaskScheduler* worker = TaskScheduler::CurrentWorkerScheduler()) {
    worker->HelpUntil(tasks, [&tasks] { return AnyFinished(tasks); });
    return false;
  }
  // Every task of the list is watched, not only the first 64: the signals are flags under one
  // lock, so the operating system's limit on one wait does not apply.
  return WaitForCompletion(timeoutMs, [&tasks] {
    return std::any_of(tasks.begin(), tasks.end(),
                       [](const TaskBase* task) { return task->m_signalled; });
  });
}

void TaskBase::WaitAny(std::vector<TaskBase*>& tasks) { WaitAny(tasks, -1); }

}  // namespace Qel
