// What a hostile document can make the readers do: external content is never loaded, and
// expansion, nesting and decompression stay bounded.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "qel/core/Exceptions.h"
#include "qel/xml/XmlLimits.h"
#include "qel/xml/XmlSaxParser.h"
#include "qel/xml/XmlTree.h"
#include "xml/XmlLibrary.h"
#include "xml/XmlTestSupport.h"

namespace Qel {
namespace {

using Testing::Gzip;
using Testing::ScratchFolder;
using Testing::WriteFile;

// A TCP listener on 127.0.0.1 that counts the connections made to it.
class LoopbackListener {
 public:
  LoopbackListener() {
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_socket, 8);
    socklen_t length = sizeof address;
    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] {
      while (!m_stop) {
        pollfd poller{m_socket, POLLIN, 0};
        if (::poll(&poller, 1, 20) > 0) {
          const int client = ::accept(m_socket, nullptr, nullptr);
          if (client >= 0) {
            ++m_connections;
            ::close(client);
          }
        }
      }
    });
  }
  ~LoopbackListener() {
    m_stop = true;
    m_thread.join();
    ::close(m_socket);
  }
  int Port() const { return m_port; }
  int Connections() const { return m_connections; }

 private:
  int m_socket = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_connections{0};
  std::thread m_thread;
};

// Collects all text and attribute values it sees.
class TextCollector : public XmlSaxCallback {
 public:
  void OnStartElement(XmlSaxParser* parser, const unsigned char*,
                      const unsigned char** attributes) override {
    for (int i = 0; attributes != nullptr && attributes[i] != nullptr; i += 2)
      text += reinterpret_cast<const char*>(attributes[i + 1]);
    parser->PushCallback(this);
  }
  void OnEndElement(XmlSaxParser* parser, const unsigned char*) override {
    text.append(reinterpret_cast<const char*>(parser->GetCharacterBuffer()),
                parser->GetCharacterBufferSize());
  }
  std::string text;
};

std::string AllText(const XmlNode* node) {
  std::string out;
  std::vector<const XmlNode*> pending{node};
  while (!pending.empty()) {
    const XmlNode* n = pending.back();
    pending.pop_back();
    if (n == nullptr) continue;
    out += Utf16ToUtf8(n->GetContent().data(), n->GetContent().size());
    for (const XmlProperty* p : n->GetProperties())
      out += Utf16ToUtf8(p->GetValue().data(), p->GetValue().size());
    for (const XmlNode* c : n->GetChildren()) pending.push_back(c);
  }
  return out;
}

TEST(XmlSecurity, ExternalEntitiesAreNeverLoadedByAnyReader) {
  const std::uint64_t refusedBefore = Detail::RefusedExternalLoads();
  ScratchFolder folder;
  LoopbackListener listener;
  WriteFile(folder.Path("secret.txt"), "SECRET-PLAIN");
  WriteFile(folder.Path("secret.gz"), Gzip("SECRET-GZIP"));
  WriteFile(folder.Path("entity.dtd"), "<!ENTITY leak 'SECRET-DTD'>");
  const std::string http = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/x";
  const std::string documents[] = {
      "<!DOCTYPE r [<!ENTITY e SYSTEM 'file:///etc/hostname'>]><r>[&e;]</r>",
      "<!DOCTYPE r [<!ENTITY e SYSTEM 'secret.txt'>]><r>[&e;]</r>",
      "<!DOCTYPE r [<!ENTITY e SYSTEM '" + folder.Path("secret.txt") + "'>]><r>[&e;][&e;]</r>",
      "<!DOCTYPE r [<!ENTITY e SYSTEM '" + folder.Path("secret.gz") + "'>]><r>[&e;]</r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM '" + folder.Path("entity.dtd") + "'>%p;]><r>[&leak;]</r>",
      "<!DOCTYPE r SYSTEM '" + folder.Path("entity.dtd") + "'><r>[&leak;]</r>",
      "<!DOCTYPE r [<!ENTITY e SYSTEM '" + http + "'>]><r>[&e;]</r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM '" + http + "'>%p;]><r>[]</r>",
  };
  int index = 0;
  for (const std::string& doc : documents) {
    SCOPED_TRACE(doc);
    const std::string path = folder.Path("doc" + std::to_string(index++) + ".xml");
    WriteFile(path, doc);
    const std::u16string widePath = ConvertUtf8ToWideChar(path);
    auto check = [](const std::string& text) {
      EXPECT_EQ(text.find("SECRET"), std::string::npos) << text;
      EXPECT_EQ(text.find("localhost"), std::string::npos);
    };
    XmlSaxParser parser;
    TextCollector fromMemory, fromFile;
    parser.ParseMemory(doc.data(), static_cast<unsigned int>(doc.size()), &fromMemory);
    parser.ParseFile(widePath, &fromFile);
    check(fromMemory.text);
    check(fromFile.text);
    // The rest of the document is still read.
    EXPECT_EQ(fromFile.text.front(), '[');

    XmlTree tree;
    tree.Read(widePath);
    check(AllText(tree.GetRoot()));
    tree.Read2();
    check(AllText(tree.GetRoot()));
    tree.ReadBuffer(doc);
    check(AllText(tree.GetRoot()));
  }
  EXPECT_EQ(listener.Connections(), 0);
  // Refusals are counted and the last one is named.
  EXPECT_GT(Detail::RefusedExternalLoads(), refusedBefore);
  EXPECT_EQ(Detail::LastRefusedExternalLoad(), http);
}

