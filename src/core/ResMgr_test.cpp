#include "qel/core/ResMgr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/MessageFormat.h"

namespace Qel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVariable = "Zorvic Components Language";

// A module file in a fresh folder, with language folders made on request.
class LanguageFolder : public testing::Test {
 protected:
  void SetUp() override {
    m_root =
        fs::temp_directory_path() / ("qel_resmgr_" + std::to_string(::getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_root);
    fs::create_directories(m_root);
    unsetenv(kVariable);
    m_manager.SetModuleStrings(
        "101\tModule one\n102\tModule two: %s\n103\t\\tTab\\\\ and\\nline\n");
  }
  void TearDown() override {
    unsetenv(kVariable);
    fs::remove_all(m_root);
  }
  void AddLanguage(const std::string& language, const std::string& catalogue,
                   const std::string& file = "libcomp.lng") {
    fs::create_directories(m_root / language);
    if (!file.empty()) std::ofstream(m_root / language / file) << catalogue;
  }
  std::u16string Module(const std::string& name = "libcomp.so.1.2") const {
    const std::string path = (m_root / name).string();
    return std::u16string(path.begin(), path.end());
  }

  fs::path m_root;
  ResMgr m_manager;
};

TEST_F(LanguageFolder, EnvironmentLanguageWithCatalogueWins) {
  AddLanguage("fr", "101\tModule un\n102\t\n");
  setenv(kVariable, "fr", 1);
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  m_manager.Init(Module(), true);
  unsetenv("LC_ALL");
  EXPECT_EQ(std::u16string(m_manager.GetLanguage()), u"fr");
  EXPECT_EQ(m_manager.GetString(101), u"Module un");
  // Empty in the language catalogue: taken from the module.
  EXPECT_EQ(m_manager.GetString(102, u"x", u"", u""), u"Module two: x");
  EXPECT_EQ(m_manager.GetString(103), u"\tTab\\ and\nline");
  EXPECT_NE(m_manager.GetResourceHandle().find(u"/fr/libcomp.lng"), std::u16string::npos);
}

TEST_F(LanguageFolder, RegionalLanguageFallsBackToNeutralFolder) {
  AddLanguage("de", "101\tModul eins\n");
  setenv(kVariable, "de-AT", 1);
  m_manager.Init(Module(), true);
  EXPECT_EQ(std::u16string(m_manager.GetLanguage()), u"de");
  EXPECT_EQ(m_manager.GetString(101), u"Modul eins");
  // A later Init drops the earlier catalogue.
  unsetenv(kVariable);
  setenv("LC_ALL", "C", 1);
  m_manager.Init(Module(), true);
  unsetenv("LC_ALL");
  EXPECT_EQ(std::u16string(m_manager.GetLanguage()), u"en");
  EXPECT_EQ(m_manager.GetString(101), u"Module one");
}

TEST_F(LanguageFolder, MessageLocaleChoosesTheLanguage) {
  AddLanguage("it", "101\tModulo uno\n");
  setenv("LC_ALL", "it_CH.UTF-8", 1);
  m_manager.Init(Module(), true);
  unsetenv("LC_ALL");
  EXPECT_EQ(std::u16string(m_manager.GetLanguage()), u"it");
  EXPECT_EQ(m_manager.GetString(101), u"Modulo uno");
}

TEST_F(LanguageFolder, FolderWithoutCatalogueFallsBackToEnglishWithBothLines) {
  AddLanguage("es", "", "");
  setenv(kVariable, "es", 1);
  testing::internal::CaptureStdout();
  m_manager.Init(Module(), true);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::u16string(m_manager.GetLanguage()), u"en");
  EXPECT_NE(out.find("Failed to locate or load the corresponding language resource for the dll: "
                     "'libcomp.so.1.2 in the folder '"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("will run under the 'en' language since it was not possible to find the "
                     "resource for the language: es"),
            std::string::npos)
      << out;
}

TEST_F(LanguageFolder, ModuleNamesWithoutThreeLetterExtensionNeverLoad) {
  AddLanguage("fr", "101\tModule un\n", "comp.lng");
  setenv(kVariable, "fr", 1);
  testing::internal::CaptureStdout();
  m_manager.Init(Module("comp.bundle"), true);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::u16string(m_manager.GetLanguage()), u"en");
  // A three-letter extension is replaced by ".lng".
  m_manager.Init(Module("comp.dll"), true);
  EXPECT_EQ(std::u16string(m_manager.GetLanguage()), u"fr");

