#include "qel/xml/XmlTree.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "qel/core/Exceptions.h"
#include "qel/core/Visitor.h"
#include "qel/xml/ListIterator.h"
#include "qel/xml/XmlLimits.h"
#include "qel/xml/XmlSaxParser.h"
#include "xml/XmlTestSupport.h"

namespace Qel {
namespace {

using Testing::Gunzip;
using Testing::ReadFile;
using Testing::ScratchFolder;
using Testing::WriteFile;

// Owns one reference on a node for the length of a test.
struct Held {
  explicit Held(XmlNode* n) : node(n) {}
  ~Held() {
    if (node != nullptr) node->Release();
  }
  XmlNode* operator->() const { return node; }
  XmlNode* node;
};

// Equal names, texts, properties in order and children in order, compared without recursion.
bool SameTree(const XmlNode* a, const XmlNode* b, std::string* why) {
  std::vector<std::pair<const XmlNode*, const XmlNode*>> pending{{a, b}};
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    if ((x == nullptr) != (y == nullptr)) return *why = "missing node", false;
    if (x == nullptr) continue;
    if (x->GetName() != y->GetName() || x->IsContent() != y->IsContent() ||
        x->GetContent() != y->GetContent())
      return *why = "node " + Utf16ToUtf8(x->GetName().data(), x->GetName().size()) + " differs",
             false;
    if (x->GetProperties().size() != y->GetProperties().size())
      return *why = "property count", false;
    for (auto p = x->GetProperties().begin(), q = y->GetProperties().begin();
         p != x->GetProperties().end(); ++p, ++q)
      if ((*p)->GetName() != (*q)->GetName() || (*p)->GetValue() != (*q)->GetValue())
        return *why = "property differs", false;
    if (x->ChildCount() != y->ChildCount()) return *why = "child count", false;
    for (auto c = x->GetChildren().begin(), d = y->GetChildren().begin();
         c != x->GetChildren().end(); ++c, ++d)
      pending.emplace_back(*c, *d);
  }
  return true;
}

TEST(XmlNode, PropertiesKeepTheFirstValueAndTheirOrder) {
  Held node(XmlNode::Create(u"n"));
  EXPECT_NE(node->AddProperty(u"z", u"1"), nullptr);
  EXPECT_EQ(node->AddProperty(u"z", u"2"), nullptr);
  node->AddProperty(u"a", u"x");
  EXPECT_EQ(node->GetPropertyText(u"z"), u"1");
  EXPECT_EQ(node->GetPropertyText(u"missing"), u"");
  const std::u16string fallback = u"d";
  EXPECT_EQ(&node->GetPropertyText(u"missing", fallback), &fallback);
  XmlTree tree;
  tree.SetRoot(XmlNode::Create(node.node));
  EXPECT_EQ(tree.WriteBuffer(), "<?xml version=\"1.0\"?>\n<n z=\"1\" a=\"x\"/>\n");
  node->RemoveProperty(u"z");
  EXPECT_EQ(node->GetProperty(u"z"), nullptr);
  EXPECT_EQ(node->GetProperties().size(), 1u);
  EXPECT_NE(node->AddProperty(u"z", u"3"), nullptr);
}

TEST(XmlNode, TypedPropertiesAndSubNodes) {
  Held node(XmlNode::Create(u"n"));
  node->AddPropertyLongIfNotDefault(u"n", 5, 5);
  EXPECT_EQ(node->GetProperty(u"n"), nullptr);
  EXPECT_EQ(node->GetPropertyLong(u"n", 5), 5);
  node->AddPropertyDouble(u"d", 0.1234567);
  EXPECT_EQ(node->GetPropertyText(u"d"), u"0.123457");
  node->AddProperty(u"bad", u"abc");
  node->AddProperty(u"t", u"true");
  EXPECT_EQ(node->GetPropertyDouble(u"bad", 2.5), 2.5);
  EXPECT_TRUE(node->GetPropertyBool(u"t", true));
  EXPECT_FALSE(node->GetPropertyBool(u"t", false));
  node->AddPropertyBool(u"b", true);
  node->AddPropertyLong(u"l", -7);
  node->AddPropertyLongLong(u"ll", -9000000000LL);
  node->AddPropertySizet(u"s", 4000000000u);
  node->AddPropertyTimet(u"time", -1);
  node->AddPropertyDoubleIfNotDefault(u"nan", std::nan(""), std::nan(""));
  EXPECT_TRUE(node->GetPropertyBool(u"b", false));
  EXPECT_EQ(node->GetPropertyLong(u"l", 0), -7);
  EXPECT_EQ(node->GetPropertyLongLong(u"ll", 0), -9000000000LL);
  EXPECT_EQ(node->GetPropertySizet(u"s", 0), 4000000000u);
  EXPECT_EQ(node->GetPropertyText(u"time"), u"18446744073709551615");
  EXPECT_EQ(node->GetPropertyTimet(u"time", 0), -1);
  EXPECT_TRUE(std::isnan(node->GetPropertyDouble(u"nan", 0)));

  node->AddSubNodeLong(u"count", 12);
  node->AddSubNodeDouble(u"ratio", -0.5);
  node->AddSubNodeBool(u"flag", false);
  node->AddSubNodeSizetIfNotDefault(u"skip", 3, 3);
  EXPECT_EQ(node->GetSubNodeLong(u"count", 0), 12);
  EXPECT_EQ(node->GetSubNodeDouble(u"ratio", 0), -0.5);
  EXPECT_FALSE(node->GetSubNodeBool(u"flag", true));
  EXPECT_EQ(node->GetSubNodeSizet(u"skip", 9), 9u);
  EXPECT_EQ(node->GetSubNodeText(u"ratio"), u"-0.500000");
}

TEST(XmlNode, SubNodeTextNeedsExactlyOneChild) {
  Held node(XmlNode::Create(u"n"));
  node->AddSubNodeText(u"x", u"1");
  node->AddSubNodeText(u"y", u"a");
  node->AddSubNodeText(u"y", u"b");
  node->AddChild(u"empty");
  EXPECT_EQ(node->GetSubNodeText(u"x"), u"1");
  EXPECT_EQ(node->GetSubNodeText(u"empty"), u"");
  for (const char16_t* name : {u"y", u"none"}) {
    try {
      node->GetSubNodeText(name);
      ADD_FAILURE() << "no exception";
    } catch (const XMLFormatException& e) {
      EXPECT_EQ(e.GetErrorId(), 9);
    }
    EXPECT_EQ(node->GetSubNodeText(name, u"d", false), u"d");
  }
  std::list<XmlNode*> out{nullptr};
  node->FilterChildren(out, u"");
  EXPECT_EQ(out.size(), 4u);
  node->FilterChildren(out, u"y");
  EXPECT_EQ(out.size(), 2u);
  XmlNode* first = out.front();
  node->RemoveChild(first);
  EXPECT_EQ(node->ChildCount(), 3u);
  first->Release();
}

TEST(XmlNode, ChildrenAreWalkedByListIteratorAndCopiedDeeply) {
  Held root(XmlNode::Create(u"r"));
  root->AddChild(u"a")->AddProperty(u"p", u"v");
  root->AddContent(u"text");
  Node* notXml = XmlNode::Create(u"other");
  root->AddChild(notXml);
  EXPECT_EQ(root->ChildCount(), 3u);
  Iterator* it = root->CreateIterator();
  std::vector<std::u16string> names;
  for (it->Start(); !it->Done(); it->Next())
    names.push_back(static_cast<XmlNode*>(it->Current())->GetName());
  it->Release();
  EXPECT_EQ(names, (std::vector<std::u16string>{u"a", u"", u"other"}));

  Held copy(XmlNode::Create(root.node));
  std::string why;
  EXPECT_TRUE(SameTree(root.node, copy.node, &why)) << why;
  EXPECT_NE(copy->GetChildren().front(), root->GetChildren().front());
  EXPECT_TRUE(copy->IsInitialized());
  Held content(XmlNode::Create(u"ignored", u"words"));
  EXPECT_TRUE(content->IsContent());
  EXPECT_EQ(content->GetName(), u"");
  EXPECT_EQ(content->SetContent(u""), u"");
  EXPECT_FALSE(content->IsContent());
}

TEST(XmlTree, WritesIndentedFilesAndUnindentedBuffers) {
  ScratchFolder folder;
  XmlTree tree;
  XmlNode* root = tree.SetRoot(XmlNode::Create(u"root"));
  root->AddProperty(u"q", u"a\"b\t\n\r<&>\u00E9");
  root->AddSubNodeText(u"t", u"x<y & \u00E9\r");
  root->AddChild(u"empty");
  root->AddSubNodeText(u"s", u"");
  EXPECT_EQ(tree.WriteBuffer(),
            "<?xml version=\"1.0\"?>\n<root q=\"a&quot;b&#9;&#10;&#13;&lt;&amp;&gt;&#xE9;\">"
            "<t>x&lt;y &amp; &#xE9;&#xD;</t><empty/><s></s></root>\n");
  // Copies, empty text nodes included, write what the original writes.
  {
    const std::string original = tree.WriteBuffer();
    XmlTree copied(tree);
    XmlTree fromPointer(&tree);
    XmlTree assigned;
    assigned = tree;
    for (const XmlTree* copy : {&copied, &fromPointer, &assigned}) {
      EXPECT_EQ(copy->WriteBuffer(), original);
      EXPECT_NE(copy->GetRoot(), tree.GetRoot()) << "a copy has nodes of its own";
    }
  }
  tree.SetCompression(0);
  ASSERT_TRUE(tree.Write(folder.WidePath("plain.xml")));
  const std::string written = ReadFile(folder.Path("plain.xml"));
  EXPECT_EQ(written,
            "<?xml version=\"1.0\"?>\n<root q=\"a&quot;b&#9;&#10;&#13;&lt;&amp;&gt;&#xE9;\">\n"
            "  <t>x&lt;y &amp; &#xE9;&#xD;</t>\n  <empty/>\n  <s></s>\n</root>\n");
  EXPECT_EQ(tree.WriteIndentedBuffer(), written);
  for (int level : {1, 5, 9}) {
    tree.SetCompression(level);
    ASSERT_TRUE(tree.Write(folder.WidePath("packed.xml")));
    const std::string packed = ReadFile(folder.Path("packed.xml"));
    ASSERT_GE(packed.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x1F);
    EXPECT_EQ(Gunzip(packed), written);
  }
  EXPECT_EQ(tree.SetCompression(12), 9);
  EXPECT_EQ(tree.SetCompression(-3), 0);

  // Reading it back: the empty text is gone, the rest is as written.
  XmlTree back(folder.WidePath("plain.xml"));
  XmlNode* s = nullptr;
  for (XmlNode* child : back.GetRoot()->GetChildren())
    if (child->GetName() == u"s") s = child;
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ChildCount(), 0u);
  EXPECT_EQ(back.GetRoot()->GetSubNodeText(u"s"), u"");
  EXPECT_EQ(back.GetRoot()->GetSubNodeText(u"t"), u"x<y & \u00E9\r");
  EXPECT_EQ(back.GetRoot()->GetPropertyText(u"q"), u"a\"b\t\n\r<&>\u00E9");
}

