// Tests of the remembering Node-to-Representation cast: it must give dynamic_cast's answer for
// every node, whatever types it has seen before and in whatever order.
#include "model/FeatureChain.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "model/ModelTestNodes.h"

namespace Qel {
namespace {

using ModelTest::LeafNode;
using ModelTest::TaggedFeature;

// The Representation part first, so that the Node part lies behind it.
class RepresentationFirst : public Representation, public Node {
 public:
  RepresentationFirst() : Representation(SetRepTag("RFst")) {}
  ~RepresentationFirst() override = default;
};

struct LeftNode : Node {
  ~LeftNode() override = default;
};
struct RightNode : Node {
  ~RightNode() override = default;
};
// Two Node parts: reached from either, the one Representation part is found.
class TwoNodes : public LeftNode, public RightNode, public Representation {
 public:
  ~TwoNodes() override = default;
};

struct Destroy {
  void operator()(RefCounter* r) const { r->Release(); }
};

TEST(RepresentationCastTest, AgreesWithDynamicCastAcrossTypesAndNodeParts) {
  auto* first = new RepresentationFirst;
  first->AddRefCount();
  auto* twice = new TwoNodes;
  static_cast<LeftNode*>(twice)->AddRefCount();
  std::unique_ptr<RefCounter, Destroy> owned[] = {
      std::unique_ptr<RefCounter, Destroy>(TaggedFeature::Create("Tagd")),
      std::unique_ptr<RefCounter, Destroy>(TaggedFeature::Create("Othr")),
      std::unique_ptr<RefCounter, Destroy>(LeafNode::Create("leaf")),
      std::unique_ptr<RefCounter, Destroy>(static_cast<Node*>(first)),
  };
  std::vector<Node*> nodes;
  for (auto& o : owned) nodes.push_back(dynamic_cast<Node*>(o.get()));
  nodes.push_back(static_cast<LeftNode*>(twice));
  nodes.push_back(static_cast<RightNode*>(twice));

  // More types than the cast remembers, twice over, so that both hits and evictions are met.
  Detail::RepresentationCast cast;
  for (int round = 0; round < 3; ++round) {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      EXPECT_EQ(cast(nodes[i]), dynamic_cast<Representation*>(nodes[i]))
          << "round " << round << ", node " << i;
    }
  }
  EXPECT_EQ(cast(nodes[4]), static_cast<Representation*>(twice));
  EXPECT_EQ(cast(nodes[5]), static_cast<Representation*>(twice));
  EXPECT_EQ(cast(nullptr), nullptr);
  static_cast<LeftNode*>(twice)->Release();
}

}  // namespace
}  // namespace Qel
