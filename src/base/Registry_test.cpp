#include "qel/base/Registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "base/RegistryFile.h"
#include "qel/base/HighAvailability.h"
#include "qel/base/OmbrelRegistry.h"
#include "qel/core/Exceptions.h"

extern char** environ;

namespace Qel {
namespace {

const std::u16string kKey = u"SOFTWARE\\Zorvic\\Test";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ToUtf16Le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qel-registry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_folder = pattern;
    m_path = m_folder + "/registry.reg";
    setenv("QEL_REGISTRY_FILE", m_path.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QEL_REGISTRY_FILE");
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
  }

  std::string m_folder;
  std::string m_path;
};

TEST_F(RegistryTest, MissingFileKeyOrValueGivesTheDefault) {
  bool found = true;
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Name", u"fallback", found), u"fallback");
  EXPECT_FALSE(found);
  found = true;
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Name", 42, found), 42);
  EXPECT_FALSE(found);
  found = true;
  EXPECT_TRUE(Registry::GetHklmRegistryValue(kKey, u"Name", true, found));
  EXPECT_FALSE(found);

  Registry::SetHklmRegistryValue(kKey, u"Present", u"x");
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Absent", u"d", found), u"d");
  EXPECT_FALSE(found);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey + u"\\Sub", u"Present", u"d", found), u"d");
  EXPECT_FALSE(found);
  EXPECT_EQ(Registry::GetRegistryValue(HKEY_CURRENT_USER, kKey, u"Present", u"d", found), u"d");
  EXPECT_FALSE(found) << "roots are separate";
}

TEST_F(RegistryTest, ValuesRoundTripWithTheirTypes) {
  Registry::SetHklmRegistryValue(kKey, u"Text", u"C:\\Data \"quoted\" \u00e9\u4e2d");
  Registry::SetHklmRegistryValue(kKey, u"Negative", -5);
  Registry::SetHklmRegistryValue(kKey, u"Flag", true);
  Registry::SetHklmDwordRegistryValue(kKey, u"Count", 10);
  Registry::SetHklmDwordRegistryValue(kKey, u"AllBits", -1);
  Registry::SetHklmRegistryValue(kKey, u"Lines", u"first\r\nsecond");
  Registry::SetHklmRegistryValue(kKey, u"NotANumber", u"abc");
  Registry::SetHklmRegistryValue(kKey, u"Yes", u"YES");
  Registry::SetHklmRegistryValue(kKey, u"Maybe", u"maybe");
  Registry::SetHklmRegistryValue(kKey, u"", u"default value");

  std::string file = ReadFile(m_path);
  EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << file;
  EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic\\Test]\n"), std::string::npos);
  EXPECT_NE(file.find("\"Negative\"=\"-5\"\n"), std::string::npos) << "an int is written as text";
  EXPECT_NE(file.find("\"Flag\"=\"true\"\n"), std::string::npos);
  EXPECT_NE(file.find("\"Count\"=dword:0000000a\n"), std::string::npos);
  EXPECT_NE(file.find("\"Text\"=\"C:\\\\Data \\\"quoted\\\" \xC3\xA9\xE4\xB8\xAD\"\n"),
            std::string::npos);
  EXPECT_NE(file.find("@=\"default value\"\n"), std::string::npos);

  bool found = false;
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Text", u"", found),
            u"C:\\Data \"quoted\" \u00e9\u4e2d");
  EXPECT_TRUE(found);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Lines", u""), u"first\r\nsecond");
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"", u""), u"default value");
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Negative", 0, found), -5);
  EXPECT_TRUE(found);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Count", 0, found), 10);
  EXPECT_TRUE(found);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"AllBits", 0), -1);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"NotANumber", 7, found), 7);
  EXPECT_TRUE(found) << "a text that is no number is still found";
  EXPECT_TRUE(Registry::GetHklmRegistryValue(kKey, u"Flag", false, found));
  EXPECT_TRUE(Registry::GetHklmRegistryValue(kKey, u"Yes", false, found));
  EXPECT_TRUE(found);
  EXPECT_FALSE(Registry::GetHklmRegistryValue(kKey, u"Maybe", false, found));
  EXPECT_TRUE(found);
  EXPECT_TRUE(Registry::GetHklmRegistryValue(kKey, u"Maybe", true));
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Count", u"text default", found),
            u"text default");
  EXPECT_FALSE(found) << "a REG_DWORD is not a text";

  // Keys and names compare without regard to case; a rewrite replaces the value in place.
  EXPECT_EQ(Registry::GetHklmRegistryValue(u"software\\ZORVIC\\test\\", u"count", 0), 10);
  Registry::SetHklmRegistryValue(u"SOFTWARE\\ZORVIC\\TEST", u"COUNT", 11);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Count", 0, found), 11);
  std::string rewritten = ReadFile(m_path);
  EXPECT_EQ(rewritten.find("dword:0000000a"), std::string::npos);
  EXPECT_EQ(rewritten.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZORVIC\\TEST]"), std::string::npos)
      << "no second key for the same path";
}

