#include <gtest/gtest.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/learn/PcaAnalyzer.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/FullResult.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <streambuf>

#include "learn/LearnTestSupport.h"

// LAPACK's symmetric eigensolver (Fortran calling convention), the reference for the larger
// kernels below; linked to the test binary only.
extern "C" void dsyevr_(const char* jobz, const char* range, const char* uplo, const int* n,
                        double* a, const int* lda, const double* vl, const double* vu,
                        const int* il, const int* iu, const double* abstol, int* m, double* w,
                        double* z, const int* ldz, int* isuppz, double* work, const int* lwork,
                        int* iwork, const int* liwork, int* info, std::size_t, std::size_t,
                        std::size_t);

namespace Qel {
namespace {

// The `count` largest eigenvalues of a symmetric matrix, largest first, from LAPACK dsyevr.
std::vector<double> LapackTopEigenvalues(const std::vector<std::vector<double>>& matrix,
                                         int count) {
  const int n = static_cast<int>(matrix.size());
  std::vector<double> a(static_cast<std::size_t>(n) * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) a[static_cast<std::size_t>(j) * n + i] = matrix[i][j];
  const int il = n - count + 1, iu = n, lwork = 26 * n, liwork = 10 * n, ldz = 1;
  const double vl = 0.0, vu = 0.0, abstol = 0.0;
  int found = 0, info = 0;
  std::vector<double> w(n), work(lwork), z(1);
  std::vector<int> isuppz(2 * n), iwork(liwork);
  dsyevr_("N", "I", "U", &n, a.data(), &n, &vl, &vu, &il, &iu, &abstol, &found, w.data(), z.data(),
          &ldz, isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info, 1, 1, 1);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(found, count);
  std::vector<double> top(w.begin(), w.begin() + count);
  return {top.rbegin(), top.rend()};
}

using Testing::PointRep;

// Points in the plane from a fixed generator; owned by the fixture.
class PcaTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (PointRep* p : m_points) p->Release();
  }
  std::vector<Representation*> MakePoints(std::size_t count, unsigned seed, bool linear = false) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> x(0.0, 2.0), y(0.0, 0.7), z(0.0, 1.2);
    std::vector<Representation*> out;
    for (std::size_t i = 0; i < count; ++i) {
      m_points.push_back(PointRep::Create({x(gen), y(gen), z(gen)}, linear));
      out.push_back(m_points.back());
    }
    return out;
  }
  // Hands `examples` with `activity` over and runs the given steps.
  static void Run(PcaAnalyzer& pca, const std::vector<Representation*>& examples,
                  const std::vector<signed char>& activity, bool learn, bool insert, bool remove,
                  double epsilon = 1e-10, bool relearn = true) {
    std::unique_ptr<Control> c(pca.CreateController());
    auto* ctl = dynamic_cast<PcaControl*>(c.get());
    ctl->SetExampleVector(examples);
    ctl->SetActivityVector(activity);
    ctl->SetDoExamples(true);
    ctl->SetDoLearn(learn);
    ctl->SetDoInsert(insert);
    ctl->SetDoRemove(remove);
    ctl->SetEpsilon(epsilon);
    ctl->SetEnableRelearn(relearn);
    ctl->SetMaxIterations(0);
    pca.DoAlgorithm(ctl);
    EXPECT_TRUE(ctl->GetExampleVector().empty()) << "examples not taken over";
  }
  // Unit vector of component k over the first `count` examples.
  static std::vector<double> Direction(const PcaAnalyzer& pca, std::size_t k, std::size_t count) {
    std::vector<double> v(pca.GetEigenVectors()[k].begin(),
                          pca.GetEigenVectors()[k].begin() + static_cast<std::ptrdiff_t>(count));
    double norm = 0.0;
    for (double x : v) norm += x * x;
    for (double& x : v) x /= std::sqrt(norm);
    return v;
  }
  static double AbsDot(const std::vector<double>& a, const std::vector<double>& b) {
    double s = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
    return std::fabs(s);
  }
  std::vector<PointRep*> m_points;
};

