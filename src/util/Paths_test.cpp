#include <gtest/gtest.h>

#include "qel/util/Files.h"

namespace Qel {
namespace {

TEST(Paths, ExtensionsAndNames) {
  EXPECT_EQ(GetExtension(u"a.b\\c"), u"");
  EXPECT_EQ(GetExtension(u"a.b/c"), u"");
  EXPECT_EQ(GetExtension(u"x:a.b:c"), u"");
  EXPECT_EQ(GetExtension(u"c.txt"), u".txt");
  EXPECT_EQ(GetExtension(u"c."), u"");
  EXPECT_EQ(GetExtension(u".txt"), u".txt");
  EXPECT_EQ(GetExtension(u"/d/a.tar.gz"), u".gz");
  EXPECT_EQ(GetExtensionWithoutDot(u"c.txt"), u"txt");
  EXPECT_EQ(GetExtensionWithoutDot(u"c"), u"");

  EXPECT_EQ(GetFileName(u"d:\\x\\a.tar.gz"), u"a.tar.gz");
  EXPECT_EQ(GetFileName(u"c:a.txt"), u"a.txt");
  EXPECT_EQ(GetFileName(u"plain"), u"plain");
  EXPECT_EQ(GetFileNameWithoutExtension(u"d:\\x\\a.tar.gz"), u"a.tar");
  EXPECT_EQ(GetFileNameWithoutExtension(u"/x/.profile"), u"");
  EXPECT_EQ(GetFileNameWithoutExtension(u"/x/name"), u"name");

  // The pure name and the folder split at the later of "/" and "\".
  EXPECT_EQ(GetPureFileName(u"c:a.txt"), u"c:a.txt");
  EXPECT_EQ(GetPureFileName(u"/home/u\\x/a.txt"), u"a.txt");
  EXPECT_EQ(GetFolder(u"/home/u/a.txt"), u"/home/u");
  EXPECT_EQ(GetFolder(u"C:\\data\\a.txt"), u"C:\\data");
  EXPECT_EQ(GetFolder(u"a.txt"), u"");
}

TEST(Paths, ChangeExtension) {
  EXPECT_EQ(ChangeExtension(u"a.txt", u"xml"), u"a.xml");
  EXPECT_EQ(ChangeExtension(u"a.txt", u".xml"), u"a.xml");
  EXPECT_EQ(ChangeExtension(u"a.txt", u""), u"a");
  EXPECT_EQ(ChangeExtension(u"", u"xml"), u"");
  EXPECT_EQ(ChangeExtension(u"dir.d/a", u"xml"), u"dir.d/a.xml");
  EXPECT_EQ(ChangeExtensionToEncrypted(u"a.xml"), u"a.encxml");
  EXPECT_EQ(ChangeExtensionToEncrypted(u"a"), u"a.enc");
  EXPECT_EQ(ChangeExtensionToEncrypted(u"a.ENCxml"), u"a.ENCxml");
}

TEST(Paths, CombineKeepsTheDelimiterFoundAndFallsBackToSlash) {
  EXPECT_EQ(GetCombinedPath(u"c:\\x", u"y"), u"c:\\x\\y");
  EXPECT_EQ(GetCombinedPath(u"a/b", u"c"), u"a/b/c");
  EXPECT_EQ(GetCombinedPath(u"c:", u"y"), u"c:y");
  EXPECT_EQ(GetCombinedPath(u"c:\\x", u"\\y"), u"\\y");
  EXPECT_EQ(GetCombinedPath(u"/x", u"/y"), u"/y");
  EXPECT_EQ(GetCombinedPath(u"a", u"b"), u"a/b");
  EXPECT_EQ(GetCombinedPath(u"a", u"b\\c"), u"a\\b\\c");
  EXPECT_EQ(GetCombinedPath(u"a/", u"b"), u"a/b");
  EXPECT_EQ(GetCombinedPath(u"", u"b"), u"b");
  EXPECT_EQ(GetCombinedPath(u"a", u""), u"a");
  EXPECT_EQ(GetCombinedPath(u"/r", u"a", u"b", u"c", u"d.txt"), u"/r/a/b/c/d.txt");
  EXPECT_EQ(GetCombinedPath(u"r", u"a", u"b"), u"r/a/b");

  char16_t delimiter = 0;
  EXPECT_TRUE(TryToGetPathDelimiter(u"a/b\\c", delimiter));
  EXPECT_EQ(delimiter, u'\\');
  EXPECT_FALSE(TryToGetPathDelimiter(u"abc", delimiter));
  EXPECT_EQ(delimiter, u'\\');
}

TEST(Paths, AbsoluteRootAndSeparators) {
  EXPECT_TRUE(IsAbsolutePath(u"/x"));
  EXPECT_TRUE(IsAbsolutePath(u"\\x"));
  EXPECT_TRUE(IsAbsolutePath(u"c:x"));
  EXPECT_FALSE(IsAbsolutePath(u"x/y"));
  EXPECT_FALSE(IsAbsolutePath(u""));
  for (const char16_t* root :
       {u"/x", u"\\x", u"./x", u".\\x", u"../x", u"..\\x", u"C:\\", u"c:/y"}) {
    EXPECT_TRUE(IsRootPath(root)) << "root";
  }
  for (const char16_t* notRoot : {u"x", u"c:", u"c:x", u".x", u"", u"..x"}) {
    EXPECT_FALSE(IsRootPath(notRoot)) << "not root";
  }
  EXPECT_TRUE(IsSeparator(0x4E2D, u""));
  EXPECT_TRUE(IsSeparator(u',', u";,"));
  EXPECT_FALSE(IsSeparator(u'a', u";,"));
  EXPECT_FALSE(IsSeparator(0x9FA6, u""));
}

TEST(Paths, DirectoryFromFilenameDependsOnTheScheme) {
  EXPECT_EQ(QelGetDirectoryFromFilename(u"C:\\a.txt"), u"C:\\");
  EXPECT_EQ(QelGetDirectoryFromFilename(u"C:\\data\\a.txt"), u"C:\\data");
  EXPECT_EQ(QelGetDirectoryFromFilename(u"ftp:x/y"), u"ftp:x");
  EXPECT_EQ(QelGetDirectoryFromFilename(u"http://h/p\\q"), u"http://h");
  EXPECT_EQ(QelGetDirectoryFromFilename(u"/home/u/a.txt"), u"/home/u");
  EXPECT_EQ(QelGetDirectoryFromFilename(u"/home/u\\a.txt"), u"/home/u");
  EXPECT_EQ(QelGetDirectoryFromFilename(u"mailto:someone"), u"mailto:");
  EXPECT_EQ(QelGetDirectoryFromFilename(u"a.txt"), u"");
}

TEST(Paths, CheckFolderComparesLowerCased) {
  EXPECT_TRUE(CheckFolder(u"a.txt", u""));
  EXPECT_FALSE(CheckFolder(u"a.txt", u"x"));
  EXPECT_TRUE(CheckFolder(u"C:\\X\\a.txt", u"c:\\x"));
  EXPECT_TRUE(CheckFolder(u"/Data/\u00C4/a.txt", u"/data/\u00E4"));
  EXPECT_FALSE(CheckFolder(u"/data/a/b.txt", u"/data"));
}

TEST(Paths, CommonPrefixAndRelativePath) {
  char16_t out[QEL_MAX_PATH];
  EXPECT_TRUE(QelPathCommonPrefix(u"C:\\win\\desktop", u"C:\\win\\tray", out));
  EXPECT_EQ(std::u16string(out), u"C:\\win");
  EXPECT_TRUE(QelPathCommonPrefix(u"/a/b", u"/c", out));
  EXPECT_EQ(std::u16string(out), u"/");
  EXPECT_TRUE(QelPathCommonPrefix(u"C:\\a", u"C:\\b", out));
  EXPECT_EQ(std::u16string(out), u"C:\\");
  EXPECT_TRUE(QelPathCommonPrefix(u"a/bc", u"a/b", out));
  EXPECT_EQ(std::u16string(out), u"a");
  EXPECT_TRUE(QelPathCommonPrefix(u"a/b", u"a\\b/", out));
  EXPECT_EQ(std::u16string(out), u"a/b");
  EXPECT_FALSE(QelPathCommonPrefix(u"abc", u"abd", out));
  EXPECT_EQ(std::u16string(out), u"");

  EXPECT_TRUE(QelPathRelativePathTo(out, u"/a/b", u"/a/c/d"));
  EXPECT_EQ(std::u16string(out), u"../c/d");
  EXPECT_TRUE(QelPathRelativePathTo(out, u"/a", u"/a/b"));
  EXPECT_EQ(std::u16string(out), u"./b");
  EXPECT_TRUE(QelPathRelativePathTo(out, u"C:\\a\\b\\c", u"C:\\a"));
  EXPECT_EQ(std::u16string(out), u"..\\..");
  EXPECT_TRUE(QelPathRelativePathTo(out, u"/a/b", u"/a/b"));
  EXPECT_EQ(std::u16string(out), u".");
  EXPECT_TRUE(QelPathRelativePathTo(out, u"x/y", u"z"));
  EXPECT_EQ(std::u16string(out), u"");
}

}  // namespace
}  // namespace Qel
