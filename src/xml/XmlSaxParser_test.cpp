#include "qel/xml/XmlSaxParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qel/core/Exceptions.h"
#include "xml/XmlLibrary.h"
#include "xml/XmlTestSupport.h"

namespace Qel {
namespace {

using Testing::Gzip;
using Testing::ScratchFolder;
using Testing::WriteFile;

std::string Str(const unsigned char* text) { return reinterpret_cast<const char*>(text); }

// Receives every element (it pushes itself) and logs the events with the text seen at each end.
class Recorder : public XmlSaxCallback {
 public:
  void OnStartDocument(XmlSaxParser*) override { log += "[doc"; }
  void OnEndDocument(XmlSaxParser*) override { log += "doc]"; }
  void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                      const unsigned char** attributes) override {
    log += "<" + Str(name);
    for (int i = 0; attributes != nullptr && attributes[i] != nullptr; i += 2)
      log += " " + Str(attributes[i]) + "=" + Str(attributes[i + 1]);
    log += ">";
    parser->PushCallback(this);
  }
  void OnEndElement(XmlSaxParser* parser, const unsigned char* name) override {
    const auto text = parser->GetCharacterBuffer();
    log += "'" +
           std::string(reinterpret_cast<const char*>(text), parser->GetCharacterBufferSize()) +
           "'</" + Str(name) + ">";
    bytesSeen += parser->GetCharacterBufferSize();
  }
  std::string log;
  std::size_t bytesSeen = 0;
};

std::string Events(const std::string& document) {
  XmlSaxParser parser;
  Recorder recorder;
  parser.ParseMemory(document.data(), static_cast<unsigned int>(document.size()), &recorder);
  return recorder.log;
}

TEST(XmlSaxParser, DeliversEventsThroughTheCallbackStack) {
  EXPECT_EQ(Events("<a x=\"1\" y='&lt;&amp;'><b>t</b></a>"),
            "[doc<a x=1 y=<&><b>'t'</b>''</a>doc]");
  // Text before a child is dropped at the child's start tag; the end handler sees the rest.
  EXPECT_EQ(Events("<a>x<b/>y</a>"), "[doc<a><b>''</b>'y'</a>doc]");
  // Whitespace-only text between tags is layout; CDATA arrives as characters.
  EXPECT_EQ(Events("<a>\n  <b> </b>\n</a>"), "[doc<a><b>''</b>''</a>doc]");
  EXPECT_EQ(Events("<a><![CDATA[<x>]]></a>"), "[doc<a>'<x>'</a>doc]");
  // Internal entities are substituted in attributes and text.
  EXPECT_EQ(Events("<!DOCTYPE a [<!ENTITY e 'h&#233;'>]><a v='&e;!'>&e;&e;</a>"),
            "[doc<a v=h\xC3\xA9!>'h\xC3\xA9h\xC3\xA9'</a>doc]");
}

TEST(XmlSaxParser, UnhandledRootIsSwallowedByTheDefaultCallback) {
  struct Ignorer : XmlSaxCallback {
    int starts = 0, ends = 0, docEnds = 0;
    void OnStartElement(XmlSaxParser*, const unsigned char*, const unsigned char**) override {
      ++starts;
    }
    void OnEndElement(XmlSaxParser*, const unsigned char*) override { ++ends; }
    void OnEndDocument(XmlSaxParser*) override { ++docEnds; }
  } ignorer;
  XmlSaxParser parser;
  const std::string doc = "<r><a><b/></a><c/></r>";
  parser.ParseMemory(doc.data(), static_cast<unsigned int>(doc.size()), &ignorer);
  EXPECT_EQ(ignorer.starts, 1);
  EXPECT_EQ(ignorer.ends, 0);
  EXPECT_EQ(ignorer.docEnds, 1);
}

TEST(XmlSaxParser, AdapterRoutesOnlyTheExpectedElement) {
  Recorder next;
  int calls = 0;
  std::string seen;
  XmlSaxCallbackAdapter adapter("root", &next,
                                [&](XmlSaxParser*, const unsigned char** attributes) {
                                  ++calls;
                                  seen = Str(attributes[1]);
                                });
  XmlSaxParser parser;
  const std::string match = "<root v='7'><child/></root>";
  parser.ParseMemory(match.data(), static_cast<unsigned int>(match.size()), &adapter);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, "7");
  EXPECT_EQ(next.log, "<child>''</child>''</root>");