  // The same rules, without a manager.
  const std::u16string folder = Module("fr");
  std::u16string handle = u"stale";
  EXPECT_FALSE(ResMgr::LoadLanguageResource(folder, u"comp.bundle", true, handle));
  ASSERT_TRUE(ResMgr::LoadLanguageResource(folder, u"comp.dll", false, handle));
  EXPECT_EQ(handle, Module("fr/comp.lng"));
  EXPECT_FALSE(ResMgr::LoadLanguageResource(folder, u"other.dll", false, handle));
  EXPECT_EQ(handle, u"");
}

TEST(ResMgrTest, FormattingAndMissingTexts) {
  ResMgr manager;
  manager.SetModuleStrings("1\t%s|%s|%s\n2\t%ld-%ld\n3\t%04X %x %u%%\n4\t%s\n");
  EXPECT_EQ(manager.GetString(1, u"a", u"b", u"c"), u"a|b|c");
  const std::u16string a = u"a", none, c = u"c";
  EXPECT_EQ(manager.GetString(1, a, none, c), u"a||");
  // The pointer form counts only null pointers as absent.
  EXPECT_EQ(manager.GetString(1, u"a", u"", u"c"), u"a||c");
  const std::int32_t p1 = -5, p2 = 7;
  EXPECT_EQ(manager.GetStringL(2, &p1, &p2, nullptr), u"-5-7");
  const unsigned int n = 4000000000u;
  EXPECT_EQ(manager.GetStringT(3, &n), u"EE6B2800 0 0%");
  EXPECT_EQ(manager.GetString(77), u"Resource string #77 not found!");
  EXPECT_EQ(manager.GetString(77, u"a", u"b", u"c"), u"Resource string #77 not found!");
  // Results are cut to 4095 units.
  EXPECT_EQ(manager.GetString(4, std::u16string(5000, u'y'), u"", u"").size(), 4095u);
}

TEST(ResMgrTest, LibraryManagerHasTheMessageTable) {
  const ResMgr& manager = GetLibraryResMgr();
  EXPECT_EQ(manager.GetString(101), u"Unknown error in Qel library occurred.");
  EXPECT_EQ(manager.GetString(914, u"x", u"", u""), u"Invalid operation: 'x'.");
  EXPECT_EQ(manager.GetString(650), u"UTF32 encoding not supported: ");
  EXPECT_EQ(manager.GetString(100), u"Resource string #100 not found!");
  std::u16string out = u"stale";
  GetLibraryResourceLoader().GetTextString(1, out);
  EXPECT_TRUE(out.empty());
}

TEST(ResMgrTest, FormatterHandlesWidthsAndMissingArguments) {
  EXPECT_EQ(Detail::FormatMessageText(u"U+%04X", {std::int32_t{0xAD}}), u"U+00AD");
  EXPECT_EQ(Detail::FormatMessageText(u"%5d|%-3s|", {std::int32_t{-42}, u"a"}), u"  -42|a  |");
  EXPECT_EQ(Detail::FormatMessageText(u"%s and %d", {}), u" and 0");
  EXPECT_EQ(Detail::FormatMessageText(u"%I64d %lld", {std::int64_t{-1} << 40, std::int64_t{7}}),
            u"-1099511627776 7");
  EXPECT_EQ(Detail::FormatMessageText(u"abc%", {}), u"abc%");
}

}  // namespace
}  // namespace Qel