TEST_F(PcaTest, LearntEigenvaluesAndVectorsMatchJacobiOnTheCentredKernel) {
  const auto examples = MakePoints(40, 7);
  PcaAnalyzer pca;
  Run(pca, examples, std::vector<signed char>(40, 1), true, false, false, 1e-12);
  ASSERT_GT(pca.GetIterationCount(), 1u);

  std::vector<std::vector<double>> exactVectors;
  const auto exact = Testing::JacobiEigen(Testing::CentredKernelOverN(examples), exactVectors);
  ASSERT_EQ(pca.GetEigenValues().size(), 4u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_NEAR(pca.GetEigenValues()[k], exact[k], 1e-9 * exact[0]) << "component " << k;
    EXPECT_NEAR(AbsDot(Direction(pca, k, 40), exactVectors[k]), 1.0, 1e-6) << "component " << k;
    // The stored vector is the unit vector scaled by sqrt(sqrt(n) / eigenvalue).
    double norm = 0.0;
    for (std::size_t i = 0; i < 40; ++i)
      norm += pca.GetEigenVectors()[k][i] * pca.GetEigenVectors()[k][i];
    EXPECT_NEAR(std::sqrt(norm), std::sqrt(std::sqrt(40.0) / exact[k]), 1e-6);
  }
}

// Kernels of an odd size and dimensions that leave part blocks of rows and vectors in the
// product with the kernel.
TEST_F(PcaTest, TopEigenvaluesMatchLapackOnLargerKernels) {
  const struct {
    std::size_t examples;
    std::uint32_t dimension;
  } cases[] = {{301, 3}, {258, 5}, {97, 6}};
  for (const auto& c : cases) {
    const auto examples = MakePoints(c.examples, 11);
    PcaAnalyzer pca;
    std::unique_ptr<Control> control(pca.CreateController());
    auto* ctl = dynamic_cast<PcaControl*>(control.get());
    ctl->SetExampleVector(examples);
    ctl->SetActivityVector(std::vector<signed char>(c.examples, 1));
    ctl->SetDoExamples(true);
    ctl->SetDoLearn(true);
    ctl->SetDimension(c.dimension);
    ctl->SetMaxExamples(static_cast<std::uint32_t>(c.examples));
    ctl->SetEpsilon(1e-13);
    ctl->SetMaxIterations(0);
    pca.DoAlgorithm(ctl);
    const std::vector<double> exact =
        LapackTopEigenvalues(Testing::CentredKernelOverN(examples), static_cast<int>(c.dimension));
    ASSERT_GE(pca.GetEigenValues().size(), c.dimension);
    for (std::size_t k = 0; k < c.dimension; ++k) {
      EXPECT_NEAR(pca.GetEigenValues()[k], exact[k], 1e-9 * exact[k])
          << c.examples << " examples, component " << k;
    }
  }
}

TEST_F(PcaTest, RankDeficientLinearKernelGivesItsThreeEigenvalues) {
  // Points in 3-D with the linear kernel: the centred kernel has rank 3, so the fourth iterated
  // vector dies out and the three components are exact.
  const auto examples = MakePoints(25, 11, true);
  PcaAnalyzer pca;
  Run(pca, examples, std::vector<signed char>(25, 1), true, false, false, 1e-12);
  std::vector<std::vector<double>> vectors;
  const auto exact = Testing::JacobiEigen(Testing::CentredKernelOverN(examples), vectors);
  for (std::size_t k = 0; k < 3; ++k)
    EXPECT_NEAR(pca.GetEigenValues()[k], exact[k], 1e-9 * exact[0]);
  EXPECT_EQ(pca.GetEigenValues()[3], 0.0);
}

TEST_F(PcaTest, TwoRunsGiveIdenticalVectors) {
  const auto examples = MakePoints(30, 3);
  PcaAnalyzer a, b;
  Run(a, examples, std::vector<signed char>(30, 1), true, false, false, 1e-6);
  Run(b, examples, std::vector<signed char>(30, 1), true, false, false, 1e-6);
  EXPECT_EQ(a.GetEigenVectors(), b.GetEigenVectors());
  EXPECT_EQ(a.GetEigenValues(), b.GetEigenValues());
  // Learning again on the same analyser starts from the seeded vectors again.
  Run(a, examples, std::vector<signed char>(30, 1), true, false, false, 1e-6);
  EXPECT_EQ(a.GetEigenVectors(), b.GetEigenVectors());
}

