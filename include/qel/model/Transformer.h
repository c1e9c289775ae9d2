// Transformer: turns the content of one node into another. Owns neither node; used by one thread.
#pragma once

#include <qel/core/Export.h>

namespace Qel {

class Node;

class QEL_API Transformer {
 public:
  virtual ~Transformer() = default;
  // Deletes this transformer.
  virtual void Release() { delete this; }
  // Fills `target` from `source`. The base transformer does nothing.
  virtual void DoTransform(Node* /*source*/, Node* /*target*/) {}
};

}  // namespace Qel
