// Composite defaults and the subtree walks of Visit, Save and Load.
//
// The walks keep an explicit stack of child iterators instead of recursing, so that a tree a
// million levels deep does not exhaust the thread's stack. Each child is still handed its own
// virtual Visit/Save/Load; when that call reaches Composite's version for the very child the walk
// is handing it to, the child's iterator joins the running walk instead of starting a nested one.
#include "qel/core/Composite.h"

#include <vector>

#include "qel/core/Iterator.h"
#include "qel/core/Visitor.h"

namespace Qel {

namespace {

enum class WalkKind { Visit, Save, Load };

struct Walk {
  WalkKind kind;
  const void* argument;           // the visitor or the stream
  Composite* handedTo = nullptr;  // the child whose call is in progress
  std::vector<Iterator*> stack;

  Walk(WalkKind k, const void* a) : kind(k), argument(a) {}
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;
  ~Walk() {
    for (Iterator* it : stack) it->Release();
  }
};

thread_local Walk* t_activeWalk = nullptr;

// The running walk when `self` is the child it is handing this very call to; null otherwise.
Walk* ClaimWalk(Composite* self, WalkKind kind, const void* argument) {
  Walk* walk = t_activeWalk;
  if (walk == nullptr || walk->handedTo != self || walk->kind != kind ||
      walk->argument != argument) {
    return nullptr;
  }
  walk->handedTo = nullptr;
  return walk;
}

void Push(Walk& walk, Iterator* it) {
  try {
    walk.stack.push_back(it);
  } catch (...) {
    it->Release();
    throw;
  }
}

// Runs `step` on every node below the iterator `root`, in pre-order. Stops and returns false at
// the first step that does.
template <class Step>
bool RunWalk(Iterator* root, WalkKind kind, const void* argument, Step step) {
  Walk walk(kind, argument);
  Push(walk, root);
  struct Restore {
    Walk* saved;
    ~Restore() { t_activeWalk = saved; }
  } restore{t_activeWalk};
  t_activeWalk = &walk;

  while (!walk.stack.empty()) {
    Iterator* top = walk.stack.back();
    if (top->Done()) {
      walk.stack.pop_back();
      top->Release();
      continue;
    }
    Node* child = top->Current();
    if (child != nullptr) {
      walk.handedTo = child->GetComposite();
      const bool ok = step(child);
      walk.handedTo = nullptr;
      if (!ok) return false;
    }
    top->Next();
  }
  return true;
}

}  // namespace

void Composite::AddChild(Node* /*child*/) {}

Node* Composite::RemoveChild(std::uintptr_t /*id*/) { return nullptr; }

unsigned int Composite::ChildCount() const { return 0; }

Iterator* Composite::CreateIterator() { return nullptr; }

Composite* Composite::GetComposite() { return this; }

void Composite::Visit(Visitor* v) {
  if (v == nullptr) return;
  Walk* running = ClaimWalk(this, WalkKind::Visit, v);
  v->DoVisit(this);
  Iterator* it = CreateIterator();
  if (it == nullptr) return;
  it->Start();
  if (running != nullptr) {
    Push(*running, it);
    return;
  }
  RunWalk(it, WalkKind::Visit, v, [v](Node* child) {
    child->Visit(v);
    return true;
  });
}

bool Composite::Save(std::ostream* os) {
  Walk* running = ClaimWalk(this, WalkKind::Save, os);
  Iterator* it = CreateIterator();
  if (it == nullptr) return true;
  it->Start();
  if (running != nullptr) {
    // The running walk saves the children and reports their failure.
    Push(*running, it);
    return true;
  }
  return RunWalk(it, WalkKind::Save, os, [os](Node* child) { return child->Save(os); });
}

bool Composite::Load(std::istream* is) {
  Walk* running = ClaimWalk(this, WalkKind::Load, is);
  Iterator* it = CreateIterator();
  if (it == nullptr) return true;
  it->Start();
  if (running != nullptr) {
    Push(*running, it);
    return true;
  }
  return RunWalk(it, WalkKind::Load, is, [is](Node* child) { return child->Load(is); });
}

}  // namespace Qel