TEST_F(RegistryTest, ExportedUtf16FileIsReadAndOtherTypesSurviveAWrite) {
  const std::string exported =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic\\Test]\r\n"
      "\"Path\"=\"C:\\\\Program Files\\\\Zorvic\"\r\n"
      "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
      "\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
      "  17,18,19,1a\r\n"
      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"Level\"=dword:00000003\r\n"
      "\"Hex4\"=hex(4):10,27,00,00\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Other]\r\n"
      "\"Kept\"=\"yes\"\r\n";
  WriteFile(m_path, ToUtf16Le(exported));
  bool found = false;
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Path", u"", found),
            u"C:\\Program Files\\Zorvic");
  EXPECT_TRUE(found);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Level", 0), 3);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Hex4", 0), 10000);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Expand", u"d", found), u"d");
  EXPECT_FALSE(found) << "REG_EXPAND_SZ is another type";
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Blob", 5, found), 5);
  EXPECT_FALSE(found);

  Registry::SetHklmRegistryValue(kKey, u"Level", 4);
  std::string after = ReadFile(m_path);
  EXPECT_EQ(after.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << "written as UTF-8";
  for (const char* kept :
       {"\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\n",
        "\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
        "  17,18,19,1a\n",
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n",
        "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n",
        "[HKEY_CURRENT_USER\\Other]\n\"Kept\"=\"yes\"\n", "\"Level\"=\"4\"\n"}) {
    EXPECT_NE(after.find(kept), std::string::npos) << kept << "\nin\n" << after;
  }
  EXPECT_EQ(Registry::GetRegistryValue(HKEY_CURRENT_USER, u"Other", u"Kept", u""), u"yes");
}

TEST_F(RegistryTest, BadValueLinesAreDroppedAndTheRestIsKept) {
  WriteFile(m_path,
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic\\Test]\n"
            "\"Before\"=\"ok\"\n"
            "\"NineDigits\"=dword:123456789\n"
            "\"Prefixed\"=dword:0x123\n"
            "\"Trailing\"=dword:12345678abc\n"
            "\"Unterminated\"=\"abc\n"
            "\"Stray\"=\"foo\"bar\"\n"
            "\"After\"=dword:0000002a\n"
            "; a comment\n"
            "\"Short\"=dword:1f\n");
  bool found = true;
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Before", u""), u"ok");
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"After", 0), 42);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Short", 0), 31);
  for (const char16_t* bad : {u"NineDigits", u"Prefixed", u"Trailing", u"Unterminated", u"Stray"}) {
    EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, bad, -1, found), -1);
    EXPECT_FALSE(found) << std::string(bad, bad + std::char_traits<char16_t>::length(bad)).size();
    EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, bad, u"d", found), u"d");
    EXPECT_FALSE(found);
  }
  // Setting a value that had a bad line replaces that line.
  Registry::SetHklmRegistryValue(kKey, u"Stray", u"fixed");
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"Stray", u""), u"fixed");
  EXPECT_EQ(ReadFile(m_path).find("foo\"bar"), std::string::npos);
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"After", 0), 42);
}

