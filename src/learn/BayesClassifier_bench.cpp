// The Bayes classifier's own cost per document beside the class models' dot calls alone.
// Each case classifies 10,000 documents of sparse term counts against multinomial class models
// (the dot is the log-likelihood of the counts) and, in the same iteration, runs the same dot
// calls in a plain loop; the counter "ratio" is the classify time over the plain loop's time.
// Few classes with short documents make the classifier's fixed cost per document dominate.
// "fresh" cases classify documents that carry no result yet (their first classification); the
// others classify the same tree again, replacing the results of the previous run.
#include <benchmark/benchmark.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/SparseResult.h>

#include <cmath>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kDocuments = 10000;
constexpr std::size_t kVocabulary = 5000;

const Qel::Representation::RepTag kTag = Qel::SetRepTag("Term");

class TermCounts : public Qel::Node, public Qel::Representation {
 public:
  static TermCounts* Create(std::vector<std::pair<std::uint32_t, double>> terms) {
    TermCounts* t = new TermCounts(std::move(terms));
    t->AddRefCount();
    return t;
  }
  bool IsValid() const override { return !m_terms.empty(); }
  const std::vector<std::pair<std::uint32_t, double>>& Terms() const { return m_terms; }

 private:
  explicit TermCounts(std::vector<std::pair<std::uint32_t, double>> terms)
      : Representation(kTag), m_terms(std::move(terms)) {}
  std::vector<std::pair<std::uint32_t, double>> m_terms;
};

class ClassModel : public Qel::DocumentNode, public Qel::Representation {
 public:
  static ClassModel* Create(std::uint32_t id, std::vector<double> logProbabilities,
                            double logPrior) {
    ClassModel* m = new ClassModel(id, std::move(logProbabilities), logPrior);
    m->AddRefCount();
    return m;
  }
  double dot(const Qel::Representation& other) const override {
    const TermCounts& doc = static_cast<const TermCounts&>(other);
    double sum = m_logPrior;
    for (const auto& [term, count] : doc.Terms()) sum += count * m_logP[term];
    return sum;
  }
  bool IsValid() const override { return true; }

 private:
  ClassModel(std::uint32_t id, std::vector<double> logP, double logPrior)
      : DocumentNode(id, nullptr),
        Representation(kTag),
        m_logP(std::move(logP)),
        m_logPrior(logPrior) {}
  std::vector<double> m_logP;
  double m_logPrior;
};

struct Corpus {
  Qel::DocumentNode* classes = Qel::DocumentNode::Create();
  Qel::DocumentNode* documents = Qel::DocumentNode::Create();
  std::vector<ClassModel*> models;
  std::vector<Qel::DocumentNode*> nodes;
  std::vector<TermCounts*> features;
  Corpus(std::uint32_t classCount, std::size_t termsPerDocument) {
    std::mt19937 gen(7);
    std::gamma_distribution<double> weight(0.5, 1.0);
    for (std::uint32_t c = 1; c <= classCount; ++c) {
      std::vector<double> p(kVocabulary);
      double total = 0.0;
      for (double& x : p) total += (x = weight(gen) + 1e-3);
      for (double& x : p) x = std::log(x / total);
      models.push_back(ClassModel::Create(c, std::move(p), std::log(1.0 / classCount)));
      classes->AddChild(models.back());
    }
    std::uniform_int_distribution<std::uint32_t> term(0, kVocabulary - 1), count(1, 4);
    for (std::size_t d = 0; d < kDocuments; ++d) {
      std::vector<std::pair<std::uint32_t, double>> terms;
      for (std::size_t t = 0; t < termsPerDocument; ++t) terms.emplace_back(term(gen), count(gen));
      Qel::DocumentNode* doc = Qel::DocumentNode::Create(1 + d % classCount, documents);
      features.push_back(TermCounts::Create(std::move(terms)));
      doc->AddRepresentation(features.back());
      documents->AddChild(doc);
      nodes.push_back(doc);
    }
  }
  Corpus(const Corpus&) = delete;
  Corpus& operator=(const Corpus&) = delete;
  ~Corpus() {
    classes->Release();
    documents->Release();
  }
};

Corpus& CorpusFor(std::uint32_t classes, std::size_t terms) {
  static std::map<std::pair<std::uint32_t, std::size_t>, std::unique_ptr<Corpus>> corpora;
  std::unique_ptr<Corpus>& corpus = corpora[{classes, terms}];
  if (!corpus) corpus = std::make_unique<Corpus>(classes, terms);
  return *corpus;
}

// CPU time of the calling thread, so that other processes on the machine do not count.
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Arguments: class count, terms per document, fresh (1: the documents carry no result yet).
// The iteration time is the classification's; the plain dot loop runs in the same iteration.
void BM_BayesClassify(benchmark::State& state) {
  const auto classCount = static_cast<std::uint32_t>(state.range(0));
  const auto terms = static_cast<std::size_t>(state.range(1));
  const bool fresh = state.range(2) != 0;
  Corpus& corpus = CorpusFor(classCount, terms);
  Qel::BayesClassifier bayes;
  Qel::BayesControl ctl;
  ctl.SetDoLearn(true);
  ctl.SetDoBatch(true);
  ctl.SetClassTag(kTag);
  ctl.SetDocumentTag(kTag);
  ctl.SetResultTag(Qel::SparseResult::DEFAULT_TAG);
  ctl.SetRootClass(corpus.classes);
  ctl.SetRootDocument(corpus.documents);
  bayes.DoAlgorithm(&ctl);
  ctl.SetDoLearn(false);

  std::vector<const Qel::Representation*> models(corpus.models.begin(), corpus.models.end());
  double classifySeconds = 0.0;
  double dotSeconds = 0.0;
  double check = 0.0;
  for (auto _ : state) {
    if (fresh) {
      for (Qel::DocumentNode* doc : corpus.nodes) {
        if (Qel::Node* old = doc->RemoveRepresentation(Qel::SparseResult::DEFAULT_TAG))
          old->Release();
      }
    }
    const double t0 = ThreadSeconds();
    bayes.DoAlgorithm(&ctl);
    const double t1 = ThreadSeconds();
    double sum = 0.0;
    for (const TermCounts* doc : corpus.features)
      for (const Qel::Representation* m : models) sum += m->dot(*doc);
    benchmark::DoNotOptimize(sum);
    const double t2 = ThreadSeconds();
    state.SetIterationTime(t1 - t0);
    classifySeconds += t1 - t0;
    dotSeconds += t2 - t1;
    check = sum;
  }

  // Every score is a negative log-likelihood, so each sparse result holds the placeholder.
  auto* result = dynamic_cast<Qel::Result*>(
      corpus.nodes.back()->GetRepresentation(Qel::SparseResult::DEFAULT_TAG));
  if (result == nullptr || result->GetBestResults(0).size() != 1 || !std::isfinite(check) ||
      check >= 0.0) {
    state.SkipWithError("unexpected result");
  }
  const double documents = static_cast<double>(state.iterations()) * kDocuments;
  state.SetItemsProcessed(static_cast<std::int64_t>(documents));
  state.counters["ratio"] = dotSeconds > 0.0 ? classifySeconds / dotSeconds : 0.0;
  state.counters["classify_ns"] = 1e9 * classifySeconds / documents;
  state.counters["dots_ns"] = 1e9 * dotSeconds / documents;
}
BENCHMARK(BM_BayesClassify)
    ->ArgNames({"classes", "terms", "fresh"})
    ->Args({20, 40, 0})
    ->Args({12, 50, 0})
    ->Args({12, 50, 1})
    ->Args({2, 50, 0})
    ->Args({2, 50, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