std::string BillionLaughs() {
  std::string doc = "<!DOCTYPE lolz [<!ENTITY lol0 'lol'>";
  for (int i = 1; i < 10; ++i) {
    doc += "<!ENTITY lol" + std::to_string(i) + " '";
    for (int j = 0; j < 10; ++j) doc += "&lol" + std::to_string(i - 1) + ";";
    doc += "'>";
  }
  return doc + "]><lolz a='&lol6;'>&lol9;</lolz>";
}

std::string WideEntity(bool inAttributes) {
  std::string doc = "<!DOCTYPE r [<!ENTITY big '" + std::string(100000, 'x') + "'>]><r";
  if (inAttributes) {
    for (int i = 0; i < 2000; ++i) doc += " a" + std::to_string(i) + "='&big;&big;&big;&big;&big;'";
    return doc + "/>";
  }
  doc += ">";
  for (int i = 0; i < 200000; ++i) doc += "&big;";
  return doc + "</r>";
}

TEST(XmlSecurity, EntityExpansionIsBounded) {
  for (const std::string& doc : {BillionLaughs(), WideEntity(false), WideEntity(true)}) {
    XmlSaxParser parser;
    TextCollector collector;
    try {
      parser.ParseMemory(doc.data(), static_cast<unsigned int>(doc.size()), &collector);
    } catch (const XMLFormatException& e) {
      EXPECT_TRUE(e.GetErrorId() == ErrorId::XmlDocumentTooLarge) << e.GetErrorId();
    }
    EXPECT_LE(collector.text.size(), Detail::kMaxEntityExpansion + doc.size());

    XmlTree tree;
    bool parsed = false;
    try {
      parsed = tree.ReadBuffer(doc);
    } catch (const XMLFormatException& e) {
      EXPECT_TRUE(e.GetErrorId() == ErrorId::XmlDocumentTooLarge) << e.GetErrorId();
    }
    EXPECT_FALSE(parsed);
    EXPECT_EQ(tree.GetRoot(), nullptr);
  }
  // The 100,000-character entity referenced 200,000 times ends with the bound's error.
  const std::string wide = WideEntity(false);
  XmlSaxParser parser;
  TextCollector collector;
  EXPECT_THROW(parser.ParseMemory(wide.data(), static_cast<unsigned int>(wide.size()), &collector),
               XMLFormatException);
}

TEST(XmlSecurity, DocumentsExpandingBeyondTheBoundAreRefused) {
  ScratchFolder folder;
  // About 2 MB of gzip that expands to 1 GB: one compressed megabyte repeated as 1024 gzip
  // members, which readers decompress one after another. Its elements hold 1 KiB each, within
  // the bounds of elements and text: the document's size is what stops it.
  {
    std::string kilobyte = "<b>" + std::string(1017, 'x') + "</b>";
    std::string megabyte;
    for (int i = 0; i < 1024; ++i) megabyte += kilobyte;
    const std::string member = Gzip(megabyte);
    std::string bomb = Gzip("<a>");
    for (int i = 0; i < 1024; ++i) bomb += member;
    bomb += Gzip("</a>");
    ASSERT_LT(bomb.size(), 3u << 20);
    WriteFile(folder.Path("bomb.xml.gz"), bomb);
  }
  XmlTree tree;
  tree.SetFilename(folder.WidePath("bomb.xml.gz"));
  try {
    tree.Read2();
    FAIL() << "Read2 accepted a document beyond the bound";
  } catch (const FileIOException& e) {
    EXPECT_EQ(e.GetErrorId(), 2004);
  }
  EXPECT_EQ(tree.GetRoot(), nullptr);
  try {
    tree.Read();
    FAIL() << "Read accepted a document beyond the bound";
  } catch (const FileIOException& e) {
    EXPECT_EQ(e.GetErrorId(), 2004);
  }
}

