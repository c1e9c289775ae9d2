// XML reading and writing of the library beside libxml2 used directly for the same work:
// XmlSaxParser::ParseFile against a raw SAX1 push parse over the same 1024-byte gzread chunks,
// QelXmlOutStream against xmlTextWriter writing the same elements to memory, and XmlTree
// writing and reading a tree of 100,000 nodes.
#include <benchmark/benchmark.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/xmlwriter.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "qel/core/StringConversion.h"
#include "qel/xml/QelXmlOutStream.h"
#include "qel/xml/XmlSaxParser.h"
#include "qel/xml/XmlTree.h"

namespace {

// The work both readers do: count elements and attribute bytes, and the text bytes an element
// holds when it ends.
struct Tally {
  std::size_t elements = 0;
  std::size_t attributeBytes = 0;
  std::size_t textBytes = 0;
  bool operator==(const Tally&) const = default;
};

void CountAttributes(Tally& tally, const unsigned char** attributes) {
  for (int i = 0; attributes != nullptr && attributes[i] != nullptr; i += 2)
    tally.attributeBytes += std::strlen(reinterpret_cast<const char*>(attributes[i + 1]));
}

// A scratch folder removed when the benchmarks end.
struct ScratchFolder {
  ScratchFolder()
      : path(std::filesystem::temp_directory_path() /
             ("qel-xml-bench-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::filesystem::path path;
};

const std::filesystem::path& Folder() {
  static const ScratchFolder folder;
  return folder.path;
}

// A 50 MB document of records with attributes and texts, plain and gzip-compressed.
const std::string& Document(bool compressed) {
  static const std::string plain = [] {
    std::string doc = "<?xml version=\"1.0\"?>\n<records>\n";
    for (int i = 0; doc.size() < (50u << 20); ++i) {
      doc += "  <record id=\"" + std::to_string(i) + "\" class=\"invoice\" score=\"0." +
             std::to_string(i % 1000) +
             "\">\n    <field name=\"customer\">M&#252;ller &amp; S&#246;hne GmbH</field>\n"
             "    <field name=\"amount\">" +
             std::to_string(i * 17 % 100000) +
             ".99</field>\n"
             "    <note>Payment within 30 days to the account given on the first page.</note>\n  "
             "</record>\n";
    }
    doc += "</records>\n";
    std::ofstream(Folder() / "doc.xml", std::ios::binary) << doc;
    gzFile file = gzopen((Folder() / "doc.xml.gz").c_str(), "wb6");
    gzwrite(file, doc.data(), static_cast<unsigned int>(doc.size()));
    gzclose(file);
    return (Folder() / "doc.xml").string();
  }();
  static const std::string packed = (Folder() / "doc.xml.gz").string();
  return compressed ? packed : plain;
}

class Counter : public Qel::XmlSaxCallback {
 public:
  void OnStartElement(Qel::XmlSaxParser* parser, const unsigned char*,
                      const unsigned char** attributes) override {
    ++tally.elements;
    CountAttributes(tally, attributes);
    parser->PushCallback(this);
  }
  void OnEndElement(Qel::XmlSaxParser* parser, const unsigned char*) override {
    tally.textBytes += parser->GetCharacterBufferSize();
  }
  Tally tally;
};

Tally ParseWithLibrary(const std::string& path) {
  Qel::XmlSaxParser parser;
  Counter counter;
  parser.ParseFile(Qel::ConvertUtf8ToWideChar(path), &counter);
  return counter.tally;
}

// The baseline: libxml2's SAX1 push parser fed from gzread, with handlers that collect the
// text of an element as the library does and drop whitespace-only text.
struct RawState {
  Tally tally;
  std::string text;
};

Tally ParseWithLibxml2(const std::string& path) {
  xmlSAXHandler handler;
  std::memset(&handler, 0, sizeof handler);
  handler.initialized = 1;
  handler.startDocument = [](void*) {};
  handler.endDocument = [](void*) {};
  handler.startElement = [](void* context, const xmlChar*, const xmlChar** attributes) {
    auto state = static_cast<RawState*>(context);
    ++state->tally.elements;
    CountAttributes(state->tally, attributes);
    state->text.clear();
  };
  handler.endElement = [](void* context, const xmlChar*) {
    auto state = static_cast<RawState*>(context);
    if (state->text.find_first_not_of(" \t\r\n") != std::string::npos)
      state->tally.textBytes += state->text.size();
    state->text.clear();
  };
  handler.characters = [](void* context, const xmlChar* text, int length) {
    static_cast<RawState*>(context)->text.append(reinterpret_cast<const char*>(text), length);
  };
  xmlKeepBlanksDefault(0);
  xmlSubstituteEntitiesDefault(1);
  RawState state;
  gzFile file = gzopen(path.c_str(), "rb");
  gzbuffer(file, 64 * 1024);
  char chunk[1024];
  int size = gzread(file, chunk, sizeof chunk);
  xmlParserCtxtPtr context = xmlCreatePushParserCtxt(&handler, &state, chunk, size, "bench");
  while (size == static_cast<int>(sizeof chunk)) {
    size = gzread(file, chunk, sizeof chunk);
    if (size > 0) xmlParseChunk(context, chunk, size, 0);
  }
  xmlParseChunk(context, chunk, 0, 1);
  xmlFreeParserCtxt(context);
  gzclose(file);
  return state.tally;
}

void BM_XmlSaxParser_ParseFile(benchmark::State& state) {
  const std::string& path = Document(state.range(0) != 0);
  Tally tally;
  for (auto _ : state) benchmark::DoNotOptimize(tally = ParseWithLibrary(path));
  if (!(tally == ParseWithLibxml2(path)) || tally.elements < 100000)
    state.SkipWithError("results differ");
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(Document(false))));
  state.SetLabel(state.range(0) ? "gzip" : "plain");
}

void BM_Libxml2_Sax1PushParse(benchmark::State& state) {
  const std::string& path = Document(state.range(0) != 0);
  Tally tally;
  for (auto _ : state) benchmark::DoNotOptimize(tally = ParseWithLibxml2(path));
  if (tally.elements < 100000) state.SkipWithError("document not read");
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(Document(false))));
  state.SetLabel(state.range(0) ? "gzip" : "plain");
}