  Recorder other;
  XmlSaxCallbackAdapter mismatch("other", &other,
                                 [&](XmlSaxParser*, const unsigned char**) { ++calls; });
  parser.ParseMemory(match.data(), static_cast<unsigned int>(match.size()), &mismatch);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(other.log, "");

  XmlSaxCallbackAdapter empty("root", nullptr, nullptr);
  EXPECT_THROW(parser.ParseMemory(match.data(), static_cast<unsigned int>(match.size()), &empty),
               std::bad_function_call);
}

TEST(XmlSaxParser, CharacterBufferMovesToTheHeapAt2048Bytes) {
  struct Probe : XmlSaxCallback {
    const XmlSaxParser* owner = nullptr;
    std::vector<std::pair<unsigned int, bool>> seen;  // size, inside the parser object
    void OnStartElement(XmlSaxParser* parser, const unsigned char*,
                        const unsigned char**) override {
      parser->PushCallback(this);
    }
    void OnEndElement(XmlSaxParser* parser, const unsigned char*) override {
      const auto p = reinterpret_cast<const char*>(parser->GetCharacterBuffer());
      const auto self = reinterpret_cast<const char*>(owner);
      seen.emplace_back(parser->GetCharacterBufferSize(),
                        p >= self && p < self + sizeof(XmlSaxParser));
    }
  } probe;
  XmlSaxParser parser;
  probe.owner = &parser;
  const std::string doc = "<r><a>" + std::string(2047, 'x') + "</a><b>" + std::string(2048, 'y') +
                          "</b><c>" + std::string(100000, 'z') + "</c></r>";
  parser.ParseMemory(doc.data(), static_cast<unsigned int>(doc.size()), &probe);
  ASSERT_EQ(probe.seen.size(), 4u);
  EXPECT_EQ(probe.seen[0], std::make_pair(2047u, true));
  EXPECT_EQ(probe.seen[1], std::make_pair(2048u, false));
  EXPECT_EQ(probe.seen[2], std::make_pair(100000u, false));
  EXPECT_EQ(probe.seen[3].first, 0u);
}

TEST(XmlSaxParser, CopiesNeverShareCharacterData) {
  struct CopyInside : XmlSaxCallback {
    std::string copied;
    void OnStartElement(XmlSaxParser* parser, const unsigned char*,
                        const unsigned char**) override {
      parser->PushCallback(this);
    }
    void OnEndElement(XmlSaxParser* parser, const unsigned char*) override {
      XmlSaxParser copy(*parser);
      copied = std::to_string(copy.GetCharacterBufferSize());
      copy = *parser;
      copied += "/" + std::to_string(copy.GetCharacterBufferSize());
    }
  } inside;
  XmlSaxParser parser;
  const std::string doc = "<a>" + std::string(5000, 'q') + "</a>";
  parser.ParseMemory(doc.data(), static_cast<unsigned int>(doc.size()), &inside);
  EXPECT_EQ(inside.copied, "0/0");
}

TEST(XmlSaxParser, FilesPlainAndGzipGiveTheSameEvents) {
  ScratchFolder folder;
  std::string doc = "<?xml version=\"1.0\"?><list>";
  for (int i = 0; i < 500; ++i)
    doc += "<item n=\"" + std::to_string(i) + "\">text " + std::to_string(i) + "</item>";
  doc += "</list>";
  WriteFile(folder.Path("plain.xml"), doc);
  WriteFile(folder.Path("packed.xml"), Gzip(doc));
  XmlSaxParser parser;
  Recorder plain, packed;
  parser.ParseFile(folder.WidePath("plain.xml"), &plain);
  parser.ParseFile(folder.WidePath("packed.xml"), &packed);
  EXPECT_EQ(plain.log, Events(doc));
  EXPECT_EQ(packed.log, plain.log);

  // Chunk boundaries: documents of 1023, 1024 and 1025 bytes parse whole.
  for (std::size_t size : {1023u, 1024u, 1025u}) {
    const std::string sized = "<a>" + std::string(size - 7, 'k') + "</a>";
    ASSERT_EQ(sized.size(), size);
    WriteFile(folder.Path("sized.xml"), sized);
    Recorder recorder;
    parser.ParseFile(folder.WidePath("sized.xml"), &recorder);
    EXPECT_EQ(recorder.bytesSeen, size - 7) << size;
  }
}

