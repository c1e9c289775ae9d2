// The classification road on real text: guesses the language of short texts.
//
// The corpus directory holds one file per language, <code>.txt, one text per line (scripts/run
// prepares it from the fortune packages). Three of every four lines train a multinomial naive
// Bayes model per language; the fourth is classified. Words come from AsciiTextFilter; a
// document is the sparse count of its words, and a class model's dot with a document is the
// document's log-likelihood per word under the model. The class tree carries the models, the
// document tree the test texts under one node per language; BayesClassifier scores them with a
// progress callback, ErrorMatrixVisitor and ErrorMatrix count the outcome, ErrorPlotVisitor
// collects the confidence per language, and the results are saved as XML.
//
// Usage: qel_classify [corpus-dir [results.xml]]; the directory defaults to $QEL_CLASSIFY_CORPUS.
#include <qel/qelbase.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

const Qel::Representation::RepTag kModelTag = Qel::SetRepTag("NBcl");
const Qel::Representation::RepTag kTermTag = Qel::SetRepTag("Term");

// Appends `child` to `parent`, which adopts the reference once AddChild has succeeded (on a
// throw the pointer still holds it and releases it). Returns the child, now owned by the parent.
template <class T>
T* AddChild(Qel::DocumentNode* parent, Qel::IntrusivePtr<T> child) {
  parent->AddChild(child.get());
  return child.release();
}

// A document's words as sorted (term id, count) pairs.
class TermCounts : public Qel::Node, public Qel::Representation {
 public:
  static TermCounts* Create(std::vector<std::pair<std::uint32_t, std::uint32_t>> terms) {
    auto* t = new TermCounts(std::move(terms));
    t->AddRefCount();
    return t;
  }
  bool IsValid() const override { return m_words > 0; }
  const std::vector<std::pair<std::uint32_t, std::uint32_t>>& Terms() const { return m_terms; }
  std::uint32_t Words() const { return m_words; }

 private:
  explicit TermCounts(std::vector<std::pair<std::uint32_t, std::uint32_t>> terms)
      : Representation(kTermTag), m_terms(std::move(terms)) {
    for (const auto& t : m_terms) m_words += t.second;
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> m_terms;
  std::uint32_t m_words = 0;
};

// A class node that is its own multinomial model: log P(word | class) with add-one smoothing.
// Its dot is the mean log-likelihood per word of a document, so texts of any length score on one
// scale, and its minimum and maximum are the smallest and largest word log-probabilities, the
// range that mean lies in. The classifier's normalisation maps it onto [0, 1].
class LanguageModel : public Qel::DocumentNode, public Qel::Representation {
 public:
  static LanguageModel* Create(std::uint32_t classId, const std::vector<double>& counts) {
    auto* m = new LanguageModel(classId, counts);
    m->AddRefCount();
    return m;
  }
  double dot(const Qel::Representation& other) const override {
    const auto* doc = dynamic_cast<const TermCounts*>(&other);
    if (doc == nullptr || doc->Words() == 0) return m_min;
    double sum = 0.0;
    for (const auto& [term, count] : doc->Terms()) sum += count * m_logP[term];
    return sum / doc->Words();
  }
  bool IsValid() const override { return !m_logP.empty(); }
  double GetMinimum() const override { return m_min; }
  double GetMaximum() const override { return m_max; }

 private:
  LanguageModel(std::uint32_t classId, const std::vector<double>& counts)
      : DocumentNode(classId, nullptr), Representation(kModelTag) {
    double total = 0.0;
    for (double c : counts) total += c + 1.0;
    m_logP.reserve(counts.size());
    for (double c : counts) m_logP.push_back(std::log((c + 1.0) / total));
    m_min = *std::min_element(m_logP.begin(), m_logP.end());
    m_max = *std::max_element(m_logP.begin(), m_logP.end());
  }
  std::vector<double> m_logP;
  double m_min = 0.0;
  double m_max = 0.0;
};

// Prints the progress every tenth of the way.
class Progress : public Qel::CallBack {
 public:
  void Increment(unsigned int step, bool* cancel) override {
    CallBack::Increment(step, cancel);
    const unsigned int tenth = std::max(1u, GetMaximum() / 10);
    if (GetCurrent() % tenth == 0 || GetCurrent() == GetMaximum()) {
      std::printf("  classified %u of %u\n", GetCurrent(), GetMaximum());
    }
  }
};

// Turns texts into term counts, growing the vocabulary only while training.
class Vectorizer {
 public:
  Vectorizer() : m_filter(Qel::AdoptRef(Qel::AsciiTextFilter::Create(2, false))) {}

