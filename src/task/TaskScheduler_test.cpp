#include "qel/task/TaskScheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "qel/core/Exceptions.h"
#include "qel/task/CriticalSection.h"
#include "qel/task/Threads.h"

namespace Qel {
namespace {

class FunctionTask : public TaskBase {
 public:
  explicit FunctionTask(std::function<void()> body) : m_body(std::move(body)) {}
  void Run() override { m_body(); }

 private:
  std::function<void()> m_body;
};

// A gate that tasks block on until the test opens it.
class Gate {
 public:
  void Pass() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_open; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_open = true;
    }
    m_cv.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_open = false;
};

std::int32_t PoolSizeFor(const char* value) {
  setenv("QelMaxTaskThreads", value, 1);
  TaskScheduler scheduler;
  unsetenv("QelMaxTaskThreads");
  return scheduler.GetMaxThreadCount();
}

TEST(TaskScheduler, PoolSizeComesFromTheEnvironmentWhenValid) {
  EXPECT_EQ(PoolSizeFor("1"), 1);
  EXPECT_EQ(PoolSizeFor("64"), 64);
  EXPECT_EQ(PoolSizeFor(" 3"), 3);
  EXPECT_EQ(PoolSizeFor("5threads"), 5) << "a number followed by text is read as %d reads it";
  const std::int32_t cores = QelGetCPUCount();
  for (const char* invalid : {"0", "65", "-2", "many", ""})
    EXPECT_EQ(PoolSizeFor(invalid), cores) << "'" << invalid << "'";

  setenv("QelMaxTaskThreads", "1", 1);
  TaskScheduler sequential;
  unsetenv("QelMaxTaskThreads");
  EXPECT_TRUE(sequential.AreTasksRunningSequentially());
}

TEST(TaskScheduler, SequentialPoolRunsTasksBeforeScheduleReturns) {
  TaskScheduler scheduler(1);
  ASSERT_TRUE(scheduler.AreTasksRunningSequentially());
  std::thread::id ranOn;
  FunctionTask task([&] { ranOn = std::this_thread::get_id(); });
  scheduler.ScheduleTask(&task);
  EXPECT_EQ(task.GetTaskState(), TaskCompleted);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_FALSE(task.Wait(0));

  FunctionTask failing([] { throw std::runtime_error("sequential failure"); });
  EXPECT_NO_THROW(scheduler.ScheduleTask(&failing));
  EXPECT_EQ(failing.GetTaskState(), TaskFailed);
  EXPECT_NE(failing.GetTaskError().find(u"sequential failure"), std::u16string::npos);
  EXPECT_FALSE(failing.Wait(1000)) << "a failed task must not leave a wait hanging";
  failing.Wait();
}

TEST(TaskScheduler, StartAndWaitCheckTheTaskState) {
  FunctionTask task([] {});
  try {
    task.Wait();
    FAIL() << "Wait on a task never started must throw";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 1);
    EXPECT_EQ(e.GetErrorArg(),
              u"Task was not yet started. Make sure that the task was started before calling "
              u"TaskBase::Wait.");
  }
  task.Start();
  try {
    task.Start();
    FAIL() << "a second Start must throw";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 1);
    EXPECT_EQ(e.GetErrorArg(), u"Invalid task state for execution. Must be TaskState::TaskCreated");
  }
  task.Wait();
  EXPECT_EQ(task.GetTaskState(), TaskCompleted);
  EXPECT_TRUE(task.GetTaskError().empty());
  std::vector<TaskBase*> none;
  EXPECT_FALSE(TaskBase::WaitAll(none, 0));
  EXPECT_FALSE(TaskBase::WaitAny(none, 0));
}

TEST(TaskSchedulerConcurrency, FailuresOfAnyKindEndInTaskFailed) {
  TaskScheduler pool(2);
  FunctionTask library([] { throw BaseException(5); });
  FunctionTask standard([] { throw std::out_of_range("index 7 past the end"); });
  FunctionTask other([] { throw 42; });
  FunctionTask fine([] {});
  std::vector<TaskBase*> tasks{&library, &standard, &other, &fine};
  for (TaskBase* task : tasks) pool.ScheduleTask(task);
  TaskBase::WaitAll(tasks);
  EXPECT_EQ(library.GetTaskState(), TaskFailed);
  EXPECT_EQ(library.GetTaskError(), BaseException(5).GetErrorDescription());
  EXPECT_EQ(standard.GetTaskState(), TaskFailed);
  EXPECT_NE(standard.GetTaskError().find(u"index 7 past the end"), std::u16string::npos);
  EXPECT_EQ(other.GetTaskState(), TaskFailed);
  EXPECT_FALSE(other.GetTaskError().empty());
  EXPECT_EQ(fine.GetTaskState(), TaskCompleted);
  for (TaskBase* task : tasks) EXPECT_FALSE(task->Wait(0)) << "signal already consumed";
}

