// Feeds arbitrary bytes to the document-tree reader of XmlTree, then copies, writes and walks
// what it built. Nothing may crash, leak or exceed the memory bounds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qel/core/Exceptions.h"
#include "qel/core/Visitor.h"
#include "qel/xml/XmlTree.h"

namespace {

struct Counter : Qel::Visitor {
  std::size_t nodes = 0;
  void DoVisit(Qel::Node*) override { ++nodes; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Qel::XmlTree tree;
  bool parsed = false;
  try {
    parsed = tree.ReadBuffer(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const Qel::XMLFormatException&) {
    return 0;
  }
  if (!parsed) {
    if (tree.GetRoot() != nullptr || tree.initialized()) std::abort();
    return 0;
  }
  Counter counter;
  tree.GetRoot()->Visit(&counter);
  Qel::XmlTree copy(&tree);
  try {
    const std::string written = copy.WriteBuffer();
    Qel::XmlTree again;
    if (!again.ReadBuffer(written)) std::abort();
  } catch (const Qel::BaseException& e) {
    if (e.GetErrorId() != 17) std::abort();
  }
  return 0;
}
