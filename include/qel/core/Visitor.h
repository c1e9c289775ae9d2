// Visitor: the callback of Composite::Visit, called once per node of a walked tree. Owns nothing
// it is shown; used by the thread that runs the walk.
#pragma once

namespace Qel {

class Node;

class Visitor {
 public:
  virtual ~Visitor() = default;
  // Called for each visited node, parents before children. The base visitor does nothing.
  virtual void DoVisit(Node* /*node*/) {}
};

}  // namespace Qel
