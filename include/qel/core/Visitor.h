// Visitor: the callback of Composite::Visit, called once per node of a walked tree. Owns nothing
// it is shown; used by the thread that runs the walk.
#pragma once

#include <qel/core/Export.h>

namespace Qel {

class Node;

class QEL_API Visitor {
 public:
  virtual ~Visitor() = default;
  // Called for each visited node, parents before children. The base visitor does nothing.
  virtual void DoVisit(Node* /*node*/) {}
};

}  // namespace Qel