TEST_F(PcaTest, InsertingThenRemovingReturnsToTheEarlierComponents) {
  auto examples = MakePoints(30, 5);
  const auto extra = MakePoints(3, 99);
  PcaAnalyzer pca;
  Run(pca, examples, std::vector<signed char>(30, 1), true, false, false, 1e-12);
  const std::vector<double> before = pca.GetEigenValues();
  std::vector<std::vector<double>> beforeDirections;
  for (std::size_t k = 0; k < 3; ++k) beforeDirections.push_back(Direction(pca, k, 30));

  // Insert three examples in one run: the components are those of all 33.
  examples.insert(examples.end(), extra.begin(), extra.end());
  std::vector<signed char> activity(33, 1);
  activity[30] = activity[31] = activity[32] = 0;
  Run(pca, examples, activity, false, true, false, 1e-12);
  EXPECT_EQ(pca.GetActiveCount(), 33u);
  std::vector<std::vector<double>> unionVectors;
  const auto unionExact = Testing::JacobiEigen(Testing::CentredKernelOverN(examples), unionVectors);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_NEAR(pca.GetEigenValues()[k], unionExact[k], 1e-9 * unionExact[0]);
    EXPECT_NEAR(AbsDot(Direction(pca, k, 33), unionVectors[k]), 1.0, 1e-6);
  }

  // Remove them again, one run each.
  for (std::size_t r = 30; r < 33; ++r) {
    activity.assign(33, 1);
    for (std::size_t gone = 30; gone <= r; ++gone) activity[gone] = gone == r ? -1 : -2;
    Run(pca, examples, activity, false, false, true, 1e-12);
  }
  EXPECT_EQ(pca.GetActiveCount(), 30u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_NEAR(pca.GetEigenValues()[k], before[k], 1e-9 * before[0]) << "component " << k;
    EXPECT_NEAR(AbsDot(Direction(pca, k, 30), beforeDirections[k]), 1.0, 1e-6) << "component " << k;
  }
}

TEST_F(PcaTest, ProjectionAttachesOneResultWithDimensionCoordinates) {
  const auto examples = MakePoints(20, 13);
  PcaAnalyzer pca;

  DocumentNode* root = DocumentNode::Create();
  std::vector<DocumentNode*> docs;
  for (std::size_t i = 0; i < 3; ++i) {
    DocumentNode* d = DocumentNode::Create(1, root);
    d->AddRepresentation(PointRep::Create(static_cast<PointRep*>(examples[i])->Values()));
    root->AddChild(d);
    docs.push_back(d);
  }
  const auto resultTag = SetRepTag("Pcar");
  auto project = [&] {
    std::unique_ptr<Control> c(pca.CreateController());
    auto* ctl = static_cast<PcaControl*>(c.get());
    ctl->SetDoProject(true);
    ctl->SetSourceNode(root);
    ctl->SetResultTag(resultTag);
    pca.DoAlgorithm(ctl);
  };
  project();
  EXPECT_EQ(docs[0]->GetRepresentation(resultTag), nullptr) << "projected before learning";

  Run(pca, examples, std::vector<signed char>(20, 1), true, false, false, 1e-12);
  project();
  project();
  for (std::size_t i = 0; i < 3; ++i) {
    auto* r = dynamic_cast<FullResult*>(docs[i]->GetRepresentation(resultTag));
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->GetResults().size(), 3u);
    // A training example projects onto eigenvalue times its own scaled coefficient.
    for (std::size_t c = 0; c < 3; ++c) {
      const double expected = pca.GetEigenValues()[c] * pca.GetEigenVectors()[c][i];
      EXPECT_NEAR(r->GetResult(static_cast<unsigned>(c)), expected,
                  1e-5 * std::fabs(expected) + 1e-6);
    }
    // Exactly one result under the tag after projecting twice.
    Node* first = docs[i]->RemoveRepresentation(resultTag);
    EXPECT_EQ(docs[i]->GetRepresentation(resultTag), nullptr);
    first->Release();
  }
  root->Release();
}

TEST_F(PcaTest, FewerThanFourExamplesLearnNothingAndForgetTheOldState) {
  PcaAnalyzer pca;
  Run(pca, MakePoints(10, 1), std::vector<signed char>(10, 1), true, false, false);
  ASSERT_GT(pca.GetEigenValues()[0], 0.0);
  // A control of another algorithm is ignored.
  const std::vector<std::vector<double>> learnt = pca.GetEigenVectors();
  BayesControl other;
  pca.DoAlgorithm(&other);
  EXPECT_EQ(pca.GetEigenVectors(), learnt);

  Run(pca, MakePoints(3, 2), std::vector<signed char>(3, 1), true, false, false);
  EXPECT_EQ(pca.GetEigenValues()[0], 0.0);
  EXPECT_EQ(pca.GetIterationCount(), 0u);
}