BENCHMARK(BM_XmlSaxParser_ParseFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libxml2_Sax1PushParse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ---- Writing a million elements with attributes into memory ----------------------------

constexpr int kElements = 1000000;

void BM_QelXmlOutStream_WriteString(benchmark::State& state) {
  std::size_t size = 0;
  std::string sample;
  const std::u16string name = u"M\u00FCller & S\u00F6hne";
  for (auto _ : state) {
    Qel::QelXmlOutStream out(Qel::StorageString, 64 << 20);
    out.CreateNode("records");
    for (int i = 0; i < kElements; ++i) {
      out.CreateNode("record");
      out.AddProperty("id", static_cast<std::int32_t>(i));
      out.AddProperty("class", "invoice");
      out.AddProperty("customer", name);
      out.CloseNode("record");
    }
    out.CloseNode("records");
    size = out.getXmlString().size();
    sample = out.getXmlString().substr(0, 200);
  }
  if (sample.find("<record id=\"0\" class=\"invoice\" customer=\"M\xC3\xBCller &amp; "
                  "S\xC3\xB6hne\"></record>") == std::string::npos)
    state.SkipWithError("unexpected output");
  state.SetItemsProcessed(state.iterations() * kElements);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_Libxml2_TextWriterMemory(benchmark::State& state) {
  std::size_t size = 0;
  std::string sample;
  const std::u16string name = u"M\u00FCller & S\u00F6hne";
  for (auto _ : state) {
    xmlBufferPtr buffer = xmlBufferCreateSize(64 << 20);
    xmlTextWriterPtr writer = xmlNewTextWriterMemory(buffer, 0);
    xmlTextWriterStartDocument(writer, nullptr, nullptr, nullptr);
    xmlTextWriterStartElement(writer, BAD_CAST "records");
    char number[16];
    for (int i = 0; i < kElements; ++i) {
      xmlTextWriterStartElement(writer, BAD_CAST "record");
      std::snprintf(number, sizeof number, "%d", i);
      xmlTextWriterWriteAttribute(writer, BAD_CAST "id", BAD_CAST number);
      xmlTextWriterWriteAttribute(writer, BAD_CAST "class", BAD_CAST "invoice");
      // The same UTF-16 to UTF-8 conversion the stream does for a wide attribute.
      const std::string utf8 = Qel::Utf16ToUtf8(name.data(), name.size());
      xmlTextWriterWriteAttribute(writer, BAD_CAST "customer", BAD_CAST utf8.c_str());
      xmlTextWriterEndElement(writer);
    }
    xmlTextWriterEndElement(writer);
    xmlTextWriterEndDocument(writer);
    xmlFreeTextWriter(writer);
    size = static_cast<std::size_t>(xmlBufferLength(buffer));
    sample.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer)), 200);
    xmlBufferFree(buffer);
  }
  if (sample.find("<record id=\"0\" class=\"invoice\"") == std::string::npos)
    state.SkipWithError("unexpected output");
  state.SetItemsProcessed(state.iterations() * kElements);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

