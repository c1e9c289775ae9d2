#include "base/RegistryFile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "qel/core/ErrorId.h"
#include "qel/core/Exceptions.h"

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

// Every key and value the file holds: a rewrite must never add one that was not asked for.
std::vector<std::u16string> Entries(const RegistryFile& file) {
  std::vector<std::u16string> entries;
  std::u16string key;
  for (const RegLine& line : file.Lines()) {
    if (line.isKey) key = line.raw;
    if (line.named) entries.push_back(key + u"|" + line.name);
  }
  return entries;
}

TEST(RegistryFile, KeysAndNamesRoundTripExactlyOrAreRefused) {
  struct Case {
    std::u16string key;
    std::u16string name;
    bool refused;
  };
  const Case cases[] = {
      {kKey + u"]\n\"Injected\"=\"evil\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Victim", u"x", true},
      {kKey, u"a\"\n\"Injected\"=\"evil", true},
      {kKey + u"\rX", u"n", true},
      {kKey, u"tab\there", true},
      {kKey, std::u16string(u"nul\0x", 5), true},
      {kKey, u"lone\xD800", true},
      {kKey + u"\\\xDC00", u"n", true},
      {u"-HKEY_LOCAL_MACHINE\\SOFTWARE", u"n", true},
      {u"", u"n", true},
      {kKey + u"]x", u"n", false},
      {kKey + u"\\[Sub]", u"]=\"[", false},
      {kKey, u"q\"uo\\te\\", false},
      {kKey + u"\\\U0001F600", u"\u00e9\U0001F600", false},
  };
  for (const Case& c : cases) {
    RegistryFile file = RegistryFile::Empty();
    const std::string before = file.Serialize();
    const std::u16string value = u"v\xDBFF";  // a lone surrogate in a value is kept, too
    if (c.refused) {
      try {
        file.SetText(c.key, c.name, value);
        ADD_FAILURE() << "accepted key/name case " << (&c - cases);
      } catch (const BaseException& e) {
        EXPECT_EQ(e.GetErrorId(), ErrorId::InvalidArgument) << (&c - cases);
      }
      EXPECT_THROW(file.SetDword(c.key, c.name, 1), BaseException) << (&c - cases);
      EXPECT_EQ(file.Serialize(), before) << "a refused write changes nothing " << (&c - cases);
      continue;
    }
    file.SetText(c.key, c.name, value);
    RegistryFile read = RegistryFile::Parse(file.Serialize());
    const RegLine* line = read.Find(c.key, c.name);
    ASSERT_NE(line, nullptr) << "case " << (&c - cases) << ": " << file.Serialize();
    EXPECT_EQ(line->text, value) << (&c - cases);
    EXPECT_EQ(Entries(read).size(), 1u) << "only the value asked for: " << file.Serialize();
  }
}

TEST(RegistryFile, Regedit4FileIsAnsiAndUntouchedValuesKeepTheirBytes) {
  // Windows-1252: 0xFC is u-umlaut, 0x80 the euro sign; 0x81 is a byte it leaves undefined.
  const std::string original =
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic]\n\"city\"=\"Z\xfcrich\"\n"
      "\"odd\"=\"\x81\x8d\"\n";
  RegistryFile file = RegistryFile::Parse(original);
  ASSERT_NE(file.Find(kKey, u"city"), nullptr);
  EXPECT_EQ(file.Find(kKey, u"city")->text, u"Z\u00fcrich");
  EXPECT_EQ(file.Serialize(), original);

  file.SetText(kKey, u"Price", u"5 \u20ac");
  file.SetText(kKey, u"Wide", u"\u4e2d");
  const std::string written = file.Serialize();
  EXPECT_EQ(written.substr(0, original.size()), original) << "untouched lines keep their bytes";
  EXPECT_NE(written.find("\"Price\"=\"5 \x80\"\n"), std::string::npos) << written;
  RegistryFile read = RegistryFile::Parse(written);
  ASSERT_NE(read.Find(kKey, u"Wide"), nullptr) << written;
  EXPECT_EQ(read.Find(kKey, u"Wide")->text, u"\u4e2d") << "a text ANSI lacks goes in hex(1)";
  EXPECT_EQ(read.Serialize(), written);
  EXPECT_THROW(file.SetText(kKey, u"\u4e2d", u"x"), BaseException)
      << "a name ANSI cannot hold is refused";
  EXPECT_EQ(file.Serialize(), written);
}

}  // namespace
}  // namespace Qel::Detail