TEST_F(RegistryTest, FileWithoutValidHeaderIsNeverOverwritten) {
  const std::string foreign = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic\\Test]\n\"A\"=\"b\"\n";
  WriteFile(m_path, foreign);
  bool found = true;
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"A", u"default", found), u"default");
  EXPECT_FALSE(found);
  try {
    Registry::SetHklmRegistryValue(kKey, u"A", u"new");
    FAIL() << "a write must refuse a file without a header";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 17);
    EXPECT_NE(e.GetErrorDescription().find(u"Windows Registry Editor Version 5.00"),
              std::u16string::npos);
  }
  EXPECT_EQ(ReadFile(m_path), foreign);
  WriteFile(m_path, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic\\Test]\n\"A\"=\"b\"\n");
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"A", u"default"), u"b");
}

TEST_F(RegistryTest, WritingNeverFollowsAPlantedLinkNorInjectsKeys) {
  const std::string victim = m_folder + "/victim";
  WriteFile(victim, "precious");
  ::chmod(victim.c_str(), 0600);
  ASSERT_EQ(::symlink(victim.c_str(), (m_path + ".tmp").c_str()), 0);
  WriteFile(m_path, "Windows Registry Editor Version 5.00\n");
  ::chmod(m_path.c_str(), 0666);
  Registry::SetHklmRegistryValue(kKey, u"A", u"b");
  EXPECT_EQ(ReadFile(victim), "precious") << "the link's target is never written";
  struct stat info {};
  ASSERT_EQ(::stat(victim.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u) << "nor given the settings file's mode";
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"A", u"d"), u"b");

  const std::string before = ReadFile(m_path);
  EXPECT_THROW(Registry::SetHklmRegistryValue(
                   u"SOFTWARE\\App]\n\"Injected\"=\"evil\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Victim",
                   u"x", u"y"),
               BaseException);
  EXPECT_THROW(Registry::SetHklmDwordRegistryValue(kKey, u"n\"=dword:1\n\"m", 1), BaseException);
  EXPECT_EQ(ReadFile(m_path), before) << "a refused key or name writes nothing";
}

TEST_F(RegistryTest, WriteFailureThrowsError17WithTheSystemText) {
  setenv("QEL_REGISTRY_FILE", "/dev/null/registry.reg", 1);
  try {
    Registry::SetHklmDwordRegistryValue(kKey, u"X", 1);
    FAIL() << "writing below /dev/null must fail";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 17);
    EXPECT_FALSE(e.GetErrorDescription().empty());
  }
  bool found = true;
  EXPECT_EQ(Registry::GetHklmRegistryValue(kKey, u"X", 9, found), 9);
  EXPECT_FALSE(found);
}

TEST_F(RegistryTest, OmbrelKeysAndHighAvailability) {
  EXPECT_EQ(OmbrelRegistry::GetRegistryKeyPath(OmbrelBase), u"SOFTWARE\\Zorvic\\Ombrel\\4.0");
  EXPECT_EQ(OmbrelRegistry::GetRegistryKeyPath(OmbrelRecognition),
            u"SOFTWARE\\Zorvic\\Ombrel\\4.0\\Recognition");
  EXPECT_EQ(OmbrelRegistry::GetRegistryKeyPath(OmbrelCheckReader),
            u"SOFTWARE\\Zorvic\\Ombrel\\4.0\\A2iA\\CheckReader");
  EXPECT_EQ(OmbrelRegistry::GetRegistryKeyPath(OmbrelSalienceLanguages),
            u"SOFTWARE\\Zorvic\\Ombrel\\4.0\\NLP\\Salience\\Languages");
  try {
    OmbrelRegistry::GetRegistryKeyPath(static_cast<OmbrelRegKeys>(5));
    FAIL() << "key 5 does not exist";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 1);
    EXPECT_EQ(e.GetErrorArg(), u"Qel::OmbrelRegistry::GetRegistryKeyPath(@0 = '5')");
  }
  OmbrelRegistry::SetHklmRegistryValue(OmbrelRecognitionProcess, u"Workers", 3);
  EXPECT_EQ(Registry::GetHklmRegistryValue(u"SOFTWARE\\Zorvic\\Ombrel\\4.0\\RecognitionProcess",
                                           u"Workers", 0),
            3);
  bool found = false;
  EXPECT_EQ(OmbrelRegistry::GetHklmRegistryValue(OmbrelRecognitionProcess, u"Workers", 0, found),
            3);
  EXPECT_TRUE(found);

  HighAvailability* ha = HighAvailability::getInstance();
  ASSERT_EQ(ha, HighAvailability::getInstance());
  EXPECT_FALSE(ha->getIsActive());
  EXPECT_EQ(ha->getRetrySeconds(), 30);
  EXPECT_EQ(ha->getMilliSecondsBetweenRetries(), 500);
}

