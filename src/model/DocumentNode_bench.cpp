// Building, walking and releasing a document tree of one million nodes, each carrying one
// representation, reported per node; beside it a plain tree of owned structs as the baseline.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "qel/core/Iterator.h"
#include "qel/core/Visitor.h"
#include "qel/model/DocumentNode.h"
#include "qel/model/PreOrderTraverser.h"

namespace {

using Qel::DocumentNode;
using Qel::Node;

constexpr int kFolders = 1000;
constexpr int kDocumentsPerFolder = 999;
// The root, the folders and their documents.
constexpr long kNodes = 1 + kFolders + static_cast<long>(kFolders) * kDocumentsPerFolder;

const Qel::Representation::RepTag kVectorTag = Qel::SetRepTag("Vect");

class VectorRepresentation : public Node, public Qel::Representation {
 public:
  static VectorRepresentation* Create(double value) {
    auto* r = new VectorRepresentation(value);
    r->AddRefCount();
    return r;
  }
  double dot(const Representation& other) const override {
    const auto* v = dynamic_cast<const VectorRepresentation*>(&other);
    return v != nullptr ? m_value * v->m_value : 0.0;
  }

 private:
  explicit VectorRepresentation(double value) : Representation(kVectorTag), m_value(value) {}
  double m_value;
};

DocumentNode* BuildTree() {
  DocumentNode* root = DocumentNode::Create();
  root->AddRepresentation(VectorRepresentation::Create(1.0));
  for (int f = 0; f < kFolders; ++f) {
    DocumentNode* folder = DocumentNode::Create(static_cast<std::uint32_t>(f), nullptr);
    folder->AddRepresentation(VectorRepresentation::Create(f));
    for (int d = 0; d < kDocumentsPerFolder; ++d) {
      DocumentNode* doc = DocumentNode::Create(static_cast<std::uint32_t>(f), nullptr);
      doc->AddRepresentation(VectorRepresentation::Create(d));
      folder->AddChild(doc);
    }
    root->AddChild(folder);
  }
  return root;
}

DocumentNode* BuildChain() {
  DocumentNode* root = DocumentNode::Create();
  DocumentNode* tip = root;
  for (long i = 1; i < kNodes; ++i) {
    DocumentNode* next = DocumentNode::Create();
    next->AddRepresentation(VectorRepresentation::Create(1.0));
    tip->AddChild(next);
    tip = next;
  }
  return root;
}

struct CountingVisitor : Qel::Visitor {
  long count = 0;
  void DoVisit(Node*) override { ++count; }
};

void BM_DocumentTreeBuild(benchmark::State& state) {
  for (auto _ : state) {
    DocumentNode* root = BuildTree();
    state.PauseTiming();
    root->Release();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_DocumentTreeBuild)->Unit(benchmark::kMillisecond);

void BM_DocumentTreeRelease(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    DocumentNode* root = BuildTree();
    state.ResumeTiming();
    root->Release();
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_DocumentTreeRelease)->Unit(benchmark::kMillisecond);

void BM_DocumentTreeVisit(benchmark::State& state) {
  DocumentNode* root = BuildTree();
  long visited = 0;
  for (auto _ : state) {
    CountingVisitor v;
    root->Visit(&v);
    visited = v.count;
  }
  root->Release();
  if (visited != kNodes) state.SkipWithError("wrong node count");
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_DocumentTreeVisit)->Unit(benchmark::kMillisecond);

void BM_DocumentTreeTraverser(benchmark::State& state) {
  DocumentNode* root = BuildTree();
  long visited = 0;
  for (auto _ : state) {
    visited = 0;
    auto* t = Qel::PreOrderTraverser<DocumentNode>::Create(root);
    while (!t->Done()) {
      benchmark::DoNotOptimize(t->Next());
      ++visited;
    }
    t->Release();
  }
  root->Release();
  if (visited != kNodes) state.SkipWithError("wrong node count");
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_DocumentTreeTraverser)->Unit(benchmark::kMillisecond);

// Iterators by hand, the way the library's algorithms walk a tree, scoring every document's
// representation against the root's.
void BM_DocumentTreeIteratorsWithRepresentations(benchmark::State& state) {
  DocumentNode* root = BuildTree();
  const Qel::Representation* model = root->GetRepresentation(kVectorTag);
  double sum = 0;
  long visited = 0;
  for (auto _ : state) {
    sum = 0;
    visited = 1;
    std::vector<Qel::Iterator*> stack{root->CreateIterator()};
    stack.back()->Start();
    while (!stack.empty()) {
      Qel::Iterator* it = stack.back();
      if (it->Done()) {
        it->Release();
        stack.pop_back();
        continue;
      }
      auto* doc = static_cast<DocumentNode*>(it->Current());
      it->Next();
      ++visited;
      sum += doc->GetRepresentation(kVectorTag)->dot(*model);
      if (doc->ChildCount() > 0) {
        stack.push_back(doc->CreateIterator());
        stack.back()->Start();
      }
    }
  }
  root->Release();
  if (visited != kNodes || sum <= 0) state.SkipWithError("wrong walk");
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_DocumentTreeIteratorsWithRepresentations)->Unit(benchmark::kMillisecond);

// A tree one million levels deep: built, visited and released.
void BM_DocumentChainBuildVisitRelease(benchmark::State& state) {
  long visited = 0;
  for (auto _ : state) {
    DocumentNode* root = BuildChain();
    CountingVisitor v;
    root->Visit(&v);
    visited = v.count;
    root->Release();
  }
  if (visited != kNodes) state.SkipWithError("wrong node count");
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_DocumentChainBuildVisitRelease)->Unit(benchmark::kMillisecond);

// Baseline: the same shape as owned structs with a vector of children and one heap-allocated
// value each, built, walked recursively and destroyed.
struct PlainNode {
  std::uint32_t classId = 0;
  std::unique_ptr<double> value;
  std::vector<std::unique_ptr<PlainNode>> children;
};

std::unique_ptr<PlainNode> BuildPlainTree() {
  auto root = std::make_unique<PlainNode>();
  root->value = std::make_unique<double>(1.0);
  for (int f = 0; f < kFolders; ++f) {
    auto folder = std::make_unique<PlainNode>();
    folder->classId = static_cast<std::uint32_t>(f);
    folder->value = std::make_unique<double>(f);
    for (int d = 0; d < kDocumentsPerFolder; ++d) {
      auto doc = std::make_unique<PlainNode>();
      doc->classId = static_cast<std::uint32_t>(f);
      doc->value = std::make_unique<double>(d);
      folder->children.push_back(std::move(doc));
    }
    root->children.push_back(std::move(folder));
  }
  return root;
}

void BM_PlainTreeBuild(benchmark::State& state) {
  for (auto _ : state) {
    auto root = BuildPlainTree();
    benchmark::DoNotOptimize(root.get());
    state.PauseTiming();
    root.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_PlainTreeBuild)->Unit(benchmark::kMillisecond);

void BM_PlainTreeRelease(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto root = BuildPlainTree();
    state.ResumeTiming();
    root.reset();
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_PlainTreeRelease)->Unit(benchmark::kMillisecond);

double WalkPlain(const PlainNode& node, double model, long& visited) {
  ++visited;
  double sum = *node.value * model;
  for (const auto& child : node.children) sum += WalkPlain(*child, model, visited);
  return sum;
}

void BM_PlainTreeWalk(benchmark::State& state) {
  auto root = BuildPlainTree();
  long visited = 0;
  double sum = 0;
  for (auto _ : state) {
    visited = 0;
    sum = WalkPlain(*root, *root->value, visited);
    benchmark::DoNotOptimize(sum);
  }
  if (visited != kNodes || sum <= 0) state.SkipWithError("wrong walk");
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_PlainTreeWalk)->Unit(benchmark::kMillisecond);

}  // namespace