// A read-only stream buffer that cannot seek, like a pipe.
class PipeBuf : public std::streambuf {
 public:
  explicit PipeBuf(std::string data) : m_data(std::move(data)) {
    setg(m_data.data(), m_data.data(), m_data.data() + m_data.size());
  }

 private:
  std::string m_data;
};

std::string Saved(PcaAnalyzer& pca) {
  std::ostringstream os;
  EXPECT_TRUE(pca.Save(&os));
  return os.str();
}

TEST_F(PcaTest, SaveLoadRestoresStateAndKernelForRelearning) {
  auto examples = MakePoints(12, 21);
  PcaAnalyzer pca;
  std::unique_ptr<Control> c(pca.CreateController());
  auto* ctl = static_cast<PcaControl*>(c.get());
  ctl->SetMaxExamples(16);  // the capacity is only ever raised: it stays 1000
  ctl->SetExampleVector(examples);
  ctl->SetActivityVector(std::vector<signed char>(12, 1));
  ctl->SetDoExamples(true);
  ctl->SetDoLearn(true);
  ctl->SetEnableRelearn(true);
  ctl->SetEpsilon(1e-12);
  pca.DoAlgorithm(ctl);
  const std::string bytes = Saved(pca);
  // Header, 1000 row sums, 4 eigenvalues, 4 x 1000 coefficients, 78 kernel entries.
  EXPECT_EQ(bytes.size(), 20u + 16u + 8u * (1000 + 4 + 4000 + 78));

  PcaAnalyzer loaded;
  std::istringstream is(bytes);
  ASSERT_TRUE(loaded.Load(&is));
  EXPECT_EQ(loaded.GetDimension(), 3u);
  EXPECT_EQ(loaded.GetMaxExamples(), 1000u);
  EXPECT_EQ(loaded.GetActiveCount(), 12u);
  EXPECT_EQ(loaded.GetEpsilon(), 1e-12);
  EXPECT_EQ(loaded.GetTotal(), pca.GetTotal());
  EXPECT_EQ(loaded.GetRowSums(), pca.GetRowSums());
  EXPECT_EQ(loaded.GetEigenValues(), pca.GetEigenValues());
  EXPECT_EQ(loaded.GetEigenVectors(), pca.GetEigenVectors());
  EXPECT_EQ(Saved(loaded), bytes);

  // The stored kernel lets the loaded analyser take an insertion exactly like the original.
  const auto extra = MakePoints(1, 77);
  examples.push_back(extra[0]);
  std::vector<signed char> activity(13, 1);
  activity[12] = 0;
  Run(pca, examples, activity, false, true, false, 1e-12);
  Run(loaded, examples, activity, false, true, false, 1e-12);
  EXPECT_EQ(loaded.GetEigenVectors(), pca.GetEigenVectors());

  // Without the kernel a loaded analyser refuses insertions instead of reading missing rows.
  PcaAnalyzer plain;
  Run(plain, std::vector<Representation*>(examples.begin(), examples.begin() + 12),
      std::vector<signed char>(12, 1), true, false, false, 1e-12, false);
  std::istringstream plainIs(Saved(plain));
  PcaAnalyzer plainLoaded;
  ASSERT_TRUE(plainLoaded.Load(&plainIs));
  const auto stateBefore = plainLoaded.GetEigenVectors();
  Run(plainLoaded, examples, activity, false, true, false);
  EXPECT_EQ(plainLoaded.GetEigenVectors(), stateBefore);

  EXPECT_FALSE(pca.Save(nullptr));
  EXPECT_FALSE(pca.Load(nullptr));
}

TEST_F(PcaTest, WaitingExamplesHaveZeroEntriesAndTheHostsRandomStateIsUntouched) {
  const auto examples = MakePoints(12, 8);
  std::vector<signed char> activity(12, 1);
  activity[3] = 0;
  activity[7] = -2;
  std::srand(4242);
  const int expected = std::rand();
  std::srand(4242);
  PcaAnalyzer pca;
  Run(pca, examples, activity, true, false, false, 1e-10);
  EXPECT_EQ(std::rand(), expected) << "learning reseeded the process's generator";
  for (std::size_t k = 0; k < pca.GetEigenVectors().size(); ++k) {
    EXPECT_EQ(pca.GetEigenVectors()[k][3], 0.0) << "waiting example, vector " << k;
    EXPECT_EQ(pca.GetEigenVectors()[k][7], 0.0) << "ignored example, vector " << k;
    EXPECT_NE(pca.GetEigenVectors()[k][2], 0.0) << "active example, vector " << k;
  }
}

