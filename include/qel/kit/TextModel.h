// TextModel: a trained naive Bayes text classifier (options, class labels, and the sufficient
// statistics from which class models are derived), its versioned file, and parallel
// classification. A model is used by one thread at a time; the class trees it creates are
// read-only and may be shared by any number of threads.
#pragma once

#include <qel/core/Export.h>
#include <qel/kit/ClassModel.h>
#include <qel/kit/TermVector.h>
#include <qel/kit/TextVectorizer.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Qel {

namespace Detail {
class FeatureCounts;
}
class BayesControl;
class DocumentNode;

struct ModelOptions {
  // The defaults are the most accurate of those measured on the 12-language fortune corpus.
  ModelKind kind = ModelKind::MultinomialNB;
  double alpha = 0.02;  // Lidstone smoothing, > 0 and finite
  bool idf = false;     // weight features by log((1 + N) / (1 + df)) + 1 at training and scoring
  VectorizerOptions vectorizer;
  friend bool operator==(const ModelOptions&, const ModelOptions&) = default;
};

class QEL_API TextModel {
 public:
  // Throws BaseException InvalidArgument for options out of range.
  explicit TextModel(const ModelOptions& options);
  ~TextModel();
  TextModel(const TextModel&) = delete;
  TextModel& operator=(const TextModel&) = delete;

  const ModelOptions& GetOptions() const { return m_options; }
  const TextVectorizer& GetVectorizer() const { return m_vectorizer; }

  // The id (1..N) of `label`, added when new. Throws InvalidArgument for an empty label.
  std::uint32_t AddClass(const std::u16string& label);
  // The labels, [id - 1].
  const std::vector<std::u16string>& GetLabels() const { return m_labels; }
  // Documents counted per class, [id - 1].
  const std::vector<std::uint64_t>& GetDocumentCounts() const { return m_documents; }

  // Counts one document of class `classId` (InvalidArgument when it is not a class id or a
  // feature id is out of range; weights must be finite and non-negative). Weights are counted
  // in fixed point (units of 2^-16), so that sums do not depend on the order of training.
  void Train(std::uint32_t classId, const std::vector<TermEntry>& features);
  // Vectorizes `texts[i]` and counts it as a document of class `classIds[i]`, for every i, on
  // `threads` workers of a TaskScheduler (0 = all cores). Each worker counts the documents of
  // classes of its own, so that no two workers share a class's counts; the model is the one the
  // single calls give, in any order. `counted`, when set, is called from the workers (at once
  // from several) with the number of documents counted since its last call. InvalidArgument
  // when the sizes differ or an id is not a class id (nothing counted then); an overflow
  // throws after the other workers finished.
  void Train(const std::vector<std::uint32_t>& classIds,
             const std::vector<std::u16string_view>& texts, unsigned threads,
             const std::function<void(std::size_t)>& counted = {});
  // Counts every DocumentNode under `root` (root included, pre-order) whose class id is a class
  // of this model and that carries a TermVector under `tag`.
  void Train(DocumentNode* root, const Representation::RepTag& tag = TermVector::DEFAULT_TAG);
  // Adds `other`'s statistics: same options (InvalidArgument otherwise), classes matched by
  // label, new labels appended. Shards trained apart and merged give exactly the model of one
  // training over everything in the same order (the same file bytes).
  void Merge(const TextModel& other);

  // The class tree BayesClassifier learns from: a root DocumentNode (class id 0) with one
  // ClassModel per class, in id order, tagged ClassModel::DEFAULT_TAG; one reference for the
  // caller. Throws InvalidArgument when there is no class or a class has no document.
  // `threads` workers of a TaskScheduler (0 = all cores) fill its tables.
  DocumentNode* CreateClassTree(unsigned threads = 1) const;

  // Writes the model as versioned XML (gzip when `compressed`) to a temporary file beside
  // `path`, then renames it over `path`. Throws FileIOException when it cannot be written.
  // `threads` workers of a TaskScheduler (0 = all cores) encode the counts.
  void Save(const std::u16string& path, bool compressed, unsigned threads = 1) const;
  // Reads a file that Save wrote (plain or gzip). A file of another version, truncated or
  // hostile throws FileIOException (cannot be read), XMLFormatException (not a model of this
  // version, or incomplete) or BaseException InvalidArgument (values out of range), naming the
  // problem; memory is only claimed in proportion to the file's contents.
  static std::unique_ptr<TextModel> Load(const std::u16string& path);
  // The same from `size` bytes of an uncompressed model file in memory.
  static std::unique_ptr<TextModel> LoadFromMemory(const char* data, std::size_t size);

  // The file format's version, written as the root element's "version" attribute.
  static constexpr std::int32_t kFileVersion = 2;

 private:
  struct Statistics;
  friend class TextModelReader;
  void checkFeatures(const std::vector<TermEntry>& features) const;
  void count(std::uint32_t classId, const std::vector<TermEntry>& features,
             Detail::FeatureCounts& documentFrequency);

  ModelOptions m_options;
  TextVectorizer m_vectorizer;
  std::vector<std::u16string> m_labels;
  std::vector<std::uint64_t> m_documents;  // documents per class
  // Per class, weight per feature (fixed point), and documents per feature.
  std::unique_ptr<Statistics> m_stats;
};

// Classifies every document under `root` (root included, pre-order) that carries a valid
// representation under `settings`' document tag, with BayesClassifier against the class models
// under `classTree` (their tag from `settings`), spread over `threads` workers of a TaskScheduler
// (0 = all cores), attaching results exactly as one BayesClassifier run with `settings` would
// (its learn, roots and batch flags are taken from the arguments: the whole tree is walked).
// The tree must not change meanwhile. Throws what a worker threw.
QEL_API void ClassifyDocuments(DocumentNode* classTree, DocumentNode* root,
                               const BayesControl& settings, unsigned threads);

}  // namespace Qel
