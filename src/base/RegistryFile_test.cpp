#include "base/RegistryFile.h"

#include <gtest/gtest.h>

namespace Qel::Detail {
namespace {

const std::u16string kKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic";

TEST(RegistryFile, RewritingChangesOnlyTheValuesThatWereSet) {
  const std::string original =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "; kept comment\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic]\n"
      "\"A\"=\"1\"\n"
      "\"Bin\"=hex:00,01,\\\n"
      "  02\n"
      "\"Broken\"=dword:xyz\n"
      "not a value line\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic]\n"
      "\"A\"=\"2\"\n";
  RegistryFile file = RegistryFile::Parse(original);
  ASSERT_TRUE(file.HasValidHeader());
  EXPECT_EQ(file.Serialize(), original) << "an unchanged file is written back byte for byte";
  ASSERT_NE(file.Find(kKey, u"a"), nullptr);
  EXPECT_EQ(file.Find(kKey, u"a")->text, u"2") << "the last occurrence counts";
  EXPECT_EQ(file.Find(kKey, u"Broken"), nullptr);

  file.SetText(kKey, u"A", u"3");
  file.SetDword(kKey + u"\\New", u"N", 0x1234abcd);
  std::string expected = original;
  expected.replace(expected.rfind("\"A\"=\"2\""), 7, "\"A\"=\"3\"");
  expected += "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic\\New]\n\"N\"=dword:1234abcd\n\n";
  EXPECT_EQ(file.Serialize(), expected);
}

TEST(RegistryFile, BinaryValueOpenAtTheEndDoesNotSwallowLaterValues) {
  RegistryFile file = RegistryFile::Parse(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic]\n"
      "\"Bin\"=hex:01,02,\\\t\n");
  file.SetText(kKey, u"Name", u"x");
  const std::string once = file.Serialize();
  RegistryFile written = RegistryFile::Parse(once);
  ASSERT_NE(written.Find(kKey, u"Name"), nullptr) << once;
  EXPECT_EQ(written.Find(kKey, u"Name")->text, u"x");
  EXPECT_EQ(written.Serialize(), once) << "rewriting is stable";
}

TEST(RegistryFile, HeaderAndLineEndsAreReadAsTheImportReadsThem) {
  EXPECT_TRUE(RegistryFile::Parse("REGEDIT4  \r\n").HasValidHeader());
  EXPECT_TRUE(
      RegistryFile::Parse("\xEF\xBB\xBFWindows Registry Editor Version 5.00").HasValidHeader());
  EXPECT_FALSE(RegistryFile::Parse("").HasValidHeader());
  EXPECT_FALSE(RegistryFile::Parse("\nREGEDIT4\n").HasValidHeader());
  EXPECT_FALSE(RegistryFile::Parse("Windows Registry Editor Version 4.00\n").HasValidHeader());

  RegistryFile file = RegistryFile::Parse(
      "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic\\]\r\n@=\"default\"\r\n"
      "\"Odd\"=hex(1):41,00,42\r\n\"Quote\"=\"a\\\"b\\\\c\"  \r\n");
  ASSERT_NE(file.Find(kKey, u""), nullptr);
  EXPECT_EQ(file.Find(kKey, u"")->text, u"default");
  ASSERT_NE(file.Find(kKey, u"Odd"), nullptr);
  EXPECT_EQ(file.Find(kKey, u"Odd")->kind, RegValueKind::Other) << "odd byte count is no text";
  ASSERT_NE(file.Find(kKey, u"Quote"), nullptr);
  EXPECT_EQ(file.Find(kKey, u"Quote")->text, u"a\"b\\c");
}

}  // namespace
}  // namespace Qel::Detail
