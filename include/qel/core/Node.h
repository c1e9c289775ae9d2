// Node: a reference-counted object that carries a singly linked chain of attached features
// (representations, results, statistics). A node owns one reference on its direct feature.
// Reference counts may change on any thread; a node and its chain are used by one thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/RefCounter.h>

#include <cstdint>
#include <iosfwd>

namespace Qel {

class Composite;
class Visitor;

// Drops a reference that a dying object owned (a child, a feature). Safe to call from a
// destructor: releases that cascade while a tree or chain is torn down run one after another on
// the calling thread instead of nesting, so releasing a structure of any depth needs constant
// stack. Objects are still released in the order a recursive teardown would use. Null is ignored.
QEL_API void ReleaseOwned(RefCounter* object) noexcept;

class QEL_API Node : public RefCounter {
 public:
  Node() = default;

  // Appends `feature` at the end of this node's feature chain, adopting the caller's reference.
  // Null is ignored.
  virtual void AddFeature(Node* feature);
  // Detaches the direct feature (with the rest of the chain behind it) and hands its reference
  // to the caller; null when there is none.
  virtual Node* RemoveFeature();
  // The direct feature, or null. No reference is added.
  virtual Node* GetFeature();
  // 1 when there is a direct feature, else 0; the rest of the chain is not counted.
  virtual unsigned int FeatureCount() const;
  // This node as a composite, or null for a node without children.
  virtual Composite* GetComposite();
  // Calls v->DoVisit(this).
  virtual void Visit(Visitor* v);
  // A plain node has no persistent form: writes nothing and returns true.
  virtual bool Save(std::ostream* os);
  // Reads nothing and returns true.
  virtual bool Load(std::istream* is);

  // Identifies this node while it lives (its address); what RemoveChild compares against.
  std::uintptr_t GetId() const { return reinterpret_cast<std::uintptr_t>(this); }

 protected:
  // Releases the feature chain. Protected: nodes are destroyed through Release().
  ~Node() override;

 private:
  Node* m_feature = nullptr;
};

}  // namespace Qel