TEST(XmlTree, WriteRefusesWhatWouldNotParseBack) {
  ScratchFolder folder;
  WriteFile(folder.Path("keep.xml"), "precious");
  auto attempt = [&](XmlNode* root) {
    XmlTree tree;
    tree.SetRoot(root);
    tree.SetCompression(0);
    try {
      tree.Write(folder.WidePath("keep.xml"));
      return std::u16string(u"written");
    } catch (const BaseException& e) {
      EXPECT_EQ(e.GetErrorId(), 17);
      EXPECT_EQ(ReadFile(folder.Path("keep.xml")), "precious");
      return e.GetErrorArg();
    }
  };
  XmlNode* control = XmlNode::Create(u"r");
  control->AddSubNodeText(u"t", u"a\u0001b");
  EXPECT_EQ(attempt(control), u"xmlEscapeEntities : char out of range\n");
  EXPECT_EQ(XmlTree::ErrorMessage, u"xmlEscapeEntities : char out of range\n");
  XmlNode* attribute = XmlNode::Create(u"r");
  attribute->AddProperty(u"a", u"x\u0002");
  EXPECT_NE(attempt(attribute), u"written");
  XmlNode* surrogate = XmlNode::Create(u"r");
  surrogate->AddContent(std::u16string(1, char16_t(0xD800)));
  EXPECT_NE(attempt(surrogate), u"written");
  XmlNode* badName = XmlNode::Create(u"r");
  badName->AddChild(u"1 x");
  EXPECT_NE(attempt(badName), u"written");
  XmlNode* badProperty = XmlNode::Create(u"r");
  badProperty->AddProperty(u"", u"v");
  EXPECT_NE(attempt(badProperty), u"written");
}

