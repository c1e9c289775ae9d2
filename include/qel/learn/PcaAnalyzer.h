// PcaAnalyzer: kernel principal component analysis over example representations, with their
// dot product as the kernel. Learns the leading components of the centred kernel matrix, adds
// and removes examples incrementally, projects documents and stores what it learnt as a binary
// stream. Examples and nodes are not owned; one run at a time per analyser, on one thread.
#pragma once

#include <qel/core/Export.h>
#include <qel/learn/Algorithm.h>
#include <qel/model/Representation.h>

#include <cstdint>
#include <vector>

namespace Qel {

class Node;

// The parameters of a PcaAnalyzer run; the switches say which steps run.
class QEL_API PcaControl : public Control {
 public:
  PcaControl() = default;

  // Take over ExampleVector and ActivityVector (default false).
  bool GetDoExamples() const { return m_doExamples; }
  void SetDoExamples(bool value) { m_doExamples = value; }
  // Learn from scratch (default false).
  bool GetDoLearn() const { return m_doLearn; }
  void SetDoLearn(bool value) { m_doLearn = value; }
  // Store the kernel matrix with the learnt state, so that examples can be inserted and
  // removed after a Load (default false).
  bool GetEnableRelearn() const { return m_enableRelearn; }
  void SetEnableRelearn(bool value) { m_enableRelearn = value; }
  // Project SourceNode (default false).
  bool GetDoProject() const { return m_doProject; }
  void SetDoProject(bool value) { m_doProject = value; }
  // Add the examples whose activity is 0 (default false).
  bool GetDoInsert() const { return m_doInsert; }
  void SetDoInsert(bool value) { m_doInsert = value; }
  // Remove the examples whose activity is -1 (default false).
  bool GetDoRemove() const { return m_doRemove; }
  void SetDoRemove(bool value) { m_doRemove = value; }
  // Project the whole subtree of SourceNode (default true).
  bool GetDoBatch() const { return m_doBatch; }
  void SetDoBatch(bool value) { m_doBatch = value; }
  // The activity code that marks an active example (default 1).
  signed char GetTargetActivity() const { return m_targetActivity; }
  void SetTargetActivity(signed char value) { m_targetActivity = value; }
  // Number of components (default 3).
  std::uint32_t GetDimension() const { return m_dimension; }
  void SetDimension(std::uint32_t value) { m_dimension = value; }
  // Iteration limit, 0 for none (default 1000).
  std::uint32_t GetMaxIterations() const { return m_maxIterations; }
  void SetMaxIterations(std::uint32_t value) { m_maxIterations = value; }
  // Capacity for examples (default 1000).
  std::uint32_t GetMaxExamples() const { return m_maxExamples; }
  void SetMaxExamples(std::uint32_t value) { m_maxExamples = value; }
  // Convergence threshold (default 1e-6).
  double GetEpsilon() const { return m_epsilon; }
  void SetEpsilon(double value) { m_epsilon = value; }
  // Tag of the representation to project ("Dflt").
  const Representation::RepTag& GetRepresentationTag() const { return m_representationTag; }
  void SetRepresentationTag(const Representation::RepTag& tag) { m_representationTag = tag; }
  // Tag of the result attached to projected documents ("Dflt").
  const Representation::RepTag& GetResultTag() const { return m_resultTag; }
  void SetResultTag(const Representation::RepTag& tag) { m_resultTag = tag; }
  // The examples (not owned).
  const std::vector<Representation*>& GetExampleVector() const { return m_examples; }
  void SetExampleVector(const std::vector<Representation*>& examples) { m_examples = examples; }
  // One activity code per example: > 0 active (examples interact only with examples of the
  // same code), 0 to be inserted, -1 to be removed, other negative values ignored.
  const std::vector<signed char>& GetActivityVector() const { return m_activity; }
  void SetActivityVector(const std::vector<signed char>& activity) { m_activity = activity; }
  // Root to project (not owned).
  Node* GetSourceNode() const { return m_sourceNode; }
  void SetSourceNode(Node* node) { m_sourceNode = node; }

 private:
  friend class PcaAnalyzer;