void RunBatch(TaskScheduler& pool, int count) {
  std::atomic<int> runs{0};
  std::vector<std::unique_ptr<FunctionTask>> owned;
  std::vector<TaskBase*> tasks;
  for (int i = 0; i < count; ++i) {
    owned.push_back(std::make_unique<FunctionTask>([&runs] { runs.fetch_add(1); }));
    tasks.push_back(owned.back().get());
  }
  for (TaskBase* task : tasks) pool.ScheduleTask(task);
  EXPECT_FALSE(TaskBase::WaitAll(tasks, 60000)) << count << " tasks";
  EXPECT_EQ(runs.load(), count);
  for (TaskBase* task : tasks) ASSERT_EQ(task->GetTaskState(), TaskCompleted);
}

TEST(TaskSchedulerConcurrency, WaitAllOverManyTasks) {
  TaskScheduler pool(4);
  RunBatch(pool, 100);   // two rounds: 64 and 36
  RunBatch(pool, 1000);  // sixteen rounds
  RunBatch(pool, 64);    // exactly one full round
}

TEST(TaskSchedulerConcurrency, WaitAllAndWaitAnyTimeOutWhileTasksBlock) {
  TaskScheduler pool(3);
  Gate gate;
  std::vector<std::unique_ptr<FunctionTask>> owned;
  std::vector<TaskBase*> tasks;
  for (int i = 0; i < 100; ++i) {
    owned.push_back(std::make_unique<FunctionTask>([&gate] { gate.Pass(); }));
    tasks.push_back(owned.back().get());
    pool.ScheduleTask(tasks.back());
  }
  EXPECT_TRUE(TaskBase::WaitAll(tasks, 20));
  EXPECT_TRUE(TaskBase::WaitAny(tasks, 20));
  EXPECT_TRUE(tasks.back()->Wait(20));
  gate.Open();
  EXPECT_FALSE(TaskBase::WaitAny(tasks, 60000));
  EXPECT_FALSE(TaskBase::WaitAll(tasks, 60000));
  EXPECT_FALSE(tasks.front()->Wait(0));
}

TEST(TaskSchedulerConcurrency, WaitAnyReturnsWhenOneTaskFinishes) {
  TaskScheduler pool(2);
  Gate gate;
  FunctionTask blocked([&gate] { gate.Pass(); });
  FunctionTask quick([] {});
  pool.ScheduleTask(&blocked);
  pool.ScheduleTask(&quick);
  std::vector<TaskBase*> tasks{&blocked, &quick};
  EXPECT_FALSE(TaskBase::WaitAny(tasks, 60000));
  EXPECT_EQ(quick.GetTaskState(), TaskCompleted);
  EXPECT_NE(blocked.GetTaskState(), TaskCompleted);
  gate.Open();
  blocked.Wait();
}

// Each node starts `fanOut` children on the same pool and waits for them: on a pool of two
// this only finishes because waiting workers run queued tasks.
class TreeTask : public TaskBase {
 public:
  TreeTask(TaskScheduler& pool, int depth, int fanOut, std::atomic<int>& count)
      : m_pool(pool), m_depth(depth), m_fanOut(fanOut), m_count(count) {}
  void Run() override {
    m_count.fetch_add(1);
    if (m_depth == 0) return;
    std::vector<std::unique_ptr<TreeTask>> children;
    std::vector<TaskBase*> waitFor;
    for (int i = 0; i < m_fanOut; ++i) {
      children.push_back(std::make_unique<TreeTask>(m_pool, m_depth - 1, m_fanOut, m_count));
      waitFor.push_back(children.back().get());
      m_pool.ScheduleTask(children.back().get());
    }
    if (m_depth % 2 == 0) {
      TaskBase::WaitAll(waitFor);
    } else {
      for (TaskBase* child : waitFor) child->Wait();
    }
    for (TaskBase* child : waitFor) {
      if (child->GetTaskState() != TaskCompleted) throw std::logic_error("child not finished");
    }
  }

 private:
  TaskScheduler& m_pool;
  int m_depth;
  int m_fanOut;
  std::atomic<int>& m_count;
};

