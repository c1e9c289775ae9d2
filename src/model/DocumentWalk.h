// Visiting the documents of a tree in pre-order through the library's one walk,
// PreOrderTraverser, which keeps an explicit stack so that trees of any depth are walked.
// One thread at a time; the tree must not gain or lose nodes while it is walked.
#pragma once

#include <memory>

#include "qel/model/PreOrderTraverser.h"

namespace Qel::Detail {

struct TraverserRelease {
  void operator()(PreOrderTraverser<DocumentNode>* traverser) const { traverser->Release(); }
};

// Calls `visit` on `root` when it is a DocumentNode and, with `wholeTree`, on every DocumentNode
// below it in pre-order; other nodes and everything below them are skipped. What `visit` throws
// ends the walk.
template <class Visit>
void ForEachDocument(Node* root, bool wholeTree, Visit&& visit) {
  auto* first = dynamic_cast<DocumentNode*>(root);
  if (first == nullptr) return;
  if (!wholeTree) {
    visit(first);
    return;
  }
  std::unique_ptr<PreOrderTraverser<DocumentNode>, TraverserRelease> walk(
      PreOrderTraverser<DocumentNode>::Create(first));
  while (DocumentNode* document = walk->Next()) visit(document);
}

}  // namespace Qel::Detail
