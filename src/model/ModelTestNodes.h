// Node types shared by the object-model tests: a tagged feature and a plain leaf that count
// their live instances and record the order in which they are destroyed.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "qel/core/Node.h"
#include "qel/model/Representation.h"

namespace Qel::ModelTest {

// Live instances of the test node types below, for leak checks.
inline std::atomic<int> g_liveTestNodes{0};
// When set, each test node appends its name here as it is destroyed.
inline std::vector<std::string>* g_destroyLog = nullptr;

class TaggedFeature : public Node, public Representation {
 public:
  static TaggedFeature* Create(const std::string& tag, std::string name = {}) {
    auto* f = new TaggedFeature(tag, std::move(name));
    f->AddRefCount();
    return f;
  }
  ~TaggedFeature() override {
    --g_liveTestNodes;
    if (g_destroyLog != nullptr) g_destroyLog->push_back(m_name);
  }
  const std::string& Name() const { return m_name; }

 private:
  TaggedFeature(const std::string& tag, std::string name)
      : Representation(SetRepTag(tag)), m_name(std::move(name)) {
    ++g_liveTestNodes;
  }
  std::string m_name;
};

// A leaf whose Save and Load answer a preset result and record the calls.
class LeafNode : public Node {
 public:
  static LeafNode* Create(std::string name, std::vector<std::string>* calls = nullptr,
                          bool result = true) {
    auto* n = new LeafNode(std::move(name), calls, result);
    n->AddRefCount();
    return n;
  }
  ~LeafNode() override {
    --g_liveTestNodes;
    if (g_destroyLog != nullptr) g_destroyLog->push_back(m_name);
  }
  bool Save(std::ostream*) override {
    if (m_calls != nullptr) m_calls->push_back("save " + m_name);
    return m_result;
  }
  bool Load(std::istream*) override {
    if (m_calls != nullptr) m_calls->push_back("load " + m_name);
    return m_result;
  }
  const std::string& Name() const { return m_name; }

 private:
  LeafNode(std::string name, std::vector<std::string>* calls, bool result)
      : m_name(std::move(name)), m_calls(calls), m_result(result) {
    ++g_liveTestNodes;
  }
  std::string m_name;
  std::vector<std::string>* m_calls;
  bool m_result;
};

}  // namespace Qel::ModelTest