TEST(XmlTree, ReadAndRead2BuildTheSameKindOfTree) {
  ScratchFolder folder;
  const std::string text2000 = std::string(2000, 't');
  const std::string doc =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e 'ent'>]>\n<r a=\"1\" b='&e;'>\n  "
      "<c>before<d/>after &e;</c>\n"
      "  <long>" +
      text2000 + "</long>\n  <u>\xE2\x82\xAC \xF0\x9F\x98\x80</u>\n  <w>   </w>\n</r>\n";
  WriteFile(folder.Path("doc.xml"), doc);
  XmlTree sax(folder.WidePath("doc.xml"));
  XmlNode* root = sax.GetRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->GetPropertyText(u"b"), u"ent");
  std::list<XmlNode*> c;
  root->FilterChildren(c, u"c");
  ASSERT_EQ(c.size(), 1u);
  ASSERT_EQ(c.front()->ChildCount(), 2u);
  EXPECT_EQ(c.front()->GetChildren().back()->GetName(), u"text");
  EXPECT_TRUE(c.front()->GetChildren().back()->IsContent());
  EXPECT_EQ(c.front()->GetChildren().back()->GetContent(), u"after ent");
  EXPECT_EQ(root->GetSubNodeText(u"long").size(), 2000u);
  EXPECT_EQ(root->GetSubNodeText(u"u"), u"\u20AC \U0001F600");
  std::list<XmlNode*> w;
  root->FilterChildren(w, u"w");
  EXPECT_EQ(w.front()->ChildCount(), 0u);

  XmlTree tree;
  tree.SetFilename(folder.WidePath("doc.xml"));
  ASSERT_TRUE(tree.Read2());
  EXPECT_TRUE(tree.initialized());
  EXPECT_EQ(tree.GetRoot()->GetSubNodeText(u"long").size(), 1024u);
  EXPECT_EQ(tree.GetRoot()->GetPropertyText(u"b"), u"ent");
  EXPECT_EQ(tree.GetRoot()->GetSubNodeText(u"u"), u"\u20AC \U0001F600");

  EXPECT_FALSE(tree.ReadBuffer("<a><b></a>"));
  EXPECT_FALSE(tree.initialized());
  EXPECT_EQ(tree.GetRoot(), nullptr);
  EXPECT_EQ(tree.GetFilename(), u"");
  ASSERT_TRUE(tree.ReadBuffer("<a x='1'><b>t</b></a>"));
  EXPECT_EQ(tree.GetRoot()->GetSubNodeText(u"b"), u"t");
}

