// Iterator over the children of a composite. Protocol: Start(), then while Done() is false use
// Current() and call Next(), finally Release(). An iterator does not own the nodes it returns and
// is used by one thread at a time.
#pragma once

#include <qel/core/Export.h>

namespace Qel {

class Node;

class QEL_API Iterator {
 public:
  Iterator() = default;
  virtual ~Iterator() = default;

  // Goes back to the first element (the base iterator does nothing).
  virtual void Start() {}
  // Moves to the next element.
  virtual void Next() {}
  // True when there is no current element (always, for the base iterator).
  virtual bool Done() { return true; }
  // The current element; only valid while Done() is false. No reference is added.
  virtual Node* Current() { return nullptr; }
  // Deletes this iterator.
  virtual void Release() { delete this; }
};

}  // namespace Qel