BENCHMARK(BM_QelXmlOutStream_WriteString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libxml2_TextWriterMemory)->Unit(benchmark::kMillisecond);

// ---- XmlTree with 100,000 nodes ----------------------------------------------------------

Qel::XmlNode* BuildTree() {
  Qel::XmlNode* root = Qel::XmlNode::Create(u"records");
  for (int i = 0; i < 25000; ++i) {
    Qel::XmlNode* record = root->AddChild(u"record");
    record->AddPropertyLong(u"id", i);
    record->AddPropertyDouble(u"score", i / 7.0);
    record->AddSubNodeText(u"customer", u"M\u00FCller & S\u00F6hne");
    record->AddChild(u"flag");
  }
  return root;  // 1 + 25,000 * 4 nodes
}

void BM_XmlTree_Write(benchmark::State& state) {
  Qel::XmlTree tree;
  tree.SetRoot(BuildTree());
  tree.SetCompression(static_cast<int>(state.range(0)));
  const std::u16string path = Qel::ConvertUtf8ToWideChar((Folder() / "tree.xml").string());
  for (auto _ : state) tree.Write(path);
  Qel::XmlTree back(path);
  if (back.GetRoot() == nullptr || back.GetRoot()->ChildCount() != 25000)
    state.SkipWithError("tree not written");
  state.SetItemsProcessed(state.iterations() * 100001);
  state.SetLabel(state.range(0) ? "gzip" : "plain");
}

void BM_XmlTree_Read(benchmark::State& state) {
  const std::u16string path = Qel::ConvertUtf8ToWideChar((Folder() / "tree-read.xml").string());
  {
    Qel::XmlTree tree;
    tree.SetRoot(BuildTree());
    tree.SetCompression(static_cast<int>(state.range(0)));
    tree.Write(path);
  }
  Qel::XmlTree tree;
  tree.SetFilename(path);
  for (auto _ : state) tree.Read();
  if (tree.GetRoot() == nullptr || tree.GetRoot()->ChildCount() != 25000)
    state.SkipWithError("tree not read");
  state.SetItemsProcessed(state.iterations() * 100001);
  state.SetLabel(state.range(0) ? "gzip" : "plain");
}

BENCHMARK(BM_XmlTree_Write)->Arg(0)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlTree_Read)->Arg(0)->Arg(9)->Unit(benchmark::kMillisecond);

}  // namespace
