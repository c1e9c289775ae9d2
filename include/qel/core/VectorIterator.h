// VectorIterator: an Iterator over a vector of node pointers, such as a document's children. It
// owns neither the vector nor the nodes; the vector must outlive the iterator and must not change
// while it is walked. Used by one thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/Iterator.h>

#include <cstddef>
#include <vector>

namespace Qel {

class QEL_API VectorIterator : public Iterator {
 public:
  // Positioned at the first element of `nodes`.
  explicit VectorIterator(std::vector<Node*>& nodes) : m_nodes(&nodes) {}
  // A copy walks the same vector from its first element, whatever the source's position.
  VectorIterator(const VectorIterator& other) : Iterator(), m_nodes(other.m_nodes) {}
  VectorIterator& operator=(const VectorIterator& other) {
    m_nodes = other.m_nodes;
    m_position = 0;
    return *this;
  }

  // A new iterator over `nodes`, released with Release(); null when it cannot be allocated.
  static VectorIterator* Create(std::vector<Node*>& nodes);

  void Start() override { m_position = 0; }
  void Next() override { ++m_position; }
  bool Done() override { return m_position >= m_nodes->size(); }
  Node* Current() override { return (*m_nodes)[m_position]; }

 private:
  std::vector<Node*>* m_nodes;
  std::size_t m_position = 0;
};

}  // namespace Qel