TEST(XmlTree, ParseWriteParseGivesAnEqualTree) {
  ScratchFolder folder;
  const std::string doc =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e '&#38;#38;&#38;#60;ent'>]><r xmlns=\"urn:x\" "
      "p:q='&quot;&e;'>"
      "<a>x<b/>y</a><c><![CDATA[<cdata> & ]]]]>\t\r\n</c><d \xC3\xA9='\xF0\x9F\x98\x80 \n\t'/><e>  "
      "lead and trail  </e>"
      "<f>" +
      std::string(5000, 'z') + "</f><g>\xEF\xBF\xBD\xC2\x85\x7F</g></r>";
  WriteFile(folder.Path("in.xml"), doc);
  XmlTree first(folder.WidePath("in.xml"));
  ASSERT_NE(first.GetRoot(), nullptr);
  for (int level : {0, 9}) {
    first.SetCompression(level);
    ASSERT_TRUE(first.Write(folder.WidePath("out.xml")));
    XmlTree second(folder.WidePath("out.xml"));
    std::string why;
    EXPECT_TRUE(SameTree(first.GetRoot(), second.GetRoot(), &why)) << why << " level " << level;
  }
  XmlTree copy(&first), assigned;
  assigned = first;
  std::string why;
  for (const XmlTree* t : {&copy, &assigned})
    EXPECT_TRUE(SameTree(first.GetRoot(), t->GetRoot(), &why)) << why;
}