TEST(TaskSchedulerConcurrency, NestedTasksCompleteOnAPoolOfTwo) {
  TaskScheduler pool(2);
  std::atomic<int> count{0};
  TreeTask root(pool, 5, 3, count);
  pool.ScheduleTask(&root);
  EXPECT_FALSE(root.Wait(120000));
  EXPECT_EQ(root.GetTaskState(), TaskCompleted)
      << std::string(root.GetTaskError().begin(), root.GetTaskError().end());
  EXPECT_EQ(count.load(), 1 + 3 + 9 + 27 + 81 + 243);
}

TEST(TaskSchedulerConcurrency, WideTreeDoesNotExhaustTheWorkersStacks) {
  // Thousands of queued tasks: a waiting worker that ran any queued task inside its wait would
  // nest one wait per task and overflow its stack.
  TaskScheduler pool(2);
  std::atomic<int> count{0};
  TreeTask root(pool, 7, 4, count);
  pool.ScheduleTask(&root);
  root.Wait();
  EXPECT_EQ(root.GetTaskState(), TaskCompleted);
  EXPECT_EQ(count.load(), (1 << 16) / 3);  // 1 + 4 + ... + 4^7 = 21845
}

TEST(TaskSchedulerConcurrency, DefaultInstanceRunsStartedTasks) {
  std::atomic<int> runs{0};
  std::vector<std::unique_ptr<FunctionTask>> owned;
  std::vector<TaskBase*> tasks;
  for (int i = 0; i < 50; ++i) {
    owned.push_back(std::make_unique<FunctionTask>([&runs] { runs.fetch_add(1); }));
    tasks.push_back(owned.back().get());
    owned.back()->Start();
  }
  TaskBase::WaitAll(tasks);
  EXPECT_EQ(runs.load(), 50);
}

TEST(TaskSchedulerConcurrency, DestroyingAPoolWithSleepingWorkersReturns) {
  for (int round = 0; round < 20; ++round) {
    TaskScheduler pool(4);
    std::vector<std::unique_ptr<FunctionTask>> owned;
    std::vector<TaskBase*> tasks;
    for (int i = 0; i < 8; ++i) {
      owned.push_back(std::make_unique<FunctionTask>([] {}));
      tasks.push_back(owned.back().get());
      pool.ScheduleTask(tasks.back());
    }
    EXPECT_FALSE(TaskBase::WaitAll(tasks, 60000));
    if (round % 2 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }  // each destructor must wake its idle workers and end them, or the test hangs
}

TEST(TaskSchedulerConcurrency, DestroyingAPoolWaitsForQueuedTasks) {
  std::atomic<int> runs{0};
  std::vector<std::unique_ptr<FunctionTask>> owned;
  {
    TaskScheduler pool(2);
    for (int i = 0; i < 200; ++i) {
      owned.push_back(std::make_unique<FunctionTask>([&runs] { runs.fetch_add(1); }));
      pool.ScheduleTask(owned.back().get());
    }
  }
  EXPECT_EQ(runs.load(), 200);
}

std::uint32_t CountUp(void* param) {
  static_cast<std::atomic<int>*>(param)->fetch_add(1);
  return 7;
}

std::uint32_t WaitForGate(void* param) {
  static_cast<Gate*>(param)->Pass();
  return 0;
}

TEST(ThreadsConcurrency, CreateWaitAndCloseThreads) {
  EXPECT_GE(QelGetCPUCount(), 1);
  std::atomic<int> counter{0};
  void* small = QelCreateThread(64 * 1024, &CountUp, &counter);
  ASSERT_NE(small, nullptr);
  EXPECT_TRUE(QelWaitThread(small, 0xFFFFFFFFu));
  EXPECT_EQ(counter.load(), 1);
  QelCloseThreadHandle(small);

  Gate gate;
  void* blocked = QelCreateThread(0, &WaitForGate, &gate);
  ASSERT_NE(blocked, nullptr);
  EXPECT_FALSE(QelWaitThread(blocked, 10));
  gate.Open();
  EXPECT_TRUE(QelWaitThread(blocked, 60000));
  QelCloseThreadHandle(blocked);

  static Gate later;  // outlives the detached thread
  void* detached = QelCreateThread(0, &WaitForGate, &later);
  ASSERT_NE(detached, nullptr);
  QelCloseThreadHandle(detached);  // still running: it goes on and cleans up itself
  later.Open();
  EXPECT_FALSE(QelWaitThread(nullptr, 0));
}

TEST(CriticalSectionConcurrency, IsRecursiveAndExcludesOtherThreads) {
  CriticalSection lock;
  long long total = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      lock.Lock();
      lock.Lock();  // the owner may enter again
      ++total;
      lock.Unlock();
      lock.Unlock();
    }
  };
  std::thread a(work), b(work), c(work);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(total, 60000);
}

}  // namespace
}  // namespace Qel
