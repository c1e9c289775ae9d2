// Node, its feature chain, and the flat release of owned references.
#include "qel/core/Node.h"

#include <algorithm>
#include <vector>

#include "core/Throw.h"
#include "qel/core/Visitor.h"

namespace Qel {

namespace {

// The releases that destructors on this thread asked for while an outer ReleaseOwned call was
// already running; null when none runs. A plain pointer, so that it is usable during static
// destruction after thread-local objects are gone.
thread_local std::vector<RefCounter*>* t_pendingReleases = nullptr;

}  // namespace

void ReleaseOwned(RefCounter* object) noexcept {
  if (object == nullptr) return;
  if (t_pendingReleases != nullptr) {
    try {
      t_pendingReleases->push_back(object);
      return;
    } catch (...) {
      // No memory to queue it: release it in place, which only nests one more level.
      object->Release();
      return;
    }
  }
  std::vector<RefCounter*> pending;
  t_pendingReleases = &pending;
  std::size_t mark = 0;
  RefCounter* next = object;
  for (;;) {
    next->Release();
    // What that release queued is taken in the order it was queued, before anything queued
    // earlier: the order of a recursive teardown.
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(mark), pending.end());
    if (pending.empty()) break;
    next = pending.back();
    pending.pop_back();
    mark = pending.size();
  }
  t_pendingReleases = nullptr;
}

Node::~Node() {
  Node* feature = m_feature;
  m_feature = nullptr;
  ReleaseOwned(feature);
}

void Node::AddFeature(Node* feature) {
  if (feature == nullptr) return;
  // A node that is already in either chain would close a loop that no release could end.
  for (Node* n = feature; n != nullptr; n = n->m_feature) {
    if (n == this) {
      Detail::ThrowInvalidArgument(
          u"Qel::Node::AddFeature -> the feature already carries this node");
    }
  }
  Node* last = this;
  for (;;) {
    if (last == feature) {
      Detail::ThrowInvalidArgument(u"Qel::Node::AddFeature -> the feature is already attached");
    }
    if (last->m_feature == nullptr) break;
    last = last->m_feature;
  }
  // Walked in a loop rather than passed on feature by feature, so chains of any length work.
  last->m_feature = feature;
}

Node* Node::RemoveFeature() {
  Node* feature = m_feature;
  m_feature = nullptr;
  return feature;
}

Node* Node::GetFeature() { return m_feature; }

unsigned int Node::FeatureCount() const { return m_feature != nullptr ? 1 : 0; }

Composite* Node::GetComposite() { return nullptr; }

void Node::Visit(Visitor* v) {
  if (v != nullptr) v->DoVisit(this);
}

bool Node::Save(std::ostream* /*os*/) { return true; }

bool Node::Load(std::istream* /*is*/) { return true; }

}  // namespace Qel