TEST(XmlTree, ReadFailures) {
  ScratchFolder folder;
  XmlTree tree;
  for (bool read2 : {false, true}) {
    try {
      read2 ? tree.Read2() : tree.Read(folder.WidePath("missing.xml"));
      ADD_FAILURE() << "a missing file was read";
    } catch (const FileIOException& e) {
      EXPECT_EQ(e.GetErrorId(), 2003);
    }
  }
  const std::string packed = Testing::Gzip("<r>" + std::string(100000, 'q') + "</r>");
  WriteFile(folder.Path("cut.gz"), packed.substr(0, packed.size() - 9));
  tree.SetFilename(folder.WidePath("cut.gz"));
  EXPECT_THROW(tree.Read2(), FileIOException);
  EXPECT_THROW(tree.Read(), FileIOException);
  // A malformed file read with Read keeps what was built before the error and tells where it is.
  WriteFile(folder.Path("broken.xml"), "<r><a/>\n<b><c></b></r>");
  ASSERT_TRUE(tree.Read(folder.WidePath("broken.xml")));
  ASSERT_NE(tree.GetRoot(), nullptr);
  EXPECT_EQ(tree.GetRoot()->ChildCount(), 2u);
  EXPECT_TRUE(tree.GetReadError().found);
  EXPECT_EQ(tree.GetReadError().line, 2);
  WriteFile(folder.Path("fine.xml"), "<r/>");
  ASSERT_TRUE(tree.Read(folder.WidePath("fine.xml")));
  EXPECT_FALSE(tree.GetReadError().found);
  ASSERT_TRUE(tree.Read(folder.WidePath("broken.xml")));
  EXPECT_FALSE(tree.Read2());
  EXPECT_EQ(tree.GetRoot(), nullptr);
}

TEST(XmlTree, AMillionNestedElementsNeedNoDeepStack) {
  ScratchFolder folder;
  constexpr int depth = 1000000;
  std::string doc;
  doc.reserve(depth * 7 + 16);
  for (int i = 0; i < depth; ++i) doc += "<a>";
  doc += "x";
  for (int i = 0; i < depth; ++i) doc += "</a>";
  WriteFile(folder.Path("deep.xml"), doc);
  // A million elements is more than a tree takes by default: a user who needs them says so.
  XmlLimits limits;
  limits.maxTreeElements = 2 * depth;
  SetXmlLimits(limits);
  struct Restore {
    ~Restore() { SetXmlLimits(XmlLimits{}); }
  } restore;

  XmlTree tree(folder.WidePath("deep.xml"));  // built
  struct Counter : Visitor {
    int nodes = 0;
    void DoVisit(Node*) override { ++nodes; }
  } counter;
  tree.GetRoot()->Visit(&counter);  // walked
  EXPECT_EQ(counter.nodes, depth + 1);
  {
    XmlTree copy(&tree);  // copied, then released
    copy.SetCompression(0);
    ASSERT_TRUE(copy.Write(folder.WidePath("out.xml")));  // written
  }
  XmlTree back(folder.WidePath("out.xml"));
  int levels = 0;
  for (XmlNode* n = back.GetRoot(); n != nullptr;
       n = n->ChildCount() ? n->GetChildren().front() : nullptr)
    ++levels;
  EXPECT_EQ(levels, depth + 1);
  // The document-tree reader refuses such depth instead of recursing.
  EXPECT_FALSE(back.Read2());
}