// Restores the default bounds when a test ends.
struct ScopedLimits {
  explicit ScopedLimits(const XmlLimits& limits) { SetXmlLimits(limits); }
  ~ScopedLimits() { SetXmlLimits(XmlLimits{}); }
};

std::string Repeat(const std::string& piece, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

std::string Attributes(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += " a" + std::to_string(i) + "='>'";
  return out;
}

TEST(XmlSecurity, WorkBoundsEndHostileDocumentsWithXmlFormatException) {
  XmlLimits limits;
  limits.maxAttributesPerElement = 50;
  limits.maxTreeElements = 1000;
  limits.maxEntityReferences = 500;
  limits.maxTextBytes = 100000;
  ScopedLimits scoped(limits);
  const std::string ref = "<!DOCTYPE r [<!ENTITY e 'x'>]><r>";
  struct Case {
    std::string document;
    const char16_t* bound;  // null: within every bound
    bool tree;              // a bound of trees only: the SAX reader accepts it
  };
  const Case cases[] = {
      {"<r" + Attributes(51) + "/>", u"attributes of one element", false},
      {"<r><!-- a='1' --><e" + Attributes(50) + "/><![CDATA[<x a=1 b=2>]]></r>", nullptr, false},
      {"<!DOCTYPE r [<!-- ' --><!ENTITY big \"<e" + Attributes(51) + "/>\">]><r>&big;</r>",
       u"attributes of one element", false},
      {"<r>" + Repeat("<e/>", 1000) + "</r>", u"elements of one tree", true},
      {"<r>" + Repeat("<e/>", 998) + "</r>", nullptr, false},
      {ref + Repeat("&e;", 501) + "</r>", u"entity references of one document", false},
      // libxml2 looks an entity up once more when it first parses its text.
      {ref + Repeat("&e;", 499) + Repeat("&amp;", 5000) + "</r>", nullptr, false},
      {"<r>" + std::string(100001, 'x') + "</r>", u"text bytes of one element", false},
      {"<r><![CDATA[" + std::string(100001, 'x') + "]]></r>", u"text bytes of one element", false},
  };
  ScratchFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document.substr(0, 120));
    const std::string path = folder.Path("case.xml.gz");
    WriteFile(path, Gzip(c.document));
    // Each reader either takes the document or refuses it naming the bound.
    auto expectOutcome = [&](const char* reader, bool bounded, auto&& read) {
      try {
        read();
        EXPECT_FALSE(bounded) << reader << " accepted a document beyond a bound";
      } catch (const XMLFormatException& e) {
        EXPECT_TRUE(bounded) << reader << ": " << ConvertWideCharToUtf8(e.GetErrorDescription());
        EXPECT_EQ(e.GetErrorId(), ErrorId::XmlDocumentTooLarge) << reader;
        if (c.bound != nullptr) {
          EXPECT_NE(e.GetErrorDescription().find(c.bound), std::u16string::npos) << reader;
        }
      }
    };
    const bool bounded = c.bound != nullptr;
    const bool saxBounded = bounded && !c.tree;
    XmlSaxParser parser;
    TextCollector collector;
    expectOutcome("ParseMemory", saxBounded, [&] {
      parser.ParseMemory(c.document.data(), static_cast<unsigned int>(c.document.size()),
                         &collector);
    });
    expectOutcome("ParseFile", saxBounded,
                  [&] { parser.ParseFile(ConvertUtf8ToWideChar(path), &collector); });
    XmlTree tree;
    tree.SetFilename(ConvertUtf8ToWideChar(path));
    expectOutcome("Read", bounded, [&] { tree.Read(); });
    expectOutcome("Read2", bounded, [&] { tree.Read2(); });
    expectOutcome("ReadBuffer", bounded, [&] { tree.ReadBuffer(c.document); });
  }
}

// A CDATA section beyond libxml2's 10 MB lookup bound reads the same from a file as from
// memory: the whole of it.
TEST(XmlSecurity, LongCdataReadsTheSameFromFileAndMemory) {
  ScratchFolder folder;
  const std::string text(11 << 20, 'c');
  const std::string document = "<r><![CDATA[" + text + "]]></r>";
  WriteFile(folder.Path("cdata.xml"), document);
  XmlSaxParser parser;
  TextCollector fromMemory;
  TextCollector fromFile;
  parser.ParseMemory(document.data(), static_cast<unsigned int>(document.size()), &fromMemory);
  parser.ParseFile(folder.WidePath("cdata.xml"), &fromFile);
  EXPECT_EQ(fromMemory.text.size(), text.size());
  EXPECT_EQ(fromFile.text.size(), text.size()) << "ParseFile dropped the CDATA section";
}

}  // namespace
}  // namespace Qel
