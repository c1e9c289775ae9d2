// Iterator over the children of an XmlNode. It owns neither the list nor the nodes; the list
// must outlive the iterator and must not change while it is walked. One thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/Iterator.h>

#include <list>

namespace Qel {

class XmlNode;

class QEL_API ListIterator : public Iterator {
 public:
  // Positioned at the first element of `nodes`.
  explicit ListIterator(std::list<XmlNode*>& nodes) : m_nodes(&nodes), m_position(nodes.begin()) {}
  // A copy keeps the source's position.
  ListIterator(const ListIterator&) = default;
  ListIterator& operator=(const ListIterator&) = default;

  // A new iterator over `nodes`, released with Release(); null when it cannot be allocated.
  static ListIterator* Create(std::list<XmlNode*>& nodes);

  void Start() override { m_position = m_nodes->begin(); }
  void Next() override { ++m_position; }
  bool Done() override { return m_position == m_nodes->end(); }
  // The current child; only valid while Done() is false.
  Node* Current() override;

 private:
  std::list<XmlNode*>* m_nodes;
  std::list<XmlNode*>::iterator m_position;
};

}  // namespace Qel