TEST(XmlTree, FilesDoNotDependOnTheLocale) {
  ScratchFolder folder;
  auto write = [&](const std::string& name) {
    XmlTree tree;
    XmlNode* root = tree.SetRoot(XmlNode::Create(u"r"));
    root->AddPropertyDouble(u"d", -1234.5);
    root->AddSubNodeDouble(u"s", 0.25);
    tree.SetCompression(0);
    tree.Write(folder.WidePath(name));
    return ReadFile(folder.Path(name));
  };
  const std::string plain = write("c.xml");
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
    if ((comma = std::setlocale(LC_ALL, name)) != nullptr) break;
  if (comma == nullptr) {
    // No such locale installed: build one for this test where the system tools allow it.
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + folder.Path("de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0 && setenv("LOCPATH", folder.Path("").c_str(), 1) == 0)
      comma = std::setlocale(LC_ALL, "de_DE.UTF-8");
  }
  if (comma == nullptr) {
    unsetenv("LOCPATH");
    GTEST_SKIP() << "no locale with a decimal comma is available";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5") << "the locale does not use a decimal comma";
  const std::string localized = write("de.xml");
  XmlTree back(folder.WidePath("de.xml"));
  const double d = back.GetRoot()->GetPropertyDouble(u"d", 0);
  const double s = back.GetRoot()->GetSubNodeDouble(u"s", 0);
  std::setlocale(LC_ALL, saved.c_str());
  unsetenv("LOCPATH");
  EXPECT_EQ(localized, plain);
  EXPECT_NE(plain.find("d=\"-1234.500000\""), std::string::npos);
  EXPECT_EQ(d, -1234.5);
  EXPECT_EQ(s, 0.25);
}

TEST(XmlTreeConcurrency, ErrorMessagesAndBuffersArePerThread) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 200; ++i) {
        XmlTree tree;
        XmlNode* root = tree.SetRoot(XmlNode::Create(u"t" + std::u16string(1, char16_t(u'0' + t))));
        if (t % 2 == 0) root->AddContent(u"bad\u0001");
        try {
          const std::string& text = tree.WriteBuffer();
          if (t % 2 == 0 || text.find("<t" + std::to_string(t)) == std::string::npos) ++failures;
          if (!XmlTree::ErrorMessage.empty()) ++failures;
        } catch (const BaseException&) {
          if (t % 2 != 0) ++failures;
        }
        const std::string doc =
            "<!DOCTYPE x [<!ENTITY v '" + std::to_string(i) + "'>]><x n='&v;'/>";
        XmlTree parsed;
        if (!parsed.ReadBuffer(doc) || parsed.GetRoot()->GetPropertyLong(u"n", -1) != i) ++failures;
        XmlSaxParser parser;
        XmlTree viaSax;
        parser.ParseMemory(doc.data(), static_cast<unsigned int>(doc.size()), &viaSax);
        if (viaSax.GetRoot() == nullptr || viaSax.GetRoot()->GetPropertyLong(u"n", -1) != i)
          ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
}

TEST(StringList, ReadsTheTextAttributes) {
  const std::string doc =
      "<Strings><String Text='one'/><String/><String Other='x' Text='no'/><Other Text='no'/>"
      "<String Text='t\xC3\xA9'><String Text='nested'/></String></Strings>";
  XmlSaxParser parser;
  StringList list;
  parser.ParseMemory(doc.data(), static_cast<unsigned int>(doc.size()), &list);
  EXPECT_EQ(list.GetStrings(), (std::vector<std::u16string>{u"one", u"t\u00E9"}));
}

}  // namespace
}  // namespace Qel
