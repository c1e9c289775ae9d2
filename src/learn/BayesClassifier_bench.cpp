// Classifying 10,000 documents against 20 classes, per document, beside the cost of the
// class models' dot calls alone (the same 200,000 calls in a plain loop). The models are
// multinomial: the dot is the log-likelihood of a document's sparse term counts.
#include <benchmark/benchmark.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/SparseResult.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kDocuments = 10000;
constexpr std::uint32_t kClasses = 20;
constexpr std::size_t kVocabulary = 5000;
constexpr std::size_t kTermsPerDocument = 40;

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
  static ClassModel* Create(std::uint32_t id, std::vector<double> logProbabilities) {
    ClassModel* m = new ClassModel(id, std::move(logProbabilities));
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
  ClassModel(std::uint32_t id, std::vector<double> logP)
      : DocumentNode(id, nullptr), Representation(kTag), m_logP(std::move(logP)) {}
  std::vector<double> m_logP;
  double m_logPrior = std::log(1.0 / kClasses);
};

struct Corpus {
  Qel::DocumentNode* classes = Qel::DocumentNode::Create();
  Qel::DocumentNode* documents = Qel::DocumentNode::Create();
  std::vector<ClassModel*> models;
  std::vector<TermCounts*> features;
  Corpus() {
    std::mt19937 gen(7);
    std::gamma_distribution<double> weight(0.5, 1.0);
    for (std::uint32_t c = 1; c <= kClasses; ++c) {
      std::vector<double> p(kVocabulary);
      double total = 0.0;
      for (double& x : p) total += (x = weight(gen) + 1e-3);
      for (double& x : p) x = std::log(x / total);
      models.push_back(ClassModel::Create(c, std::move(p)));
      classes->AddChild(models.back());
    }
    std::uniform_int_distribution<std::uint32_t> term(0, kVocabulary - 1), count(1, 4);
    for (std::size_t d = 0; d < kDocuments; ++d) {
      std::vector<std::pair<std::uint32_t, double>> terms;
      for (std::size_t t = 0; t < kTermsPerDocument; ++t) terms.emplace_back(term(gen), count(gen));
      Qel::DocumentNode* doc = Qel::DocumentNode::Create(1 + d % kClasses, documents);
      features.push_back(TermCounts::Create(std::move(terms)));
      doc->AddRepresentation(features.back());
      documents->AddChild(doc);
    }
  }
  ~Corpus() {
    classes->Release();
    documents->Release();
  }
};

Corpus& TheCorpus() {
  static Corpus corpus;
  return corpus;
}

void BM_BayesClassify(benchmark::State& state) {
  Corpus& corpus = TheCorpus();
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
  for (auto _ : state) bayes.DoAlgorithm(&ctl);

  // Every score is a negative log-likelihood, so each sparse result holds the placeholder.
  auto* first = static_cast<Qel::DocumentNode*>(corpus.documents->GetVectorIterator().Current());
  auto* result =
      dynamic_cast<Qel::Result*>(first->GetRepresentation(Qel::SparseResult::DEFAULT_TAG));
  if (result == nullptr || result->GetBestResults(0).size() != 1) {
    state.SkipWithError("unexpected result");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kDocuments));
  state.counters["documents"] = kDocuments;
}
BENCHMARK(BM_BayesClassify)->Unit(benchmark::kMillisecond);

// Baseline: the class models' dot calls alone, per document.
void BM_BayesDotCallsOnly(benchmark::State& state) {
  Corpus& corpus = TheCorpus();
  std::vector<const Qel::Representation*> models(corpus.models.begin(), corpus.models.end());
  double check = 0.0;
  for (auto _ : state) {
    double sum = 0.0;
    for (const TermCounts* doc : corpus.features)
      for (const Qel::Representation* m : models) sum += m->dot(*doc);
    benchmark::DoNotOptimize(sum);
    check = sum;
  }
  if (!std::isfinite(check) || check >= 0.0)
    state.SkipWithError("log-likelihoods must be negative");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kDocuments));
}
BENCHMARK(BM_BayesDotCallsOnly)->Unit(benchmark::kMillisecond);

}  // namespace