  bool m_doExamples = false;
  bool m_doLearn = false;
  bool m_enableRelearn = false;
  bool m_doProject = false;
  bool m_doInsert = false;
  bool m_doRemove = false;
  bool m_doBatch = true;
  signed char m_targetActivity = 1;
  std::uint32_t m_dimension = 3;
  std::uint32_t m_maxIterations = 1000;
  std::uint32_t m_maxExamples = 1000;
  double m_epsilon = 1e-6;
  Representation::RepTag m_representationTag = Representation::DefaultTag;
  Representation::RepTag m_resultTag = Representation::DefaultTag;
  std::vector<Representation*> m_examples;
  std::vector<signed char> m_activity;
  Node* m_sourceNode = nullptr;
};

class QEL_API PcaAnalyzer : public Algorithm {
 public:
  PcaAnalyzer() = default;

  // Runs, in this order and as switched on: take over the examples, learn, insert, remove,
  // project. A control of another class is ignored. Throws BaseException 5 when a result
  // cannot be allocated.
  void DoAlgorithm(Control* control) override;
  // A new PcaControl with the defaults, owned by the caller; null when out of memory.
  Control* CreateController() override;
  // Writes the learnt state (little-endian); false for a null or failed stream or when the
  // stream fails while writing.
  bool Save(std::ostream* os) override;
  // Reads what Save wrote. False, with the analyser unchanged, for a null or failed stream,
  // a stream that ends early, or counts that are inconsistent or too large.
  bool Load(std::istream* is) override;

  // The learnt state, for inspection. Eigenvalue k is the k-th largest eigenvalue of the
  // centred kernel matrix divided by the number of active examples; eigenvector k holds one
  // coefficient per example, scaled for projection.
  std::uint32_t GetDimension() const { return m_dimension; }
  std::uint32_t GetMaxIterations() const { return m_maxIterations; }
  std::uint32_t GetMaxExamples() const { return m_maxExamples; }
  std::uint32_t GetActiveCount() const { return m_n; }
  double GetEpsilon() const { return m_epsilon; }
  double GetTotal() const { return m_total; }
  bool GetRelearn() const { return m_relearn; }
  const std::vector<double>& GetEigenValues() const { return m_eigenValues; }
  const std::vector<std::vector<double>>& GetEigenVectors() const { return m_eigenVectors; }
  const std::vector<double>& GetRowSums() const { return m_rowSums; }
  // Iterations run by the last learning step.
  std::uint32_t GetIterationCount() const { return m_iterations; }

 private:
  using Matrix = std::vector<std::vector<double>>;

  void setExamples(PcaControl* ctl);
  void allocate();
  void deallocate();
  bool prepare();
  void learn();
  // Applies the centred kernel to the current eigenvectors.
  void gramTimesEigenVectors(Matrix& out);
  bool prepareInsert();
  bool prepareRemove();
  void project(Node* node);

  // The kernel value of examples i and j, read from the lower triangle.
  double gram(std::size_t i, std::size_t j) const { return i >= j ? m_gram[i][j] : m_gram[j][i]; }
  // Whether the kernel rows of all active examples are present (not so after loading a state
  // stored without them).
  bool gramComplete() const;
  // Fills m_centred with the centred kernel of the active examples, divided by n.
  void buildCentredKernel();

  bool m_batch = true;
  bool m_relearn = false;
  signed char m_targetActivity = 1;
  std::uint32_t m_dimension = 3;
  std::uint32_t m_maxIterations = 1000;
  std::uint32_t m_maxExamples = 1000;
  std::uint32_t m_n = 0;
  double m_total = 0.0;
  double m_epsilon = 1e-6;
  std::vector<signed char> m_activity;
  std::vector<double> m_rowSums;
  std::vector<double> m_eigenValues;
  Matrix m_gram;
  Matrix m_eigenVectors;
  std::vector<Representation*> m_examples;
  Representation::RepTag m_representationTag = Representation::DefaultTag;
  Representation::RepTag m_resultTag = Representation::DefaultTag;

  // Working state of a learning step, kept between runs only to reuse its storage.
  std::vector<double> m_centred;      // active x active, row-major, divided by n
  std::vector<std::size_t> m_active;  // indices of the active examples
  Matrix m_work;                      // the eigenvectors over the active examples
  std::uint32_t m_iterations = 0;
};

}  // namespace Qel
