// DocumentNode: children, representations by tag, and teardown.
#include "qel/model/DocumentNode.h"

#include <algorithm>
#include <exception>
#include <new>

#include "core/Throw.h"
#include "model/FeatureChain.h"

namespace Qel {

DocumentNode* DocumentNode::Create() {
  auto* node = new (std::nothrow) DocumentNode();
  if (node == nullptr) Detail::ThrowOutOfMemory(u"[788]");
  node->AddRefCount();
  return node;
}

DocumentNode* DocumentNode::Create(std::uint32_t classId, DocumentNode* parent) {
  auto* node = new (std::nothrow) DocumentNode(classId, parent);
  if (node == nullptr) Detail::ThrowOutOfMemory(u"[789]");
  node->AddRefCount();
  return node;
}

DocumentNode::~DocumentNode() {
  // Queued rather than released in place, so that deep trees tear down with a flat stack.
  for (Node* child : m_children) ReleaseOwned(child);
  m_children.clear();
}

void DocumentNode::AddChild(Node* child) {
  if (child == nullptr) return;
  if (child == this) {
    Detail::ThrowInvalidArgument(u"Qel::DocumentNode::AddChild -> a node cannot be its own child");
  }
  try {
    m_children.push_back(child);
  } catch (const std::exception& e) {
    Detail::Throw(e, "Qel::DocumentNode::AddChild");
  }
  if (auto* document = dynamic_cast<DocumentNode*>(child)) document->m_parentDocument = this;
}

Node* DocumentNode::RemoveChild(std::uintptr_t id) {
  const auto found = std::find_if(m_children.begin(), m_children.end(),
                                  [id](const Node* child) { return child->GetId() == id; });
  if (found == m_children.end()) return nullptr;
  Node* child = *found;
  m_children.erase(found);
  return child;
}

unsigned int DocumentNode::ChildCount() const {
  return static_cast<unsigned int>(m_children.size());
}

Iterator* DocumentNode::CreateIterator() { return VectorIterator::Create(m_children); }

VectorIterator DocumentNode::GetVectorIterator() { return VectorIterator(m_children); }

bool DocumentNode::AddRepresentation(Node* node) {
  if (dynamic_cast<Representation*>(node) == nullptr) return false;
  AddFeature(node);
  return true;
}

Representation* DocumentNode::GetRepresentation(const Representation::RepTag& tag) {
  return Detail::FindRepresentation(this, tag, Detail::PlainRepresentationCast{}).second;
}

Node* DocumentNode::RemoveRepresentation(const Representation::RepTag& tag) {
  return Detail::DetachFeature(
      this, Detail::FindRepresentation(this, tag, Detail::PlainRepresentationCast{}).first);
}

void DocumentNode::LoadData(std::istream* /*is*/) {}

void DocumentNode::SaveData(std::ostream* /*os*/) {}

}  // namespace Qel
