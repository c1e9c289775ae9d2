// Finding and detaching representations in a node's feature chain, shared by DocumentNode and
// the walks that look up a representation on thousands of documents in a row. One thread at a
// time; the chain must not change while it is searched.
#pragma once

#include <cstddef>
#include <typeinfo>
#include <utility>

#include "qel/core/Node.h"
#include "qel/model/Representation.h"

namespace Qel::Detail {

// dynamic_cast from Node to Representation.
struct PlainRepresentationCast {
  Representation* operator()(Node* node) const { return dynamic_cast<Representation*>(node); }
};

// The answer of dynamic_cast from Node to Representation, remembered for a few dynamic types.
// A Representation reached from a Node is a cross-cast that costs a walk over the type's bases;
// where the Representation part lies is fixed by the dynamic type and the position of the Node
// part in the object, so a walk over many nodes of few types pays that walk once per type. The
// types seen must stay loaded while the object lives: keep it for one walk.
class RepresentationCast {
 public:
  Representation* operator()(Node* node) {
    if (node == nullptr) return nullptr;
    const std::type_info* type = &typeid(*node);
    char* const self = reinterpret_cast<char*>(node);
    const std::ptrdiff_t nodeOffset = self - static_cast<char*>(dynamic_cast<void*>(node));
    for (const Entry& e : m_entries) {
      if (e.type == type && e.nodeOffset == nodeOffset) {
        return e.isRepresentation ? reinterpret_cast<Representation*>(self + e.delta) : nullptr;
      }
    }
    Representation* found = dynamic_cast<Representation*>(node);
    Entry& slot = m_entries[m_next];
    m_next = (m_next + 1) % kEntries;
    slot.type = type;
    slot.nodeOffset = nodeOffset;
    slot.isRepresentation = found != nullptr;
    slot.delta = found != nullptr ? reinterpret_cast<char*>(found) - self : 0;
    return found;
  }

 private:
  struct Entry {
    const std::type_info* type = nullptr;
    std::ptrdiff_t nodeOffset = 0;
    std::ptrdiff_t delta = 0;
    bool isRepresentation = false;
  };
  static constexpr std::size_t kEntries = 4;
  Entry m_entries[kEntries];
  std::size_t m_next = 0;
};

// The first feature in the chain of `owner` that is a representation tagged `tag`, as node and
// representation; both null when there is none.
template <class Cast>
std::pair<Node*, Representation*> FindRepresentation(Node* owner, const Representation::RepTag& tag,
                                                     Cast&& cast) {
  for (Node* feature = owner->GetFeature(); feature != nullptr; feature = feature->GetFeature()) {
    Representation* representation = cast(feature);
    if (representation != nullptr && representation->GetTag() == tag) {
      return {feature, representation};
    }
  }
  return {nullptr, nullptr};
}

// Detaches `feature` from the chain of `owner`, keeping the rest of the chain attached in its
// order, and hands its reference to the caller; null (and no change) when it is not in the chain.
inline Node* DetachFeature(Node* owner, Node* feature) {
  if (feature == nullptr) return nullptr;
  Node* previous = owner;
  while (previous->GetFeature() != feature) {
    previous = previous->GetFeature();
    if (previous == nullptr) return nullptr;
  }
  previous->RemoveFeature();
  if (Node* rest = feature->RemoveFeature()) owner->AddFeature(rest);
  return feature;
}

}  // namespace Qel::Detail
