// Analyzer: the reference-counted base of analysers that turn one representation of a node into
// another. Counts change atomically; an analyser is used by one thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/RefCounter.h>
#include <qel/model/Representation.h>

#include <iosfwd>
#include <string>

namespace Qel {

class Node;

class QEL_API Analyzer : public RefCounter {
 public:
  // Whether several analysers may share one internal representation on a node; false.
  virtual bool CanShareInternalRep();

  // Made ready before the first node is analysed, from the root of the tree to analyse.
  virtual void Initialize(Node* root) = 0;
  // Builds this analyser's internal representation on `node`; false when the node has nothing
  // to analyse.
  virtual bool CreateInternalRep(Node* node) = 0;
  // Detaches and releases this analyser's internal representation from `node`.
  virtual void RemoveInternalRep(Node* node) = 0;
  // Takes the internal representation of `node` into what the analyser has learnt.
  virtual void Learn(Node* node) = 0;
  // Ends a learning pass over a tree.
  virtual void FinishLearning() = 0;
  // Attaches the result representation for `node`, built from its internal representation;
  // false when the node has none.
  virtual bool Analyze(Node* node) = 0;
  // Forgets everything learnt.
  virtual void Reset() = 0;

  // Writes what the analyser has learnt; false when it has no stored form (the base).
  virtual bool Save(std::ostream* os);
  // Reads what Save wrote; false when it has no stored form (the base).
  virtual bool Load(std::istream* is);

  // The tag of the representation the analyser produces ("Dflt" at first).
  Representation::RepTag GetResultRepTag() { return m_resultTag; }
  void SetResultRepTag(Representation::RepTag tag) { m_resultTag = tag; }
  // The tag of the representation the analyser keeps for itself on a node ("Dflt" at first).
  Representation::RepTag GetInternalRepTag() { return m_internalTag; }
  void SetInternalRepTag(Representation::RepTag tag) { m_internalTag = tag; }
  // A free text describing the analyser (empty at first).
  const std::u16string& GetText() const { return m_text; }
  void SetText(const std::u16string& text) { m_text = text; }

 protected:
  Analyzer() = default;
  // Analysers are destroyed through Release().
  ~Analyzer() override = default;

 private:
  std::u16string m_text;
  Representation::RepTag m_resultTag = Representation::DefaultTag;
  Representation::RepTag m_internalTag = Representation::DefaultTag;
};

}  // namespace Qel
