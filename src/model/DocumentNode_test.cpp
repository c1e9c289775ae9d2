// Tests of document trees: children, representations by tag, iterators, the pre-order walks of
// Visit, Save, Load and the traverser, teardown of very large trees, and counts changed from
// several threads.
#include "qel/model/DocumentNode.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <thread>

#include "model/ModelTestNodes.h"
#include "qel/core/Exceptions.h"
#include "qel/core/Iterator.h"
#include "qel/core/Visitor.h"
#include "qel/model/PreOrderTraverser.h"

namespace Qel {
namespace {

using ModelTest::g_liveTestNodes;
using ModelTest::LeafNode;
using ModelTest::TaggedFeature;

// A document node that logs its destruction and counts as a live test node.
class NamedDocument : public DocumentNode {
 public:
  static NamedDocument* Create(std::string name) {
    auto* d = new NamedDocument(std::move(name));
    d->AddRefCount();
    return d;
  }
  const std::string& Name() const { return m_name; }

 protected:
  ~NamedDocument() override {
    --g_liveTestNodes;
    if (ModelTest::g_destroyLog != nullptr) ModelTest::g_destroyLog->push_back(m_name);
  }

 private:
  explicit NamedDocument(std::string name) : m_name(std::move(name)) { ++g_liveTestNodes; }
  std::string m_name;
};

std::string NameOf(Node* n) {
  if (auto* d = dynamic_cast<NamedDocument*>(n)) return d->Name();
  if (auto* l = dynamic_cast<LeafNode*>(n)) return l->Name();
  if (auto* f = dynamic_cast<TaggedFeature*>(n)) return f->Name();
  return "?";
}

struct NameVisitor : Visitor {
  std::vector<std::string> seen;
  void DoVisit(Node* node) override { seen.push_back(NameOf(node)); }
};

// root
//   a
//     a1
//     leaf (not a document)
//     a2
//   b
//     b1
NamedDocument* BuildSampleTree(std::vector<std::string>* calls = nullptr) {
  NamedDocument* root = NamedDocument::Create("root");
  NamedDocument* a = NamedDocument::Create("a");
  NamedDocument* b = NamedDocument::Create("b");
  a->AddChild(NamedDocument::Create("a1"));
  a->AddChild(LeafNode::Create("leaf", calls));
  a->AddChild(NamedDocument::Create("a2"));
  b->AddChild(NamedDocument::Create("b1"));
  root->AddChild(a);
  root->AddChild(b);
  return root;
}

TEST(DocumentNodeTest, CreateRecordsParentWithoutAdopting) {
  DocumentNode* parent = DocumentNode::Create();
  EXPECT_EQ(parent->GetRefCount(), 1);
  EXPECT_EQ(parent->GetClassId(), 0u);
  EXPECT_EQ(parent->GetParentDocument(), nullptr);
  EXPECT_EQ(parent->GetLongTag(), 0);
  DocumentNode* child = DocumentNode::Create(7, parent);
  EXPECT_EQ(child->GetClassId(), 7u);
  EXPECT_EQ(child->GetParentDocument(), parent);
  EXPECT_EQ(parent->ChildCount(), 0u);
  EXPECT_EQ(child->GetComposite(), child);
  child->Release();
  parent->Release();
}

TEST(DocumentNodeTest, ChildrenAreAdoptedAndRemovedById) {
  const int before = g_liveTestNodes;
  DocumentNode* root = DocumentNode::Create();
  NamedDocument* a = NamedDocument::Create("a");
  LeafNode* leaf = LeafNode::Create("leaf");
  NamedDocument* b = NamedDocument::Create("b");
  root->AddChild(a);
  root->AddChild(leaf);
  root->AddChild(b);
  root->AddChild(nullptr);
  EXPECT_EQ(root->ChildCount(), 3u) << "a child of another node type counts as well";
  EXPECT_EQ(a->GetParentDocument(), root);
  EXPECT_EQ(a->GetRefCount(), 1) << "adopting takes no reference";
  EXPECT_THROW(root->AddChild(root), BaseException);

  EXPECT_EQ(root->RemoveChild(root->GetId()), nullptr);
  EXPECT_EQ(root->ChildCount(), 3u);

  EXPECT_EQ(root->RemoveChild(leaf->GetId()), leaf);
  EXPECT_EQ(leaf->GetRefCount(), 1) << "the reference goes back to the caller";
  std::vector<std::string> order;
  VectorIterator it = root->GetVectorIterator();
  for (it.Start(); !it.Done(); it.Next()) order.push_back(NameOf(it.Current()));
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b"}));

  leaf->Release();
  root->Release();
  EXPECT_EQ(g_liveTestNodes, before);
}

TEST(DocumentNodeTest, RepresentationsByTag) {
  const int before = g_liveTestNodes;
  DocumentNode* doc = DocumentNode::Create();
  EXPECT_EQ(doc->GetRepresentation(SetRepTag("Vect")), nullptr);
  EXPECT_EQ(doc->RemoveRepresentation(SetRepTag("Vect")), nullptr);

  TaggedFeature* first = TaggedFeature::Create("Vect", "first");
  TaggedFeature* middle = TaggedFeature::Create("Mid1", "middle");
  TaggedFeature* twin = TaggedFeature::Create("Vect", "twin");
  LeafNode* plain = LeafNode::Create("plain");
  EXPECT_TRUE(doc->AddRepresentation(first));
  EXPECT_TRUE(doc->AddRepresentation(middle));
  EXPECT_TRUE(doc->AddRepresentation(twin));
  EXPECT_FALSE(doc->AddRepresentation(plain)) << "not a representation";
  EXPECT_FALSE(doc->AddRepresentation(nullptr));
  EXPECT_EQ(plain->GetRefCount(), 1);
  plain->Release();

  EXPECT_EQ(doc->GetRepresentation(SetRepTag("Vect")), static_cast<Representation*>(first))
      << "the first of equal tags wins";
  EXPECT_EQ(doc->GetRepresentation(SetRepTag("Mid1")), static_cast<Representation*>(middle));
  EXPECT_EQ(doc->GetRepresentation(SetRepTag("None")), nullptr);

  // Removing the middle one keeps the others attached in their order.
  EXPECT_EQ(doc->RemoveRepresentation(SetRepTag("Mid1")), middle);
  EXPECT_EQ(middle->GetFeature(), nullptr);
  EXPECT_EQ(middle->GetRefCount(), 1);
  EXPECT_EQ(doc->GetFeature(), first);
  EXPECT_EQ(first->GetFeature(), twin);
  EXPECT_EQ(twin->GetFeature(), nullptr);
  middle->Release();

  // Removing the head: the rest moves up.
  EXPECT_EQ(doc->RemoveRepresentation(SetRepTag("Vect")), first);
  EXPECT_EQ(doc->GetFeature(), twin);
  EXPECT_EQ(doc->GetRepresentation(SetRepTag("Vect")), static_cast<Representation*>(twin));
  first->Release();

  doc->Release();
  EXPECT_EQ(g_liveTestNodes, before);
}

TEST(DocumentNodeTest, VectorIteratorProtocolAndCopies) {
  NamedDocument* root = BuildSampleTree();
  Iterator* it = root->CreateIterator();
  ASSERT_NE(it, nullptr);
  std::vector<std::string> names;
  for (it->Start(); !it->Done(); it->Next()) names.push_back(NameOf(it->Current()));
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
  it->Start();
  EXPECT_EQ(NameOf(it->Current()), "a") << "Start goes back to the first element";
  it->Release();

  VectorIterator walked = root->GetVectorIterator();
  walked.Next();
  EXPECT_EQ(NameOf(walked.Current()), "b");
  VectorIterator copy(walked);
  EXPECT_EQ(NameOf(copy.Current()), "a") << "a copy starts at the first element";
  copy.Next();
  copy.Next();
  EXPECT_TRUE(copy.Done());
  copy = walked;
  EXPECT_EQ(NameOf(copy.Current()), "a");

  std::vector<Node*> empty;
  VectorIterator* none = VectorIterator::Create(empty);
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(none->Done());
  none->Release();
  root->Release();
}

TEST(DocumentNodeTest, VisitIsPreOrderOverAllChildren) {
  NamedDocument* root = BuildSampleTree();
  NameVisitor v;
  root->Visit(&v);
  EXPECT_EQ(v.seen, (std::vector<std::string>{"root", "a", "a1", "leaf", "a2", "b", "b1"}));
  root->Release();
}

// A visitor that, at one node, visits a second tree from inside DoVisit.
struct NestingVisitor : Visitor {
  Node* trigger = nullptr;
  Node* other = nullptr;
  Visitor* otherVisitor = nullptr;
  std::vector<std::string> seen;
  void DoVisit(Node* node) override {
    seen.push_back(NameOf(node));
    if (node == trigger) other->Visit(otherVisitor != nullptr ? otherVisitor : this);
  }
};

TEST(DocumentNodeTest, VisitsStartedInsideDoVisitRunToTheEndFirst) {
  NamedDocument* first = BuildSampleTree();
  NamedDocument* second = NamedDocument::Create("x");
  second->AddChild(NamedDocument::Create("x1"));
  auto* a = static_cast<NamedDocument*>(first->GetVectorIterator().Current());

  // The same visitor: the second tree's walk is complete before a's children.
  NestingVisitor same;
  same.trigger = a;
  same.other = second;
  first->Visit(&same);
  EXPECT_EQ(same.seen,
            (std::vector<std::string>{"root", "a", "x", "x1", "a1", "leaf", "a2", "b", "b1"}));

  // A visitor re-entering the subtree it is standing on sees that subtree twice, in order.
  NestingVisitor reentering;
  reentering.trigger = a;
  reentering.other = a;
  NameVisitor inner;
  reentering.otherVisitor = &inner;
  first->Visit(&reentering);
  EXPECT_EQ(inner.seen, (std::vector<std::string>{"a", "a1", "leaf", "a2"}));
  EXPECT_EQ(reentering.seen,
            (std::vector<std::string>{"root", "a", "a1", "leaf", "a2", "b", "b1"}));
  first->Release();
  second->Release();
}

struct ThrowingVisitor : Visitor {
  int left;
  explicit ThrowingVisitor(int n) : left(n) {}
  void DoVisit(Node*) override {
    if (--left == 0) throw std::runtime_error("stop");
  }
};

TEST(DocumentNodeTest, VisitUnwindsCleanlyWhenTheVisitorThrows) {
  NamedDocument* root = BuildSampleTree();
  ThrowingVisitor thrower(4);
  EXPECT_THROW(root->Visit(&thrower), std::runtime_error);
  // The next walk is not confused by the aborted one.
  NameVisitor v;
  root->Visit(&v);
  EXPECT_EQ(v.seen.size(), 7u);
  root->Release();
}

TEST(DocumentNodeTest, SaveAndLoadWalkTheChildrenAndStopAtTheFirstFailure) {
  std::vector<std::string> calls;
  NamedDocument* root = BuildSampleTree(&calls);
  root->AddChild(LeafNode::Create("last", &calls));
  std::ostringstream out;
  std::istringstream in;
  EXPECT_TRUE(root->Save(&out));
  EXPECT_EQ(calls, (std::vector<std::string>{"save leaf", "save last"}));
  calls.clear();
  EXPECT_TRUE(root->Load(&in));
  EXPECT_EQ(calls, (std::vector<std::string>{"load leaf", "load last"}));

  // A failure deep in the first subtree ends the whole walk.
  auto* a = static_cast<NamedDocument*>(root->GetVectorIterator().Current());
  a->AddChild(LeafNode::Create("broken", &calls, false));
  a->AddChild(LeafNode::Create("after", &calls));
  calls.clear();
  EXPECT_FALSE(root->Save(&out));
  EXPECT_EQ(calls, (std::vector<std::string>{"save leaf", "save broken"}));
  calls.clear();
  EXPECT_FALSE(root->Load(&in));
  EXPECT_EQ(calls, (std::vector<std::string>{"load leaf", "load broken"}));
  root->Release();
}

TEST(PreOrderTraverserTest, WalksDocumentsInPreOrder) {
  auto* none = PreOrderTraverser<DocumentNode>::Create(nullptr);
  EXPECT_TRUE(none->Done());
  EXPECT_EQ(none->Next(), nullptr);
  none->Release();

  DocumentNode* single = DocumentNode::Create();
  auto* once = PreOrderTraverser<DocumentNode>::Create(single);
  EXPECT_FALSE(once->Done());
  EXPECT_EQ(once->Next(), single);
  EXPECT_TRUE(once->Done());
  EXPECT_EQ(once->Next(), nullptr);
  once->Release();
  single->Release();

  NamedDocument* root = BuildSampleTree();
  auto* t = PreOrderTraverser<DocumentNode>::Create(root);
  std::vector<std::string> names;
  while (!t->Done()) names.push_back(NameOf(t->Next()));
  t->Release();
  EXPECT_EQ(names, (std::vector<std::string>{"root", "a", "a1", "a2", "b", "b1"}))
      << "children that are not documents are skipped";
  root->Release();
}

TEST(DocumentNodeTest, TeardownReleasesChildrenThenFeaturesInOrder) {
  std::vector<std::string> log;
  ModelTest::g_destroyLog = &log;
  NamedDocument* root = BuildSampleTree();
  root->AddRepresentation(TaggedFeature::Create("Rep1", "rep1"));
  root->AddRepresentation(TaggedFeature::Create("Rep2", "rep2"));
  auto* a = static_cast<NamedDocument*>(root->GetVectorIterator().Current());
  a->AddRepresentation(TaggedFeature::Create("Rep1", "arep"));
  root->Release();
  ModelTest::g_destroyLog = nullptr;
  EXPECT_EQ(log, (std::vector<std::string>{"root", "a", "a1", "leaf", "a2", "arep", "b", "b1",
                                           "rep1", "rep2"}));
}

TEST(DocumentNodeTest, SharedChildOutlivesTheTree) {
  const int before = g_liveTestNodes;
  NamedDocument* root = BuildSampleTree();
  auto* a = static_cast<NamedDocument*>(root->GetVectorIterator().Current());
  a->AddRefCount();
  root->Release();
  EXPECT_EQ(g_liveTestNodes, before + 4) << "a keeps its own subtree alive";
  NameVisitor v;
  a->Visit(&v);
  EXPECT_EQ(v.seen, (std::vector<std::string>{"a", "a1", "leaf", "a2"}));
  a->Release();
  EXPECT_EQ(g_liveTestNodes, before);
}

constexpr int kMillion = 1'000'000;

struct CountVisitor : Visitor {
  long count = 0;
  void DoVisit(Node*) override { ++count; }
};

// Walks a tree in every way, then releases it; every node must be gone afterwards.
void WalkEverythingAndRelease(DocumentNode* root, long expectedNodes, int liveBefore) {
  CountVisitor v;
  root->Visit(&v);
  EXPECT_EQ(v.count, expectedNodes);

  long traversed = 0;
  auto* t = PreOrderTraverser<DocumentNode>::Create(root);
  while (!t->Done()) {
    ASSERT_NE(t->Next(), nullptr);
    ++traversed;
  }
  t->Release();
  EXPECT_EQ(traversed, expectedNodes);

  // Iterators by hand, with an explicit stack, counting representations on the way.
  long reps = 0;
  long iterated = 1;
  std::vector<Iterator*> stack{root->CreateIterator()};
  stack.back()->Start();
  if (root->GetRepresentation(SetRepTag("Feat")) != nullptr) ++reps;
  while (!stack.empty()) {
    Iterator* it = stack.back();
    if (it->Done()) {
      it->Release();
      stack.pop_back();
      continue;
    }
    auto* doc = static_cast<DocumentNode*>(it->Current());
    it->Next();
    ++iterated;
    if (doc->GetRepresentation(SetRepTag("Feat")) != nullptr) ++reps;
    if (doc->ChildCount() > 0) {
      stack.push_back(doc->CreateIterator());
      stack.back()->Start();
    }
  }
  EXPECT_EQ(iterated, expectedNodes);
  EXPECT_EQ(reps, expectedNodes);

  std::ostringstream out;
  EXPECT_TRUE(root->Save(&out));
  root->Release();
  EXPECT_EQ(g_liveTestNodes, liveBefore);
}

TEST(DocumentNodeLargeTest, MillionLevelsDeep) {
  const int before = g_liveTestNodes;
  DocumentNode* root = DocumentNode::Create();
  root->AddRepresentation(TaggedFeature::Create("Feat"));
  DocumentNode* tip = root;
  for (int i = 1; i < kMillion; ++i) {
    DocumentNode* next = DocumentNode::Create(static_cast<std::uint32_t>(i), nullptr);
    next->AddRepresentation(TaggedFeature::Create("Feat"));
    tip->AddChild(next);
    tip = next;
  }
  EXPECT_EQ(tip->GetClassId(), static_cast<std::uint32_t>(kMillion - 1));
  WalkEverythingAndRelease(root, kMillion, before);
}

TEST(DocumentNodeLargeTest, MillionNodesWide) {
  const int before = g_liveTestNodes;
  DocumentNode* root = DocumentNode::Create();
  root->AddRepresentation(TaggedFeature::Create("Feat"));
  long count = 1;
  for (int i = 0; i < 999; ++i) {
    DocumentNode* inner = DocumentNode::Create();
    inner->AddRepresentation(TaggedFeature::Create("Feat"));
    ++count;
    for (int j = 0; j < 1000 && count < kMillion; ++j, ++count) {
      DocumentNode* leaf = DocumentNode::Create();
      leaf->AddRepresentation(TaggedFeature::Create("Feat"));
      inner->AddChild(leaf);
    }
    root->AddChild(inner);
  }
  ASSERT_EQ(count, kMillion);
  WalkEverythingAndRelease(root, kMillion, before);
}

// References taken and dropped from several threads at once; the last release deletes the tree
// exactly once, whichever thread it falls to.
TEST(ModelConcurrency, ReferencesTakenAndDroppedFromSeveralThreads) {
  const int before = g_liveTestNodes;
  constexpr int kThreads = 4;
  constexpr int kRounds = 20'000;
  NamedDocument* root = NamedDocument::Create("root");
  std::vector<NamedDocument*> children;
  for (int i = 0; i < 8; ++i) {
    children.push_back(NamedDocument::Create("c"));
    children.back()->AddRepresentation(TaggedFeature::Create("Feat"));
    root->AddChild(children.back());
  }
  // Every thread holds one reference on the root and drops it when done.
  for (int t = 0; t < kThreads; ++t) root->AddRefCount();
  root->Release();

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        NamedDocument* c = children[static_cast<std::size_t>((r + t) % 8)];
        c->AddRefCount();
        root->AddRefCount();
        c->Release();
        root->Release();
      }
      root->Release();
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(g_liveTestNodes, before);
}

// Each thread builds, walks and releases its own tree while sharing one representation node,
// so the flat teardown of one thread never sees another thread's pending releases.
TEST(ModelConcurrency, TreesTornDownOnSeveralThreadsShareFeatures) {
  const int before = g_liveTestNodes;
  constexpr int kThreads = 4;
  TaggedFeature* shared = TaggedFeature::Create("Shrd");
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([shared] {
      for (int round = 0; round < 20; ++round) {
        DocumentNode* root = DocumentNode::Create();
        DocumentNode* tip = root;
        for (int i = 0; i < 500; ++i) {
          DocumentNode* next = DocumentNode::Create();
          LeafNode* holder = LeafNode::Create("holder");
          shared->AddRefCount();
          holder->AddFeature(shared);  // no chain of its own behind `shared`
          next->AddChild(holder);
          tip->AddChild(next);
          tip = next;
        }
        root->Release();
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(shared->GetRefCount(), 1);
  shared->Release();
  EXPECT_EQ(g_liveTestNodes, before);
}

}  // namespace
}  // namespace Qel