  std::vector<std::pair<std::uint32_t, std::uint32_t>> Count(const std::string& utf8, bool grow) {
    const std::u16string text = Qel::ConvertUtf8ToWideChar(utf8);
    std::string symbols(text.size() * 3 + 2, '\0');
    const unsigned int n =
        m_filter->FilterTextW(text.data(), static_cast<unsigned int>(text.size()), symbols.data(),
                              static_cast<unsigned int>(symbols.size()));
    std::map<std::uint32_t, std::uint32_t> counts;
    std::string word;
    for (unsigned int i = 0; i <= n; ++i) {
      if (i < n && symbols[i] != '\0') {
        word.push_back(symbols[i]);
        continue;
      }
      if (word.empty()) continue;
      auto it = m_vocabulary.find(word);
      if (it == m_vocabulary.end() && grow) {
        it = m_vocabulary.emplace(word, static_cast<std::uint32_t>(m_vocabulary.size())).first;
      }
      if (it != m_vocabulary.end()) ++counts[it->second];
      word.clear();
    }
    return {counts.begin(), counts.end()};
  }
  std::size_t Size() const { return m_vocabulary.size(); }

 private:
  Qel::IntrusivePtr<Qel::AsciiTextFilter> m_filter;
  std::unordered_map<std::string, std::uint32_t> m_vocabulary;
};

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

int Run(const std::filesystem::path& corpus, const std::filesystem::path& resultsFile) {
  std::vector<std::string> languages;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() == ".txt") languages.push_back(entry.path().stem().string());
  }
  std::sort(languages.begin(), languages.end());
  if (languages.size() < 2) {
    std::fprintf(stderr, "qel_classify: need at least two <language>.txt files in %s\n",
                 corpus.string().c_str());
    return 2;
  }

  // Class ids 1..L; 0 stands for "no class" in the error matrix.
  Vectorizer vectorizer;
  std::vector<std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>>> training(
      languages.size());
  std::vector<std::vector<std::string>> tests(languages.size());
  for (std::size_t l = 0; l < languages.size(); ++l) {
    const auto lines = ReadLines(corpus / (languages[l] + ".txt"));
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i % 4 == 3) {
        tests[l].push_back(lines[i]);
      } else {
        training[l].push_back(vectorizer.Count(lines[i], true));
      }
    }
  }

  const auto classRoot = Qel::AdoptRef(Qel::DocumentNode::Create());
  std::map<unsigned int, std::u16string> identifiers;
  for (std::size_t l = 0; l < languages.size(); ++l) {
    std::vector<double> counts(vectorizer.Size(), 0.0);
    for (const auto& doc : training[l])
      for (const auto& [term, count] : doc) counts[term] += count;
    AddChild(classRoot.get(),
             Qel::AdoptRef(LanguageModel::Create(static_cast<std::uint32_t>(l + 1), counts)));
    identifiers[static_cast<unsigned int>(l + 1)] = Qel::ConvertUtf8ToWideChar(languages[l]);
  }
  Qel::Result::SetClassIdentifiers(identifiers);

  const auto documentRoot = Qel::AdoptRef(Qel::DocumentNode::Create());
  unsigned int testCount = 0;
  for (std::size_t l = 0; l < languages.size(); ++l) {
    const auto classId = static_cast<std::uint32_t>(l + 1);
    Qel::DocumentNode* group = AddChild(
        documentRoot.get(), Qel::AdoptRef(Qel::DocumentNode::Create(classId, documentRoot.get())));
    for (const std::string& text : tests[l]) {
      auto doc = Qel::AdoptRef(Qel::DocumentNode::Create(classId, group));
      auto terms = Qel::AdoptRef(TermCounts::Create(vectorizer.Count(text, false)));
      if (doc->AddRepresentation(terms.get())) terms.release();
      AddChild(group, std::move(doc));
      ++testCount;
    }
  }
  std::size_t trainCount = 0;
  for (const auto& t : training) trainCount += t.size();
  std::printf("%zu languages, %zu training texts, %u test texts, %zu words\n", languages.size(),
              trainCount, testCount, vectorizer.Size());

  Qel::BayesClassifier bayes;
  Progress progress;
  progress.SetMaximum(testCount);
  bayes.SetCallBack(&progress);
  const std::unique_ptr<Qel::Control> control(bayes.CreateController());
  auto* ctl = dynamic_cast<Qel::BayesControl*>(control.get());
  ctl->SetDoLearn(true);
  ctl->SetDoClassify(true);
  ctl->SetDoBatch(true);
  ctl->SetDoNormalize(true);
  ctl->SetClassTag(kModelTag);
  ctl->SetDocumentTag(kTermTag);
  ctl->SetResultTag(Qel::SparseResult::DEFAULT_TAG);
  ctl->SetRootClass(classRoot.get());
  ctl->SetRootDocument(documentRoot.get());
  ctl->SetMaxResults(3);
  bayes.DoAlgorithm(ctl);
  std::printf("  scored %u texts (texts without a known word are not scored)\n",
              progress.GetCurrent());

  // Every result is accepted; a text without a known word has no result and counts as rejected.
  const auto classes = static_cast<unsigned int>(languages.size() + 1);
  const auto matrix = Qel::AdoptRef(Qel::ErrorMatrix::Create(classes));
  Qel::ErrorMatrixVisitor matrixVisitor(matrix.get(), 0.0, 0.0);
  documentRoot->Visit(&matrixVisitor);
  for (const Qel::classResult& r : matrixVisitor.GetClassResults()) {
    matrix->Increase(r.classId, r.assignedClassId, Qel::MatrixStatusNormal, r.type);
  }
  Qel::ErrorPlotVisitor plotVisitor;
  documentRoot->Visit(&plotVisitor);

  std::printf("\nError matrix (rows: true language, columns: assigned; - = rejected)\n%8s", "");
  for (unsigned int a = 1; a < classes; ++a) std::printf("%7s", languages[a - 1].c_str());
  std::printf("%7s\n", "-");
  for (unsigned int t = 1; t < classes; ++t) {
    std::printf("%8s", languages[t - 1].c_str());
    for (unsigned int a = 1; a < classes; ++a) std::printf("%7u", matrix->GetResult(t, a).count);
    std::printf("%7u\n", matrix->GetResult(t, 0).count);
  }
  const double accuracy =
      matrix->GetDocCount() ? 100.0 * matrix->GetCorrect() / matrix->GetDocCount() : 0.0;
  std::printf("\nDocuments %u, correct %u, incorrect %u, rejected %u: accuracy %.2f%%\n",
              matrix->GetDocCount(), matrix->GetCorrect(), matrix->GetIncorrect(),
              matrix->GetRejected(), accuracy);

  std::printf(
      "\nShare of each language's texts classified correctly with a normalised score of at "
      "least\n%8s",
      "");
  const unsigned int thresholds[] = {50, 70, 80, 90};
  for (unsigned int t : thresholds) std::printf("   %.2f", t / 100.0);
  std::printf("\n");
  for (unsigned int c = 1; c < classes; ++c) {
    const Qel::ErrorPlot* plot = plotVisitor.GetPlot(c);
    if (plot == nullptr || !plot->IsValid()) continue;
    const std::vector<float> good = plot->GetGoodHistogram();
    std::printf("%8s", languages[c - 1].c_str());
    for (unsigned int t : thresholds) std::printf("  %4.1f%%", 100.0f * good[t]);
    std::printf("\n");
  }

  // All results in one XML file: one "ClsResults" element per test text.
  Qel::QelXmlOutStream xml(Qel::StorageFile, Qel::ConvertUtf8ToWideChar(resultsFile.string()));
  xml.CreateNode("LanguageResults");
  for (std::size_t l = 0; l < languages.size(); ++l) {
    auto* group = static_cast<Qel::DocumentNode*>([&] {
      Qel::VectorIterator it = documentRoot->GetVectorIterator();
      for (std::size_t skip = 0; skip < l; ++skip) it.Next();
      return it.Current();
    }());
    for (Qel::VectorIterator it = group->GetVectorIterator(); !it.Done(); it.Next()) {
      auto* doc = static_cast<Qel::DocumentNode*>(it.Current());
      if (auto* r =
              dynamic_cast<Qel::Result*>(doc->GetRepresentation(Qel::SparseResult::DEFAULT_TAG))) {
        r->Save("ClsResults", &xml);
      }
    }
  }
  xml.CloseNode("LanguageResults");
  xml.Close();
  std::printf("\nResults written to %s\n", resultsFile.string().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("QEL_CLASSIFY_CORPUS");
  std::filesystem::path corpus = argc > 1 ? argv[1] : (env != nullptr ? env : "");
  if (corpus.empty()) {
    std::fprintf(stderr,
                 "usage: qel_classify corpus-dir [results.xml] (or set QEL_CLASSIFY_CORPUS)\n");
    return 2;
  }
  const std::filesystem::path results =
      argc > 2 ? std::filesystem::path(argv[2]) : corpus / "results.xml";
  try {
    return Run(corpus, results);
  } catch (const Qel::BaseException& e) {
    std::fprintf(stderr, "qel_classify: %s\n",
                 Qel::ConvertWideCharToUtf8(e.GetErrorDescription()).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qel_classify: %s\n", e.what());
    return 1;
  }
}