TEST(XmlSaxParser, FailuresRaiseTheirErrors) {
  ScratchFolder folder;
  XmlSaxParser parser;
  Recorder recorder;
  try {
    parser.ParseFile(folder.WidePath("x.xml"), nullptr);
    FAIL();
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 1);
    EXPECT_EQ(e.GetErrorArg(), u"[1096]");
  }
  try {
    parser.ParseMemory("<a/>", 4, nullptr);
    FAIL();
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorArg(), u"[1099]");
  }
  try {
    parser.ParseFile(folder.WidePath("missing.xml"), &recorder);
    FAIL();
  } catch (const FileIOException& e) {
    EXPECT_EQ(e.GetErrorId(), 2003);
    EXPECT_EQ(e.GetPathname(), folder.WidePath("missing.xml"));
  }

  // A truncated or corrupted gzip file is a read error, not a shorter document.
  std::string doc = "<r>";
  for (int i = 0; i < 2000; ++i) doc += "<e v='" + std::to_string(i * 7919) + "'/>";
  doc += "</r>";
  const std::string packed = Gzip(doc);
  WriteFile(folder.Path("cut.gz"), packed.substr(0, packed.size() / 2));
  std::string corrupt = packed;
  corrupt[corrupt.size() / 2] ^= 0x55;
  corrupt[corrupt.size() - 6] ^= 0x55;
  WriteFile(folder.Path("bad.gz"), corrupt);
  for (const char* name : {"cut.gz", "bad.gz"}) {
    try {
      parser.ParseFile(folder.WidePath(name), &recorder);
      ADD_FAILURE() << name;
    } catch (const FileIOException& e) {
      EXPECT_EQ(e.GetErrorId(), 2004) << name;
    }
  }
}

TEST(XmlSaxParser, MalformedDocumentsEndEarlyWithoutExceptionAndTellWhere) {
  // The events stop at the error; no end tag is invented. A document cut short still gets its
  // end-of-document event, a broken one does not. The first error is kept with its line.
  struct Case {
    const char* document;
    const char* events;
    int line;  // 0: well-formed
    const char* words;
  };
  const Case cases[] = {
      {"<a><b></a>", "[doc<a><b>", 1, "mismatch: b and a"},
      {"<a>\n<b>text", "[doc<a><b>doc]", 2, "ends before the end tag of element b"},
      {"", "doc]", 1, "no root element"},
      {"<?xml version='1.0'?>\n<!-- c -->\n", "[docdoc]", 3, "no root element"},
      {"<a>\n\n&undefined;</a><x/>", "[doc<a>", 3, "undefined"},
      {"<a/>\n<b/>", "[doc<a>''</a>doc]", 2, "Extra content"},
      {"<a>\n<b x='1' x='2'/></a>", "[doc<a>", 2, "redefined"},
      {"<a>\n<b>t</b>\n</a>", "[doc<a><b>'t'</b>''</a>doc]", 0, ""},
  };
  for (const Case& c : cases) {
    const std::string document = c.document;
    XmlSaxParser parser;
    Recorder recorder;
    parser.ParseMemory(document.data(), static_cast<unsigned int>(document.size()), &recorder);
    EXPECT_EQ(recorder.log, c.events) << document;
    const XmlParseError& error = parser.GetParseError();
    EXPECT_EQ(error.found, c.line != 0) << document;
    EXPECT_EQ(error.line, c.line) << document;
    EXPECT_NE(error.message.find(c.words), std::string::npos) << document << ": " << error.message;
    EXPECT_EQ(error.message.find('\n'), std::string::npos) << error.message;
  }
  // The next parse starts without the previous error.
  XmlSaxParser parser;
  Recorder recorder;
  parser.ParseMemory("<a", 2, &recorder);
  EXPECT_TRUE(parser.GetParseError().found);
  parser.ParseMemory("<a/>", 4, &recorder);
  EXPECT_FALSE(parser.GetParseError().found);
}

