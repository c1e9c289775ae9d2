// BayesClassifier: scores every document of a tree against the class models carried by the
// nodes of a class tree and attaches the scores as a result. The classifier does not own the
// trees, the class models or the callback; one run at a time per classifier, on one thread.
#pragma once

#include <qel/core/Export.h>
#include <qel/learn/Algorithm.h>
#include <qel/model/Representation.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Qel {

class CallBack;
class Node;

// The parameters of a BayesClassifier run.
class QEL_API BayesControl : public Control {
 public:
  BayesControl() = default;

  // Collect the class models from the class tree (default false).
  bool GetDoLearn() const { return m_doLearn; }
  void SetDoLearn(bool value) { m_doLearn = value; }
  // Classify the documents (default true).
  bool GetDoClassify() const { return m_doClassify; }
  void SetDoClassify(bool value) { m_doClassify = value; }
  // Descend into the children of each document (default false).
  bool GetDoBatch() const { return m_doBatch; }
  void SetDoBatch(bool value) { m_doBatch = value; }
  // Rescale the scores by the range of the winning class model (default false).
  bool GetDoNormalize() const { return m_doNormalize; }
  void SetDoNormalize(bool value) { m_doNormalize = value; }
  // Tag of the class models ("Dflt").
  const Representation::RepTag& GetClassTag() const { return m_classTag; }
  void SetClassTag(const Representation::RepTag& tag) { m_classTag = tag; }
  // A four-character name; any other length gives "Dflt".
  void SetClassTag(const std::string& name) { m_classTag = SetRepTag(name); }
  // Tag of the document representations ("Dflt").
  const Representation::RepTag& GetDocumentTag() const { return m_documentTag; }
  void SetDocumentTag(const Representation::RepTag& tag) { m_documentTag = tag; }
  void SetDocumentTag(const std::string& name) { m_documentTag = SetRepTag(name); }
  // Tag given to the attached results ("Dflt").
  const Representation::RepTag& GetResultTag() const { return m_resultTag; }
  void SetResultTag(const Representation::RepTag& tag) { m_resultTag = tag; }
  // Root of the class tree (not owned).
  Node* GetRootClass() const { return m_rootClass; }
  void SetRootClass(Node* node) { m_rootClass = node; }
  // Root of the document tree (not owned).
  Node* GetRootDocument() const { return m_rootDocument; }
  void SetRootDocument(Node* node) { m_rootDocument = node; }
  // Entries of the sparse result (default 3); 0 attaches the full result.
  std::uint32_t GetMaxResults() const { return m_maxResults; }
  void SetMaxResults(std::uint32_t value) { m_maxResults = value; }

 private:
  bool m_doLearn = false;
  bool m_doClassify = true;
  bool m_doBatch = false;
  bool m_doNormalize = false;
  Representation::RepTag m_classTag = Representation::DefaultTag;
  Representation::RepTag m_documentTag = Representation::DefaultTag;
  Representation::RepTag m_resultTag = Representation::DefaultTag;
  Node* m_rootClass = nullptr;
  Node* m_rootDocument = nullptr;
  std::uint32_t m_maxResults = 3;
};

// A class node is a DocumentNode that is also a Representation: that representation is its
// class model, and a document's score for the class is the model's dot with the document's
// representation.
class QEL_API BayesClassifier : public Algorithm {
 public:
  BayesClassifier() = default;

  // Learns (collects the class models) and/or classifies as `control` says; a control of
  // another class is ignored. Throws UserCanceledException 20 when the callback asks to stop
  // (results attached before stay) and BaseException 5 when a result cannot be allocated.
  void DoAlgorithm(Control* control) override;
  // A new BayesControl with the defaults, owned by the caller; null when out of memory.
  Control* CreateController() override;
  // The class models belong to the class tree: nothing is written or read; true.
  bool Save(std::ostream* os) override;
  bool Load(std::istream* is) override;

  // The progress receiver, told once per scored document (not owned; null for none).
  void SetCallBack(CallBack* callback) { m_callback = callback; }

 private:
  void getClassNodes(Node* node);
  void classifyNode(Node* node);

  Representation::RepTag m_currentTag{0};
  Representation::RepTag m_resultTag{0};
  bool m_batch = true;
  bool m_normalize = false;
  std::uint32_t m_maxResults = 3;
  std::uint32_t m_highestClassId = 1;
  std::vector<Representation*> m_classModels;
  std::vector<std::uint32_t> m_classIds;
  CallBack* m_callback = nullptr;
};

}  // namespace Qel
