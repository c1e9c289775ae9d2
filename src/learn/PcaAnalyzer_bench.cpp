// PCA learning with N examples and dimension D, beside the plain dense product of the centred
// N x N kernel with the D + 1 iterated vectors. BM_PcaLearnIteration reports the cost of one
// power iteration: the time of a learning run with 1 + L iterations minus that of a run with 1,
// divided by L, so that computing the kernel once per run cancels out. It is measured in thread
// CPU time; read the baseline's CPU column beside it. Arguments (N, D): (1000, 3) and (4000, 3)
// as tuned for, (2000, 7) beside them.
#include <benchmark/benchmark.h>
#include <qel/core/Node.h>
#include <qel/learn/PcaAnalyzer.h>
#include <qel/model/Representation.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

class Point : public Qel::Representation {
 public:
  Point(double x, double y, double z) : m_x{x, y, z} {}
  double dot(const Qel::Representation& other) const override {
    const Point& o = static_cast<const Point&>(other);
    double s = 0.0;
    for (int i = 0; i < 3; ++i) s += (m_x[i] - o.m_x[i]) * (m_x[i] - o.m_x[i]);
    return std::exp(-s / 8.0);
  }
  bool IsValid() const override { return true; }

 private:
  double m_x[3];
};

// The first `count` of 4000 seeded points.
std::vector<Point*> Points(std::size_t count) {
  static const std::vector<std::unique_ptr<Point>> points = [] {
    std::mt19937 gen(42);
    std::normal_distribution<double> x(0.0, 3.0), y(0.0, 1.5), z(0.0, 0.8);
    std::vector<std::unique_ptr<Point>> p;
    for (std::size_t i = 0; i < 4000; ++i)
      p.push_back(std::make_unique<Point>(x(gen), y(gen), z(gen)));
    return p;
  }();
  std::vector<Point*> out;
  for (std::size_t i = 0; i < count && i < points.size(); ++i) out.push_back(points[i].get());
  return out;
}

// Runs one learning step capped at `iterations` (0: until convergence); epsilon 0 runs exactly
// `iterations`.
std::uint32_t Learn(Qel::PcaAnalyzer& pca, std::size_t n, std::uint32_t dimension,
                    std::uint32_t iterations, double epsilon = 1e-6) {
  Qel::PcaControl ctl;
  std::vector<Qel::Representation*> examples;
  for (Point* p : Points(n)) examples.push_back(p);
  ctl.SetExampleVector(examples);
  ctl.SetActivityVector(std::vector<signed char>(n, 1));
  ctl.SetDimension(dimension);
  ctl.SetMaxExamples(static_cast<std::uint32_t>(n));
  ctl.SetDoExamples(true);
  ctl.SetDoLearn(true);
  ctl.SetMaxIterations(iterations);
  ctl.SetEpsilon(epsilon);
  pca.DoAlgorithm(&ctl);
  return pca.GetIterationCount();
}

// CPU time of this thread: the benchmark machine is shared, so wall time would count the
// other processes too. The baseline below is compared by its CPU column.
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void BM_PcaLearnIteration(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto dimension = static_cast<std::uint32_t>(state.range(1));
  Qel::PcaAnalyzer pca;
  const std::uint32_t kLong = n > 2000 ? 11 : 41;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    Learn(pca, n, dimension, 1, 0.0);
    const double t1 = ThreadSeconds();
    Learn(pca, n, dimension, kLong, 0.0);
    const double t2 = ThreadSeconds();
    const double one = t1 - t0;
    const double many = t2 - t1;
    state.SetIterationTime(std::max(0.0, (many - one) / (kLong - 1)));
  }
  if (pca.GetIterationCount() != kLong || !(pca.GetEigenValues()[0] > 0.0)) {
    state.SkipWithError("learning did not run the requested iterations");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PcaLearnIteration)
    ->ArgNames({"n", "d"})
    ->Args({1000, 3})
    ->Args({4000, 3})
    ->Args({2000, 7})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Baseline: one product of the dense centred kernel with the D + 1 vectors, as a plain loop.
void BM_PcaBaselineDenseProduct(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto vectors = static_cast<std::size_t>(state.range(1)) + 1;
  const std::vector<Point*> points = Points(n);
  std::vector<double> kernel(n * n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) kernel[i * n + j] = points[i]->dot(*points[j]) / n;
  std::vector<std::vector<double>> in(vectors, std::vector<double>(n)), out = in;
  std::mt19937 gen(1);
  for (auto& v : in)
    for (double& x : v) x = std::uniform_real_distribution<double>(-1, 1)(gen);
  for (auto _ : state) {
    for (std::size_t k = 0; k < vectors; ++k) {
      for (std::size_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (std::size_t j = 0; j < n; ++j) sum += kernel[i * n + j] * in[k][j];
        out[k][i] = sum;
      }
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  double check = 0.0;
  for (double x : out[0]) check += x;
  if (!std::isfinite(check)) state.SkipWithError("product is not finite");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PcaBaselineDenseProduct)
    ->ArgNames({"n", "d"})
    ->Args({1000, 3})
    ->Args({4000, 3})
    ->Args({2000, 7})
    ->Unit(benchmark::kMillisecond);

// A whole learning run to convergence (epsilon 1e-6), with the iterations it took.
void BM_PcaLearnToConvergence(benchmark::State& state) {
  Qel::PcaAnalyzer pca;
  std::uint32_t iterations = 0;
  for (auto _ : state) iterations = Learn(pca, 1000, 3, 0);
  if (iterations == 0) state.SkipWithError("no iteration ran");
  state.counters["iterations"] = iterations;
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PcaLearnToConvergence)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
