// Feeds arbitrary bytes to XmlSaxParser::ParseMemory with the XML tree as the callback, so that
// every event builds nodes. Whatever tree comes out must write as a document that reads back
// as the same tree without a parse error, or the writer must refuse it with the library's
// exception. The first parse error, when there is one, must be one line with a position.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "qel/core/Exceptions.h"
#include "qel/xml/XmlSaxParser.h"
#include "qel/xml/XmlTree.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameTree(const Qel::XmlNode* a, const Qel::XmlNode* b) {
  std::vector<std::pair<const Qel::XmlNode*, const Qel::XmlNode*>> pending{{a, b}};
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    if ((x == nullptr) != (y == nullptr)) return false;
    if (x == nullptr) continue;
    if (x->GetName() != y->GetName() || x->GetContent() != y->GetContent() ||
        x->IsContent() != y->IsContent() || x->ChildCount() != y->ChildCount() ||
        x->GetProperties().size() != y->GetProperties().size())
      return false;
    for (auto p = x->GetProperties().begin(), q = y->GetProperties().begin();
         p != x->GetProperties().end(); ++p, ++q)
      if ((*p)->GetName() != (*q)->GetName() || (*p)->GetValue() != (*q)->GetValue()) return false;
    for (auto c = x->GetChildren().begin(), d = y->GetChildren().begin();
         c != x->GetChildren().end(); ++c, ++d)
      pending.emplace_back(*c, *d);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Qel::XmlSaxParser parser;
  Qel::XmlTree tree;
  try {
    parser.ParseMemory(reinterpret_cast<const char*>(data), static_cast<unsigned int>(size), &tree);
  } catch (const Qel::XMLFormatException&) {
    return 0;  // a bound was reached
  }
  // The first error, when there is one, is one line at a line of the input.
  const Qel::XmlParseError& error = parser.GetParseError();
  Check(error.line >= 0 && error.column >= 0 && (error.found || error.message.empty()));
  for (char c : error.message) Check(static_cast<unsigned char>(c) >= 0x20);
  if (tree.GetRoot() == nullptr) return 0;
  std::string written;
  try {
    written = tree.WriteBuffer();
  } catch (const Qel::BaseException& e) {
    Check(e.GetErrorId() == 17);
    return 0;
  }
  Qel::XmlTree again;
  parser.ParseMemory(written.data(), static_cast<unsigned int>(written.size()), &again);
  Check(!parser.GetParseError().found);  // what the writer writes is well-formed
  Check(SameTree(tree.GetRoot(), again.GetRoot()));
  return 0;
}
