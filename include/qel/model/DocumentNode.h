// DocumentNode: a node of a document or class tree, with a class id, a parent pointer, a free tag,
// ordered children (one reference owned on each) and representations attached as features and
// found by tag. Reference counts may change on any thread; a tree is used by one thread at a time.
#pragma once

#include <qel/core/Composite.h>
#include <qel/core/Export.h>
#include <qel/core/VectorIterator.h>
#include <qel/model/Representation.h>

#include <cstdint>
#include <iosfwd>
#include <vector>

namespace Qel {

class QEL_API DocumentNode : public Composite {
 public:
  // A new node holding one reference for the caller. The parent pointer is only recorded: the
  // node is not added to the parent's children. Throws BaseException 5 (out of memory).
  static DocumentNode* Create();
  static DocumentNode* Create(std::uint32_t classId, DocumentNode* parent);

  std::uint32_t GetClassId() const { return m_classId; }
  void SetClassId(std::uint32_t classId) { m_classId = classId; }
  // The node above this one (not owned), or null.
  DocumentNode* GetParentDocument() { return m_parentDocument; }
  void SetParentDocument(DocumentNode* parent) { m_parentDocument = parent; }
  // A free value for the caller.
  std::int32_t GetLongTag() { return m_longTag; }
  void SetLongTag(std::int32_t tag) { m_longTag = tag; }

  // Appends `child`, adopting the caller's reference; a DocumentNode child gets this node as its
  // parent document. Children of other node types are kept as well. Null is ignored.
  void AddChild(Node* child) override;
  // Detaches the first child whose GetId() is `id`, keeping the order of the others, and hands
  // its reference to the caller; null (and no change) when no child matches.
  Node* RemoveChild(std::uintptr_t id) override;
  unsigned int ChildCount() const override;
  // A new VectorIterator over the children (null when it cannot be allocated); the caller calls
  // Release() on it.
  Iterator* CreateIterator() override;
  // The same iterator as a value.
  VectorIterator GetVectorIterator();

  // Appends `node` to the feature chain when it is a Representation, adopting the caller's
  // reference, and returns true; otherwise returns false and leaves the reference with the caller.
  bool AddRepresentation(Node* node);
  // The first representation in the feature chain whose tag equals `tag`; null when none.
  // No reference is added.
  Representation* GetRepresentation(const Representation::RepTag& tag);
  // Detaches the first representation tagged `tag` from the feature chain, keeping the rest of
  // the chain attached in its order, and hands its reference to the caller; null when none.
  Node* RemoveRepresentation(const Representation::RepTag& tag);

  // A document node has no persistent form of its own: these do nothing. Save and Load of the
  // node handle its children.
  void LoadData(std::istream* is);
  void SaveData(std::ostream* os);

 protected:
  DocumentNode() = default;
  DocumentNode(std::uint32_t classId, DocumentNode* parent)
      : m_classId(classId), m_parentDocument(parent) {}
  // Releases every child once, then the feature chain.
  ~DocumentNode() override;

 private:
  std::uint32_t m_classId = 0;
  DocumentNode* m_parentDocument = nullptr;
  std::vector<Node*> m_children;
  std::int32_t m_longTag = 0;
};

}  // namespace Qel
