#include "kit/Parallel.h"

#include <qel/task/TaskBase.h>
#include <qel/task/TaskScheduler.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "platform/Thread.h"

namespace Qel::Detail {

namespace {

class RangeTask : public TaskBase {
 public:
  RangeTask(const std::function<void(std::size_t)>& work, std::size_t range)
      : m_work(work), m_range(range) {}
  void Run() override {
    try {
      m_work(m_range);
    } catch (...) {
      m_error = std::current_exception();
    }
  }
  const std::exception_ptr& Error() const { return m_error; }

 private:
  const std::function<void(std::size_t)>& m_work;
  std::size_t m_range;
  std::exception_ptr m_error;
};

}  // namespace

unsigned WorkerCount(unsigned threads) {
  if (threads > 0) return std::min(threads, 64u);
  return static_cast<unsigned>(std::clamp<std::int32_t>(Platform::LogicalProcessorCount(), 1, 64));
}

void RunRanges(std::size_t ranges, unsigned threads, const std::function<void(std::size_t)>& work) {
  const unsigned workers = WorkerCount(threads);
  if (workers == 1 || ranges <= 1) {
    for (std::size_t r = 0; r < ranges; ++r) work(r);
    return;
  }
  TaskScheduler pool(static_cast<std::int32_t>(workers));
  std::vector<std::unique_ptr<RangeTask>> tasks;
  tasks.reserve(ranges);
  for (std::size_t r = 0; r < ranges; ++r) tasks.push_back(std::make_unique<RangeTask>(work, r));
  std::vector<TaskBase*> started;
  std::exception_ptr scheduleError;
  try {
    for (auto& t : tasks) {
      pool.ScheduleTask(t.get());
      started.push_back(t.get());
    }
  } catch (...) {
    scheduleError = std::current_exception();
  }
  TaskBase::WaitAll(started);
  if (scheduleError) std::rethrow_exception(scheduleError);
  for (auto& t : tasks) {
    if (t->Error()) std::rethrow_exception(t->Error());
  }
}

}  // namespace Qel::Detail
