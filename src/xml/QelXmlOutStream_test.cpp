#include "qel/xml/QelXmlOutStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "qel/core/Exceptions.h"
#include "qel/xml/XmlNode.h"
#include "qel/xml/XmlTree.h"
#include "xml/XmlTestSupport.h"

namespace Qel {
namespace {

using Testing::Gunzip;
using Testing::ReadFile;
using Testing::ScratchFolder;

const std::string kDeclaration = "<?xml version=\"1.0\"?>\n";

TEST(QelXmlOutStream, WritesElementsAttributesAndTexts) {
  QelXmlOutStream out(StorageString, 64);
  out.CreateNode("a");
  out.AddProperty("x", std::int32_t{5});
  out.CloseNode("a");
  EXPECT_EQ(out.getXmlString(), kDeclaration + "<a x=\"5\"></a>");

  QelXmlOutStream nested(StorageString, 64);
  nested.CreateNode("a");
  nested.AddSubNodeText("b", u"1<2");
  nested.AddSubNodeText("e", u"");
  nested.CreateNode("c");
  nested.AddText(u"t\u00E9");
  nested.CloseNode("c");
  nested.CloseNode("a");
  EXPECT_EQ(nested.getXmlString(), kDeclaration + "<a><b>1&lt;2</b><e></e><c>t\xC3\xA9</c></a>");
}

TEST(QelXmlOutStream, TypedAttributesAndEscaping) {
  char big[400];
  std::snprintf(big, sizeof big, "%f", 1e300);
  QelXmlOutStream out(StorageString, 0);
  out.CreateNode("n");
  out.AddProperty("w", std::u16string(u"\t\n\"\u0001&<>'\r\U0001F600"));
  out.AddProperty("raw", "<&>");
  out.AddProperty("b", true);
  out.AddProperty("l", std::int32_t{-12});
  out.AddProperty("u", 4000000000u);
  out.AddProperty("ll", std::int64_t{-9000000000});
  out.AddProperty("d", 0.5);
  out.AddProperty("big", 1e300);
  out.AddProperty("lit", u"x");
  out.CloseNode("n");
  EXPECT_EQ(out.getXmlString(),
            kDeclaration +
                "<n w=\"&#09;&#10;&quot;\xEF\xBF\xBD&amp;&lt;&gt;&apos;&#13;\xF0\x9F\x98\x80\" "
                "raw=\"&lt;&amp;&gt;\" b=\"1\" "
                "l=\"-12\" u=\"4000000000\" ll=\"-9000000000\" d=\"0.500000\" big=\"" +
                big + "\" lit=\"x\"></n>");
  // Conversion ends at the first NUL; an unpaired surrogate becomes U+FFFD.
  QelXmlOutStream cut(StorageString, 0);
  cut.CreateNode("n");
  cut.AddProperty("v", std::u16string(u"ab\0cd", 5));
  cut.AddProperty("s", std::u16string(1, char16_t(0xDC00)) + u"z");
  cut.CloseNode("n");
  EXPECT_EQ(cut.getXmlString(), kDeclaration + "<n v=\"ab\" s=\"\xEF\xBF\xBDz\"></n>");
}

// What XML 1.0 cannot hold is written as U+FFFD, so the library's readers take every document
// the stream writes and read each value back.
TEST(QelXmlOutStream, EveryDocumentWrittenReadsBack) {
  const struct {
    std::u16string wide;
    std::string narrow;
    std::u16string read;
  } cases[] = {
      {u"a\uFFFEb",
       "a\xEF\xBF\xBE"
       "b",
       u"a\uFFFDb"},
      {u"\uFFFF", "\xEF\xBF\xBF", u"\uFFFD"},
      {u"c\u0001\u001F\u007F", "c\x01\x1F\x7F", u"c\uFFFD\uFFFD\u007F"},
      {std::u16string(1, char16_t(0xD800)) + u"x", "\xED\xA0\x80x", u"\uFFFDx"},
      {u"y" + std::u16string(1, char16_t(0xDFFF)), "y\xFF", u"y\uFFFD"},
      {u"<\"&'>\t\r\n", "<\"&'>\t\r\n", u"<\"&'>\t\r\n"},
  };
  for (const auto& c : cases) {
    QelXmlOutStream out(StorageString, 0);
    out.CreateNode("r");
    out.AddProperty("w", c.wide);
    out.AddProperty("n", c.narrow.c_str());
    out.AddText(c.wide);
    out.AddSubNodeText("s", c.wide);
    out.CloseNode("r");
    XmlTree tree;
    ASSERT_TRUE(tree.ReadBuffer(out.getXmlString())) << out.getXmlString();
    const XmlNode* root = tree.GetRoot();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->GetProperties().size(), 2u);
    for (const XmlProperty* property : root->GetProperties())
      EXPECT_EQ(property->GetValue(), c.read) << out.getXmlString();
  }
}

TEST(QelXmlOutStream, NamesThatBreakTheDocumentAreRefused) {
  const std::function<void(QelXmlOutStream&)> misuses[] = {
      [](QelXmlOutStream& out) { out.CreateNode("1a"); },
      [](QelXmlOutStream& out) { out.CreateNode("a b"); },
      [](QelXmlOutStream& out) { out.CreateNode("a><b"); },
      [](QelXmlOutStream& out) { out.AddSubNodeText("", u"x"); },
      [](QelXmlOutStream& out) {
        out.CreateNode("a");
        out.AddProperty("x=\"1\" y", u"2");
      },
      [](QelXmlOutStream& out) {
        out.CreateNode("a");
        out.AddProperty("x", 1);
        out.AddProperty("x", u"2");
      },
  };
  for (const auto& misuse : misuses) {
    QelXmlOutStream out(StorageString, 0);
    try {
      misuse(out);
      ADD_FAILURE() << "accepted: " << out.getXmlString();
    } catch (const XmlException& e) {
      EXPECT_EQ(e.GetErrorId(), ErrorId::XmlIllegalCharacters);
    }
  }
}

TEST(QelXmlOutStream, MisuseRaisesXmlExceptions) {
  auto expectError = [](int id, auto&& action) {
    QelXmlOutStream out(StorageString, 0);
    try {
      action(out);
      ADD_FAILURE() << "no exception for " << id;
    } catch (const XmlException& e) {
      EXPECT_EQ(e.GetErrorId(), id);
    }
  };
  expectError(3001, [](QelXmlOutStream& out) { out.AddProperty("x", "1"); });
  expectError(3001, [](QelXmlOutStream& out) {
    out.CreateNode("a");
    out.CreateNode("b");
    out.CloseNode("b");
    out.AddProperty("x", "1");
  });
  expectError(3001, [](QelXmlOutStream& out) {
    out.CreateNode("a");
    out.AddText(u"1");
    out.AddText(u"2");
  });
  expectError(3002, [](QelXmlOutStream& out) {
    out.CreateNode("a");
    out.CloseNode("b");
  });
  expectError(3001, [](QelXmlOutStream& out) { out.CloseNode("a"); });
}

TEST(QelXmlOutStream, FilesPlainAndCompressed) {
  ScratchFolder folder;
  const std::string expected = kDeclaration + "<r v=\"1\"><c>x</c></r>";
  for (StorageType type : {StorageFile, StorageCompressedFile}) {
    const std::string name = type == StorageFile ? "plain.xml" : "packed.xml";
    {
      QelXmlOutStream out(type, folder.WidePath(name));
      out.CreateNode("r");
      out.AddProperty("v", true);
      out.AddSubNodeText("c", u"x");
      out.CloseNode("r");
      try {
        out.Open(folder.WidePath("other.xml"));
        ADD_FAILURE() << "Open of an open stream";
      } catch (const XmlException& e) {
        EXPECT_EQ(e.GetErrorId(), 3003);
      }
      out.Close();
    }
    const std::string bytes = ReadFile(folder.Path(name));
    EXPECT_EQ(type == StorageFile ? bytes : Gunzip(bytes), expected) << name;
  }
  // Reopening after Close starts a new document.
  QelXmlOutStream out(StorageCompressedFile, folder.WidePath("first.xml"));
  out.Close();
  out.Open(folder.WidePath("second.xml"));
  out.CreateNode("z");
  out.CloseNode("z");
  out.Close();
  EXPECT_EQ(Gunzip(ReadFile(folder.Path("second.xml"))), kDeclaration + "<z></z>");
  for (StorageType type : {StorageFile, StorageCompressedFile}) {
    try {
      QelXmlOutStream bad(type, folder.WidePath("missing/dir/x.xml"));
      ADD_FAILURE() << "created a file in a missing folder, storage " << type;
    } catch (const FileIOException& e) {
      EXPECT_EQ(e.GetErrorId(), 2002);
    }
  }
}

TEST(QelXmlOutStream, PlainFileKeepsEverythingHandedToIt) {
  ScratchFolder folder;
  // Far more than one write's worth, so that output crosses several writes to the file.
  std::string expected = kDeclaration + "<r>";
  {
    QelXmlOutStream out(StorageFile, folder.WidePath("big.xml"));
    out.CreateNode("r");
    for (int i = 0; i < 20000; ++i) {
      const std::u16string text = u"item " + std::u16string(1, char16_t(u'a' + i % 26));
      out.AddSubNodeText("c", text);
      expected += "<c>item ";
      expected += char('a' + i % 26);
      expected += "</c>";
    }
    out.CloseNode("r");
    out.Close();
  }
  expected += "</r>";
  EXPECT_EQ(ReadFile(folder.Path("big.xml")), expected);

  // Without Close, what the stream already passed on still reaches the file; the start tag's
  // pending '>' does not.
  {
    QelXmlOutStream out(StorageFile, folder.WidePath("open.xml"));
    out.CreateNode("r");
    out.AddProperty("v", 7);
  }
  EXPECT_EQ(ReadFile(folder.Path("open.xml")), kDeclaration + "<r v=\"7\"");
}

TEST(QelXmlOutStream, CopiesNeverShareTheFile) {
  ScratchFolder folder;
  QelXmlOutStream out(StorageCompressedFile, folder.WidePath("a.xml"));
  out.CreateNode("r");
  QelXmlOutStream copy(out);
  copy.CloseNode("r");  // writes nowhere: the copy holds no file
  copy.Open(folder.WidePath("b.xml"));
  copy.Close();
  out.CloseNode("r");
  out.Close();
  EXPECT_EQ(Gunzip(ReadFile(folder.Path("a.xml"))), kDeclaration + "<r></r>");
  EXPECT_EQ(Gunzip(ReadFile(folder.Path("b.xml"))), kDeclaration);
}

TEST(QelXmlOutStream, Utf8ToWideNeverReadsPastItsInput) {
  std::u16string out = u">";
  QelXmlOutStream::utf8towstr(out, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(out, u">a\u00E9\u20AC\U0001F600");
  ASSERT_EQ(std::u16string(u"\U0001F600"), (std::u16string{char16_t(0xD83D), char16_t(0xDE00)}));
  // Stray continuation, invalid lead and sequences cut at the end become U+FFFD; a decoder
  // that read on would take the string's terminator as a continuation byte instead. The lead
  // byte alone sets the length: following bytes are taken unchecked, so overlong forms and
  // encoded surrogates decode as they stand.
  const std::pair<std::string, std::u16string> cases[] = {
      {"\x80", u"\uFFFD"},
      {"\xF8z", u"\uFFFDz"},
      {"x\xE2\x82", u"x\uFFFD"},
      {"\xF0\x9F", u"\uFFFD"},
      {"\xC3", u"\uFFFD"},
      {"\xF4\x90\x80\x80", u"\uFFFD"},
      {std::string("\xC0\x80z", 3), std::u16string(u"\0z", 2)},
      {"\xED\xA0\x80", std::u16string(1, char16_t(0xD800))},
      {"\xE2\x41\x41", u"\u2041"},
      {std::string(20, 'a') + "\xED\xA0\x80", std::u16string(20, u'a') + char16_t(0xD800)}};
  for (const auto& [bad, expected] : cases) {
    std::u16string decoded;
    QelXmlOutStream::utf8towstr(decoded, bad);
    EXPECT_EQ(decoded, expected) << "input of " << bad.size() << " bytes";
  }
}

}  // namespace
}  // namespace Qel
