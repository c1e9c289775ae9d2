// qel_xmlcheck FILE...: exits 0 when the library's XmlTree reads every FILE as a document with a
// root element, and prints the root's name; 1 otherwise.
#include <qel/core/Exceptions.h>
#include <qel/core/StringConversion.h>
#include <qel/xml/XmlNode.h>
#include <qel/xml/XmlTree.h>

#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv) {
  int status = argc > 1 ? 0 : 1;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    try {
      Qel::XmlTree tree;
      if (!in || !tree.ReadBuffer(buffer.str()) || tree.GetRoot() == nullptr) {
        std::fprintf(stderr, "%s: not well-formed XML\n", argv[i]);
        status = 1;
        continue;
      }
      std::printf("%s: %s\n", argv[i],
                  Qel::ConvertWideCharToUtf8(tree.GetRoot()->GetName()).c_str());
    } catch (const Qel::BaseException& e) {
      std::fprintf(stderr, "%s: %s\n", argv[i],
                   Qel::ConvertWideCharToUtf8(e.GetErrorDescription()).c_str());
      status = 1;
    }
  }
  return status;
}
