// PreOrderTraverser: a depth-first walker over a document tree that returns each DocumentNode
// before its children, children in order; children of other node types are skipped. It takes no
// references: the tree must outlive the walk and must not change during it. One thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/model/DocumentNode.h>

#include <deque>

namespace Qel {

template <class T>
class PreOrderTraverser;

template <>
class QEL_API PreOrderTraverser<DocumentNode> {
 public:
  PreOrderTraverser(const PreOrderTraverser&) = delete;
  PreOrderTraverser& operator=(const PreOrderTraverser&) = delete;

  // A new traverser starting at `root` (done at once when `root` is null), released with
  // Release(). Throws BaseException 5 (out of memory).
  static PreOrderTraverser* Create(DocumentNode* root);

  // True when every node has been returned.
  bool Done() const { return m_stack.empty(); }
  // The next node in pre-order, or null when done.
  DocumentNode* Next();
  // Deletes the traverser; the nodes are not touched.
  void Release();

 private:
  explicit PreOrderTraverser(DocumentNode* root);
  ~PreOrderTraverser() = default;

  std::deque<DocumentNode*> m_stack;
};

}  // namespace Qel