TEST_F(PcaTest, StateSavedAfterARemovalReloadsAndUpdatesLikeTheOriginal) {
  auto examples = MakePoints(13, 31);
  std::vector<signed char> activity(12, 1);
  PcaAnalyzer pca;
  Run(pca, std::vector<Representation*>(examples.begin(), examples.begin() + 12), activity, true,
      false, false, 1e-12);
  activity[2] = -1;
  Run(pca, std::vector<Representation*>(examples.begin(), examples.begin() + 12), activity, false,
      false, true, 1e-12);

  PcaAnalyzer loaded;
  std::istringstream is(Saved(pca));
  ASSERT_TRUE(loaded.Load(&is));
  EXPECT_EQ(loaded.GetActiveCount(), pca.GetActiveCount());
  EXPECT_EQ(Saved(loaded), Saved(pca));

  // Insert #12 into both, then remove #5 from both: they stay identical.
  activity[2] = -2;
  activity.push_back(0);
  Run(pca, examples, activity, false, true, false, 1e-12);
  const std::uint32_t iterations = pca.GetIterationCount();
  Run(loaded, examples, activity, false, true, false, 1e-12);
  EXPECT_GT(iterations, 0u);
  EXPECT_EQ(loaded.GetIterationCount(), iterations);
  EXPECT_EQ(loaded.GetEigenVectors(), pca.GetEigenVectors());
  activity[5] = -1;
  Run(pca, examples, activity, false, false, true, 1e-12);
  Run(loaded, examples, activity, false, false, true, 1e-12);
  EXPECT_EQ(loaded.GetEigenValues(), pca.GetEigenValues());
  EXPECT_EQ(loaded.GetEigenVectors(), pca.GetEigenVectors());
}

TEST_F(PcaTest, LoadRejectsCutAndLyingStreamsAndKeepsTheState) {
  PcaAnalyzer pca;
  Run(pca, MakePoints(8, 4), std::vector<signed char>(8, 1), true, false, false, 1e-9, true);
  const std::string good = Saved(pca);
  PcaAnalyzer target;
  Run(target, MakePoints(6, 8), std::vector<signed char>(6, 1), true, false, false);
  const std::string targetBefore = Saved(target);

  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    std::istringstream seekable(good.substr(0, cut));
    ASSERT_FALSE(target.Load(&seekable)) << "cut at " << cut;
    PipeBuf pipe(good.substr(0, cut));
    std::istream piped(&pipe);
    ASSERT_FALSE(target.Load(&piped)) << "piped cut at " << cut;
  }
  EXPECT_EQ(Saved(target), targetBefore);

  auto header = [](std::uint32_t dim, std::uint32_t maxExamples, std::uint32_t count,
                   std::uint32_t relearn) {
    std::string h;
    for (std::uint32_t v : {dim, 1000u, maxExamples, count, relearn}) {
      for (int b = 0; b < 4; ++b) h.push_back(static_cast<char>(v >> (8 * b)));
    }
    return h + std::string(16, '\0');
  };
  const std::string padding(1 << 16, '\0');
  for (const std::string& bad :
       {header(0xFFFFFFFFu, 4, 4, 0), header(3, 0xFFFFFFFFu, 4, 0),
        header(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 1), header(3, 4, 5, 0),
        header(3, 100000, 100000, 1), header(1000, 1000, 10, 0)}) {
    std::istringstream seekable(bad + padding);
    EXPECT_FALSE(target.Load(&seekable));
    PipeBuf pipe(bad + padding);
    std::istream piped(&pipe);
    EXPECT_FALSE(target.Load(&piped));
  }
  EXPECT_EQ(Saved(target), targetBefore);

  // A failed stream is refused at once.
  std::istringstream failed(good);
  failed.setstate(std::ios::failbit);
  EXPECT_FALSE(target.Load(&failed));
}

}  // namespace
}  // namespace Qel
