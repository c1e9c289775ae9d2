// Tests of reference counting, feature chains, composites, representations and tags.
#include "qel/core/Node.h"

#include <gtest/gtest.h>

#include <sstream>

#include "model/ModelTestNodes.h"
#include "qel/core/Composite.h"
#include "qel/core/Exceptions.h"
#include "qel/core/Visitor.h"
#include "qel/model/Cache.h"
#include "qel/model/Representation.h"

namespace Qel {
namespace {

using ModelTest::g_liveTestNodes;
using ModelTest::LeafNode;
using ModelTest::TaggedFeature;

struct CountingVisitor : Visitor {
  std::vector<Node*> seen;
  void DoVisit(Node* node) override { seen.push_back(node); }
};

TEST(RefCounterTest, CountStartsAtZeroAndReleaseAtZeroDeletes) {
  const int before = g_liveTestNodes;
  LeafNode* node = LeafNode::Create("n");  // count 1
  EXPECT_EQ(node->GetRefCount(), 1);
  EXPECT_EQ(node->AddRefCount(), 2);
  EXPECT_EQ(node->Release(), 1);
  EXPECT_EQ(g_liveTestNodes, before + 1);
  EXPECT_EQ(node->Release(), 0);
  EXPECT_EQ(g_liveTestNodes, before);

  // A node never referenced is deleted by a release from 0 as well.
  Node* fresh = new Node();
  EXPECT_EQ(fresh->GetRefCount(), 0);
  EXPECT_EQ(fresh->Release(), -1);
}

TEST(NodeTest, DefaultsOfAPlainNode) {
  Node* node = new Node();
  node->AddRefCount();
  EXPECT_EQ(node->GetComposite(), nullptr);
  EXPECT_EQ(node->GetFeature(), nullptr);
  EXPECT_EQ(node->RemoveFeature(), nullptr);
  EXPECT_EQ(node->FeatureCount(), 0u);
  std::ostringstream out;
  std::istringstream in("unread");
  EXPECT_TRUE(node->Save(&out));
  EXPECT_TRUE(out.str().empty());
  EXPECT_TRUE(node->Load(&in));
  EXPECT_EQ(in.tellg(), 0);
  EXPECT_EQ(node->GetId(), reinterpret_cast<std::uintptr_t>(node));
  CountingVisitor v;
  node->Visit(&v);
  ASSERT_EQ(v.seen.size(), 1u);
  EXPECT_EQ(v.seen[0], node);
  node->Release();
}

TEST(NodeTest, FeaturesAppendAtTheEndOfTheChain) {
  const int before = g_liveTestNodes;
  LeafNode* owner = LeafNode::Create("owner");
  TaggedFeature* a = TaggedFeature::Create("Aaaa");
  TaggedFeature* b = TaggedFeature::Create("Bbbb");
  TaggedFeature* c = TaggedFeature::Create("Cccc");
  owner->AddFeature(a);
  owner->AddFeature(b);
  owner->AddFeature(c);
  owner->AddFeature(nullptr);
  EXPECT_EQ(owner->GetFeature(), a);
  EXPECT_EQ(a->GetFeature(), b);
  EXPECT_EQ(b->GetFeature(), c);
  EXPECT_EQ(c->GetFeature(), nullptr);
  EXPECT_EQ(owner->FeatureCount(), 1u) << "only the direct feature counts";
  EXPECT_EQ(a->GetRefCount(), 1) << "adopting takes no reference";

  // Detaching hands back the reference; the rest of the chain stays on the detached node.
  Node* detached = owner->RemoveFeature();
  EXPECT_EQ(detached, a);
  EXPECT_EQ(owner->GetFeature(), nullptr);
  EXPECT_EQ(a->GetFeature(), b);
  EXPECT_EQ(a->GetRefCount(), 1);

  owner->Release();
  EXPECT_EQ(g_liveTestNodes, before + 3);
  detached->Release();  // releases b and c through the chain
  EXPECT_EQ(g_liveTestNodes, before);
}

TEST(NodeTest, AddFeatureRefusesLoops) {
  LeafNode* a = LeafNode::Create("a");
  LeafNode* b = LeafNode::Create("b");
  a->AddFeature(b);
  for (Node* loop : {static_cast<Node*>(a), static_cast<Node*>(b)}) {
    try {
      a->AddFeature(loop);
      ADD_FAILURE() << "a loop in the feature chain was accepted";
    } catch (const BaseException& e) {
      EXPECT_EQ(e.GetErrorId(), 1);
    }
  }
  // b carrying a would close a loop through a's chain.
  EXPECT_THROW(b->AddFeature(a), BaseException);
  EXPECT_EQ(a->GetFeature(), b);
  EXPECT_EQ(b->GetFeature(), nullptr);
  a->Release();
}

TEST(NodeTest, LongFeatureChainIsReleasedWithoutRecursion) {
  const int before = g_liveTestNodes;
  LeafNode* head = LeafNode::Create("head");
  Node* tail = head;
  for (int i = 0; i < 1'000'000; ++i) {
    LeafNode* next = LeafNode::Create("f");
    tail->AddFeature(next);  // tail has no feature, so this is constant time
    tail = next;
  }
  EXPECT_EQ(g_liveTestNodes, before + 1'000'001);
  head->Release();
  EXPECT_EQ(g_liveTestNodes, before);
}

TEST(CompositeTest, BaseCompositeDefaults) {
  Composite* c = new Composite();
  c->AddRefCount();
  EXPECT_EQ(c->GetComposite(), c);
  EXPECT_EQ(c->ChildCount(), 0u);
  EXPECT_EQ(c->CreateIterator(), nullptr);
  EXPECT_EQ(c->RemoveChild(c->GetId()), nullptr);
  std::ostringstream out;
  std::istringstream in;
  EXPECT_TRUE(c->Save(&out)) << "no iterator: nothing to save, success";
  EXPECT_TRUE(c->Load(&in));
  CountingVisitor v;
  c->Visit(&v);
  EXPECT_EQ(v.seen, std::vector<Node*>{c});
  c->Release();
}

TEST(RepresentationTest, TagsAndNames) {
  EXPECT_EQ(Representation::DefaultTag.id, 0x746C6644);
  EXPECT_EQ(Representation::DefaultTag.GetName(), "Dflt");
  EXPECT_EQ(SetRepTag("Fres").id, 0x73657246);
  EXPECT_EQ(SetRepTag("Sres").id, 0x73657253);
  EXPECT_EQ(SetRepTag("Emtx").id, 0x78746D45);
  EXPECT_EQ(SetRepTag("Dflt"), Representation::DefaultTag);
  EXPECT_EQ(SetRepTag("Abc"), Representation::DefaultTag);
  EXPECT_EQ(SetRepTag("Abcde"), Representation::DefaultTag);
  EXPECT_EQ(SetRepTag(""), Representation::DefaultTag);
  // Any four bytes make a tag, the high bit included.
  EXPECT_EQ(SetRepTag("\xff\xff\xff\xff").id, -1);
  EXPECT_EQ(SetRepTag(std::string("A\0\0\0", 4)).id, 0x41);

  Representation r;
  EXPECT_EQ(r.GetTag(), Representation::DefaultTag);
  r.SetTagId(0x41);
  EXPECT_EQ(r.GetTagName(), "A") << "the name stops at the first zero byte";
  r.SetTagId(0x00420041);
  EXPECT_EQ(r.GetTagName(), "A");
  r.SetTagName("Wxyz");
  EXPECT_EQ(r.GetTagName(), "Wxyz");
  EXPECT_EQ(r.GetTagId(), SetRepTag("Wxyz").id);
  r.SetTagName("toolong");
  EXPECT_EQ(r.GetTag(), Representation::DefaultTag);
}

TEST(RepresentationTest, BaseDefaults) {
  Representation r;
  Representation other(SetRepTag("Oth1"));
  r.add(other);
  r.sub(other);
  std::ostringstream out;
  std::istringstream in;
  EXPECT_EQ((std::vector<double>{r.dot(other), r.dist(other), r.GetMinimum(), r.GetMaximum()}),
            (std::vector<double>{0.0, 0.0, 1.0, 1.0}));
  EXPECT_EQ((std::vector<bool>{r.IsValid(), r.Save(&out), r.Load(&in)}),
            std::vector<bool>(3, false));
  EXPECT_EQ(r.GetTag(), Representation::DefaultTag);
}

class TestCache : public Cache {
 public:
  explicit TestCache(bool* destroyed) : m_destroyed(destroyed) {}
  ~TestCache() override { *m_destroyed = true; }
  bool DeleteItem(std::uint32_t) override { return true; }

 private:
  bool* m_destroyed;
};

TEST(CacheTest, DefaultsAndOwnCount) {
  bool destroyed = false;
  Cache* cache = new TestCache(&destroyed);
  EXPECT_EQ(cache->GetRefCount(), 0);
  EXPECT_EQ(cache->AddRefCount(), 1);
  // Open, Close, Flush, DeleteFiles, GetModified, Load, ItemExists and Save by id and by name.
  EXPECT_EQ(
      (std::vector<bool>{
          cache->Open(), cache->Close(), cache->Flush(), cache->DeleteFiles(), cache->GetModified(),
          cache->Load(1u, nullptr), cache->Load(u"name", nullptr), cache->ItemExists(1u),
          cache->ItemExists(u"name"), cache->Save(1u, nullptr), cache->Save(u"name", nullptr)}),
      std::vector<bool>(11, false));
  EXPECT_EQ(cache->GetStringHash(u"name"), 0u);
  EXPECT_EQ(cache->GetDocumentCount(), 0);
  EXPECT_EQ(cache->Release(), 0);
  EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace Qel
