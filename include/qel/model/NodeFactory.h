// NodeFactory: makes nodes of a caller-chosen type. The caller owns what it returns; used by one
// thread at a time.
#pragma once

#include <qel/core/Export.h>

namespace Qel {

class Node;

class QEL_API NodeFactory {
 public:
  virtual ~NodeFactory() = default;
  // A new node holding one reference for the caller; the base factory returns null.
  virtual Node* CreateNode() { return nullptr; }
};

}  // namespace Qel
