// Writes arbitrary text (UTF-16 units, and the same bytes as a narrow UTF-8 value) through
// QelXmlOutStream as attribute values and element text, then reads the document back with the
// SAX parser and the document-tree reader. Every document written must read back, and each
// value must come back as written, with what XML cannot hold shown as U+FFFD.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qel/core/StringConversion.h"
#include "qel/xml/QelXmlOutStream.h"
#include "qel/xml/XmlSaxParser.h"
#include "qel/xml/XmlTree.h"

namespace {

// The attribute values of the element "e" as UTF-8.
struct Values : Qel::XmlSaxCallback {
  std::string wide;
  std::string narrow;
  int elements = 0;
  void OnStartElement(Qel::XmlSaxParser* parser, const unsigned char* name,
                      const unsigned char** attributes) override {
    ++elements;
    if (std::strcmp(reinterpret_cast<const char*>(name), "e") == 0) {
      for (int i = 0; attributes != nullptr && attributes[i] != nullptr; i += 2) {
        const char* key = reinterpret_cast<const char*>(attributes[i]);
        const char* value = reinterpret_cast<const char*>(attributes[i + 1]);
        (std::strcmp(key, "w") == 0 ? wide : narrow) = value;
      }
    }
    parser->PushCallback(this);
  }
  void OnEndElement(Qel::XmlSaxParser*, const unsigned char*) override {}
};

// `text` up to its first NUL with every unit XML 1.0 cannot hold replaced by U+FFFD.
std::u16string Expected(const std::u16string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size() && text[i] != 0; ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      out += c;
      out += text[++i];
      continue;
    }
    const bool bad = (c < 0x20 && c != 0x9 && c != 0xA && c != 0xD) || c == 0xFFFE || c == 0xFFFF ||
                     (c >= 0xD800 && c <= 0xDFFF);
    out += bad ? u'\uFFFD' : c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  const std::string narrow(reinterpret_cast<const char*>(data), size);

  Qel::QelXmlOutStream out(Qel::StorageString, 0);
  out.CreateNode("r");
  out.CreateNode("e");
  out.AddProperty("w", text);
  out.AddProperty("n", narrow.c_str());
  out.AddText(text);
  out.CloseNode("e");
  out.AddSubNodeText("s", text);
  out.CloseNode("r");
  const std::string& document = out.getXmlString();

  Qel::XmlSaxParser parser;
  Values values;
  parser.ParseMemory(document.data(), static_cast<unsigned int>(document.size()), &values);
  if (values.elements != 3) std::abort();  // the document was refused part of the way
  if (Qel::ConvertUtf8ToWideChar(values.wide) != Expected(text)) std::abort();
  std::u16string narrowRead;
  Qel::QelXmlOutStream::utf8towstr(narrowRead, narrow.c_str());
  if (Qel::ConvertUtf8ToWideChar(values.narrow) != Expected(narrowRead)) std::abort();

  Qel::XmlTree tree;
  if (!tree.ReadBuffer(document) || tree.GetRoot() == nullptr) std::abort();
  return 0;
}
