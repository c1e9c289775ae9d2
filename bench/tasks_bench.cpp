// The task scheduler beside oneTBB's task_group on the same work: a flat batch of empty tasks
// waited for together, and a tree of nested tasks where every parent waits for its children.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

#include "qel/task/TaskScheduler.h"

#ifdef QEL_HAVE_TBB
#include <tbb/task_group.h>
#endif

namespace {

constexpr int kFlatCount = 100000;
constexpr int kTreeDepth = 8;
constexpr int kTreeFanOut = 4;

int TreeSize() {
  int size = 0, level = 1;
  for (int d = 0; d <= kTreeDepth; ++d, level *= kTreeFanOut) size += level;
  return size;
}

class EmptyTask : public Qel::TaskBase {
 public:
  void Run() override {}
};

void BM_QelFlatWaitAll(benchmark::State& state) {
  bool allCompleted = true;
  for (auto _ : state) {
    std::unique_ptr<EmptyTask[]> tasks(new EmptyTask[kFlatCount]);
    std::vector<Qel::TaskBase*> list;
    list.reserve(kFlatCount);
    for (int i = 0; i < kFlatCount; ++i) {
      list.push_back(&tasks[i]);
      tasks[i].Start();
    }
    Qel::TaskBase::WaitAll(list);
    allCompleted = allCompleted && list.back()->GetTaskState() == Qel::TaskCompleted &&
                   list.front()->GetTaskState() == Qel::TaskCompleted;
  }
  if (!allCompleted) state.SkipWithError("a task did not complete");
  state.SetItemsProcessed(state.iterations() * kFlatCount);
}
BENCHMARK(BM_QelFlatWaitAll)->Unit(benchmark::kMillisecond)->UseRealTime();

class TreeTask : public Qel::TaskBase {
 public:
  TreeTask(int depth, std::atomic<int>& count) : m_depth(depth), m_count(count) {}
  void Run() override {
    m_count.fetch_add(1, std::memory_order_relaxed);
    if (m_depth == 0) return;
    std::vector<std::unique_ptr<TreeTask>> children;
    std::vector<Qel::TaskBase*> list;
    for (int i = 0; i < kTreeFanOut; ++i) {
      children.push_back(std::make_unique<TreeTask>(m_depth - 1, m_count));
      list.push_back(children.back().get());
      children.back()->Start();
    }
    Qel::TaskBase::WaitAll(list);
  }

 private:
  int m_depth;
  std::atomic<int>& m_count;
};

void BM_QelNestedTree(benchmark::State& state) {
  int count = 0;
  for (auto _ : state) {
    std::atomic<int> visited{0};
    TreeTask root(kTreeDepth, visited);
    root.Start();
    root.Wait();
    count = visited.load();
  }
  if (count != TreeSize()) state.SkipWithError("the tree was not fully visited");
  state.SetItemsProcessed(state.iterations() * TreeSize());
}
BENCHMARK(BM_QelNestedTree)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QEL_HAVE_TBB
void BM_TbbFlatTaskGroup(benchmark::State& state) {
  std::atomic<int> runs{0};
  for (auto _ : state) {
    tbb::task_group group;
    for (int i = 0; i < kFlatCount; ++i)
      group.run([&runs] { runs.fetch_add(1, std::memory_order_relaxed); });
    group.wait();
  }
  if (runs.load() != kFlatCount * static_cast<int>(state.iterations()))
    state.SkipWithError("a task did not run");
  state.SetItemsProcessed(state.iterations() * kFlatCount);
}
BENCHMARK(BM_TbbFlatTaskGroup)->Unit(benchmark::kMillisecond)->UseRealTime();

void TbbTree(int depth, std::atomic<int>& count) {
  count.fetch_add(1, std::memory_order_relaxed);
  if (depth == 0) return;
  tbb::task_group group;
  for (int i = 0; i < kTreeFanOut; ++i) group.run([depth, &count] { TbbTree(depth - 1, count); });
  group.wait();
}

void BM_TbbNestedTree(benchmark::State& state) {
  int count = 0;
  for (auto _ : state) {
    std::atomic<int> visited{0};
    TbbTree(kTreeDepth, visited);
    count = visited.load();
  }
  if (count != TreeSize()) state.SkipWithError("the tree was not fully visited");
  state.SetItemsProcessed(state.iterations() * TreeSize());
}
BENCHMARK(BM_TbbNestedTree)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