TEST(XmlSaxParser, CallbackExceptionsPassThroughAndTheParserStaysUsable) {
  struct Thrower : XmlSaxCallback {
    void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                        const unsigned char**) override {
      if (Str(name) == "bad") throw XmlException(3001);
      parser->PushCallback(this);
    }
    void OnEndElement(XmlSaxParser*, const unsigned char*) override {}
  } thrower;
  XmlSaxParser parser;
  const std::string doc = "<a>" + std::string(3000, 'x') + "<bad/></a>";
  EXPECT_THROW(parser.ParseMemory(doc.data(), static_cast<unsigned int>(doc.size()), &thrower),
               XmlException);
  EXPECT_EQ(parser.GetCharacterBufferSize(), 0u);
  Recorder recorder;
  parser.ParseMemory("<ok/>", 5, &recorder);
  EXPECT_EQ(recorder.log, "[doc<ok>''</ok>doc]");
}

TEST(XmlSaxParser, TypedReaders) {
  XmlSaxParser parser;
  auto v = [](const char* text) { return reinterpret_cast<const unsigned char*>(text); };
  EXPECT_TRUE(parser.GetBoolValue(v("1"), false));
  EXPECT_FALSE(parser.GetBoolValue(v("0x"), true));
  EXPECT_FALSE(parser.GetBoolValue(v("true"), false));
  EXPECT_TRUE(parser.GetBoolValue(nullptr, true));
  EXPECT_EQ(parser.GetLongValue(v("abc"), 5), 0);
  EXPECT_EQ(parser.GetLongValue(v(""), 5), 5);
  EXPECT_EQ(parser.GetLongValue(v(" -42x"), 5), -42);
  EXPECT_EQ(parser.GetLongValue(v("99999999999"), 5), INT32_MAX);
  EXPECT_EQ(parser.GetLongLongValue(v("-9000000000"), 0), -9000000000LL);
  EXPECT_EQ(parser.GetDoubleValue(v("abc"), 5.0), 5.0);
  EXPECT_EQ(parser.GetDoubleValue(v("2.5"), 0), 2.5);
  EXPECT_EQ(parser.GetDoubleValue(v(" -1e3z"), 0), -1000.0);
  EXPECT_EQ(parser.GetFloatValue(v("0.25"), 1.0f), 0.25f);
  EXPECT_EQ(parser.GetFloatValue(v("."), 1.0f), 1.0f);
  EXPECT_EQ(parser.GetSizetValue(v("4294967295"), 1), 4294967295u);
  EXPECT_EQ(parser.GetSizetValue(v("-1"), 1), 4294967295u);
  EXPECT_EQ(parser.GetSizetValue(v("x"), 9), 9u);
  EXPECT_EQ(parser.GetTimetValue(v("1700000000"), 0), 1700000000);
  EXPECT_EQ(parser.GetTimetValue(v("18446744073709551615"), 0), -1);
  EXPECT_EQ(parser.GetVersion(), (Version{-1, -1}));
  parser.SetVersion({2, 3});
  EXPECT_EQ(parser.GetVersion(), (Version{2, 3}));
}

TEST(XmlSaxParser, ConvertStringInsideAndBeyondTheConversionBuffer) {
  XmlSaxParser parser;
  std::u16string out = u"old";
  parser.ConvertString(reinterpret_cast<const unsigned char*>("x"), 0, out);
  EXPECT_EQ(out, u"");
  for (std::size_t size : {4096u, 4097u, 100000u}) {
    std::string utf8;
    while (utf8.size() + 4 <= size) utf8 += "\xF0\x9F\x98\x80";  // U+1F600
    while (utf8.size() < size) utf8 += "a";
    parser.ConvertString(reinterpret_cast<const unsigned char*>(utf8.data()),
                         static_cast<int>(size), out);
    EXPECT_EQ(out, ConvertUtf8ToWideChar(utf8)) << size;
  }
  EXPECT_EQ(XmlSaxParser::GetOutputBufferLength(), 4096);
}

}  // namespace
}  // namespace Qel
