// VectorIterator allocation.
#include "qel/model/VectorIterator.h"

#include <new>

namespace Qel {

VectorIterator* VectorIterator::Create(std::vector<Node*>& nodes) {
  return new (std::nothrow) VectorIterator(nodes);
}

}  // namespace Qel