// ---------------------------------------------------------------------------------------------
// Several processes: the test binary runs itself with a writer test that is disabled in
// normal runs.

pid_t SpawnWriter(const std::string& mode) {
  std::string filter = "--gtest_filter=RegistryWriterProcess.DISABLED_Write";
  std::string modeVariable = "QEL_TEST_REGISTRY_WRITER=" + mode;
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  environment.push_back(modeVariable);
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string exe = "/proc/self/exe";
  std::string also = "--gtest_also_run_disabled_tests";
  std::string quiet = "--gtest_brief=1";
  char* argv[] = {exe.data(), filter.data(), also.data(), quiet.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int err = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return err == 0 ? pid : -1;
}

TEST(RegistryWriterProcess, DISABLED_Write) {
  const char* mode = std::getenv("QEL_TEST_REGISTRY_WRITER");
  ASSERT_NE(mode, nullptr);
  std::string text(mode);
  if (text.rfind("loop:", 0) == 0) {  // "loop:<name>": writes <name> until killed
    std::u16string name(text.begin() + 5, text.end());
    for (int i = 0;; ++i) Registry::SetHklmRegistryValue(kKey, name, i);
  }
  // "names:<prefix>": 100 values of its own
  std::u16string prefix(text.begin() + 6, text.end());
  for (int i = 0; i < 100; ++i) {
    std::string digits = std::to_string(i);
    Registry::SetHklmRegistryValue(kKey, prefix + std::u16string(digits.begin(), digits.end()), i);
  }
}

TEST_F(RegistryTest, WriterKilledAtAnyMomentLeavesAWholeFileAndNoLock) {
  std::string filler =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic\\Test]\n";
  for (int i = 0; i < 300; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "\"Filler%d\"=dword:%08x\n", i, i);
    filler += line;
  }
  WriteFile(m_path, filler);
  for (int round = 0; round < 12; ++round) {
    std::string name = "Round" + std::to_string(round);
    std::u16string name16(name.begin(), name.end());
    pid_t child = SpawnWriter("loop:" + name);
    ASSERT_GT(child, 0);
    // Kill only once the child is writing, at a different moment of its loop each round.
    bool found = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!found && std::chrono::steady_clock::now() < deadline) {
      Registry::GetHklmRegistryValue(kKey, name16, -1, found);
      if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(1500 * round));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(found) << "the writer never wrote";
    ASSERT_TRUE(WIFSIGNALED(status));

    Detail::RegistryFile file = Detail::RegistryFile::Parse(ReadFile(m_path));
    ASSERT_TRUE(file.HasValidHeader()) << "round " << round;
    EXPECT_GE(Registry::GetHklmRegistryValue(kKey, name16, -1), 0);
    for (int i = 0; i < 300; i += 37) {
      std::string digits = std::to_string(i);
      ASSERT_EQ(Registry::GetHklmRegistryValue(
                    kKey, u"Filler" + std::u16string(digits.begin(), digits.end()), -1),
                i)
          << "round " << round;
    }
    // The next writer is not blocked by the killed one's lock.
    Registry::SetHklmRegistryValue(kKey, u"AfterKill", round);
    ASSERT_EQ(Registry::GetHklmRegistryValue(kKey, u"AfterKill", -1), round);
    // Temporary files of killed writers do not pile up.
    for (const auto& entry : std::filesystem::directory_iterator(m_folder)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << name;
    }
  }
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  pid_t first = SpawnWriter("names:a");
  pid_t second = SpawnWriter("names:b");
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  for (pid_t child : {first, second}) {
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer failed";
  }
  for (const char16_t* prefix : {u"a", u"b"}) {
    for (int i = 0; i < 100; ++i) {
      std::string digits = std::to_string(i);
      bool found = false;
      ASSERT_EQ(Registry::GetHklmRegistryValue(
                    kKey, prefix + std::u16string(digits.begin(), digits.end()), -1, found),
                i);
      ASSERT_TRUE(found);
    }
  }
}

}  // namespace
}  // namespace Qel
