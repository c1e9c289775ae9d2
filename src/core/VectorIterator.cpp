// VectorIterator allocation.
#include "qel/core/VectorIterator.h"

#include <new>

namespace Qel {

VectorIterator* VectorIterator::Create(std::vector<Node*>& nodes) {
  return new (std::nothrow) VectorIterator(nodes);
}

}  // namespace Qel
