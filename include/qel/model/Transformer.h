// Transformer: turns the content of one node into another. Owns neither node; used by one thread.
#pragma once

namespace Qel {

class Node;

class Transformer {
 public:
  virtual ~Transformer() = default;
  // Deletes this transformer.
  virtual void Release() { delete this; }
  // Fills `target` from `source`. The base transformer does nothing.
  virtual void DoTransform(Node* /*source*/, Node* /*target*/) {}
};

}  // namespace Qel
