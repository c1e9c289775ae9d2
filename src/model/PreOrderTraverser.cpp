// Pre-order walk over document trees with an explicit stack.
#include "qel/model/PreOrderTraverser.h"

#include <algorithm>
#include <new>
#include <typeinfo>

#include "core/Throw.h"
#include "qel/core/Iterator.h"

namespace Qel {

namespace {

// Children are mostly plain document nodes: those skip the walk over the bases that
// dynamic_cast makes.
DocumentNode* asDocument(Node* node) {
  if (node != nullptr && typeid(*node) == typeid(DocumentNode))
    return static_cast<DocumentNode*>(node);
  return dynamic_cast<DocumentNode*>(node);
}

}  // namespace

PreOrderTraverser<DocumentNode>::PreOrderTraverser(DocumentNode* root) {
  if (root != nullptr) m_stack.push_back(root);
}

PreOrderTraverser<DocumentNode>* PreOrderTraverser<DocumentNode>::Create(DocumentNode* root) {
  try {
    return new PreOrderTraverser(root);
  } catch (const std::bad_alloc&) {
    Detail::ThrowOutOfMemory(u"Qel::PreOrderTraverser::Create");
  }
}

DocumentNode* PreOrderTraverser<DocumentNode>::Next() {
  if (m_stack.empty()) return nullptr;
  DocumentNode* node = m_stack.back();
  m_stack.pop_back();
  // Pushed last to first, so that the first child is returned next.
  const std::size_t bottom = m_stack.size();
  try {
    for (VectorIterator it = node->GetVectorIterator(); !it.Done(); it.Next()) {
      if (DocumentNode* child = asDocument(it.Current())) m_stack.push_back(child);
    }
  } catch (...) {
    m_stack.resize(bottom);
    m_stack.push_back(node);
    throw;
  }
  std::reverse(m_stack.begin() + static_cast<std::ptrdiff_t>(bottom), m_stack.end());
  return node;
}

void PreOrderTraverser<DocumentNode>::Release() { delete this; }

}  // namespace Qel
