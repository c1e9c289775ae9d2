// Composite: a node with children, walked through its own iterator. Visit, Save and Load handle
// the whole subtree in pre-order. Reference counts may change on any thread; a tree is used by one
// thread at a time and must not change while it is walked.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/Node.h>

#include <cstdint>

namespace Qel {

class Iterator;

class QEL_API Composite : public Node {
 public:
  Composite() = default;

  // Adopts the caller's reference on `child`. The base composite has no children and ignores it.
  virtual void AddChild(Node* child);
  // Detaches the child whose GetId() is `id` and hands its reference to the caller; null when no
  // child matches (always, for the base composite).
  virtual Node* RemoveChild(std::uintptr_t id);
  // The number of direct children (0 for the base composite).
  virtual unsigned int ChildCount() const;
  // A new iterator over the direct children, released by the caller with Release(); null when
  // the composite cannot iterate (the base composite).
  virtual Iterator* CreateIterator();

  Composite* GetComposite() override;

  // Calls v->DoVisit on this node, then on every node below it in pre-order (parents before
  // children, children in iteration order). The walk keeps its own stack, so trees of any depth
  // are visited; a subclass that overrides Visit and calls this one sees its children visited
  // after its override returns, not inside the call.
  void Visit(Visitor* v) override;
  // Saves every child in iteration order (the whole subtree, in pre-order) and writes nothing of
  // its own. Returns false at the first child that fails; true without an iterator.
  bool Save(std::ostream* os) override;
  // Loads the existing children in the same order as Save; false at the first child that fails.
  bool Load(std::istream* is) override;

 protected:
  ~Composite() override = default;
};

}  // namespace Qel
