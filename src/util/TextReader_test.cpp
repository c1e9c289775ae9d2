#include "qel/util/TextReader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <thread>
#include <vector>

#include "qel/core/Exceptions.h"
#include "util/TestTempFolder.h"

namespace Qel {
namespace {

using Testing::TempFolder;

// Every line up to the end of the file.
std::vector<std::u16string> ReadAll(TextReader* reader) {
  std::vector<std::u16string> lines;
  for (std::u16string line = reader->GetNextLine(); !line.empty(); line = reader->GetNextLine()) {
    lines.push_back(line);
  }
  return lines;
}

class TextReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { m_reader = TextReader::Create(); }
  void TearDown() override { m_reader->Release(); }

  std::vector<std::u16string> Read(const std::string& bytes, bool lower = false) {
    m_dir.Write("f", bytes);
    m_reader->Close();
    m_reader->SetConvertToLowerCase(lower);
    m_reader->Open(m_dir.Path("f"), false);
    return ReadAll(m_reader);
  }

  TempFolder m_dir;
  TextReader* m_reader = nullptr;
};

using LineList = std::vector<std::u16string>;

TEST_F(TextReaderTest, EncodingsAndLineEnds) {
  EXPECT_EQ(Read("\x80"), LineList{u"\u20AC"}) << "no mark, not UTF-8: ANSI with the euro sign";
  EXPECT_EQ(Read("a\r\n\r\nb\rc\n\n"), (LineList{u"a", u"b", u"c"}));
  EXPECT_EQ(Read("\xEF\xBB\xBF"
                 "x\xC3\xA9\ny"),
            (LineList{u"x\u00E9", u"y"}));
  EXPECT_EQ(Read("x\xC3\xA9\r\ny"), (LineList{u"x\u00E9", u"y"})) << "UTF-8 found by scanning";
  EXPECT_EQ(Read(std::string("\xFF\xFE"
                             "a\0\r\0\n\0b\0\r\0c\0",
                             14)),
            (LineList{u"a", u"b", u"c"}));
  EXPECT_EQ(Read(std::string("\xFE\xFF\0a\0\n\0\n\0b", 10)), (LineList{u"a", u"b"}));
  EXPECT_EQ(Read(""), LineList{});
  EXPECT_EQ(Read("\xEF\xBB\xBF"), LineList{});
  EXPECT_EQ(Read("ABC \xC3\x84\nD", true), (LineList{u"abc \u00C4", u"d"})) << "ASCII only";
  EXPECT_EQ(Read("AB\xC4", true), LineList{u"ab\u00E4"}) << "ANSI bytes lower-cased";
  EXPECT_EQ(Read(std::string("\xFF\xFE"
                             "A\0\xC4\0",
                             6),
                 true),
            LineList{u"a\u00C4"});
}

TEST_F(TextReaderTest, IllFormedInputGivesDefinedLines) {
  EXPECT_EQ(Read("\xEF\xBB\xBF\xC0\xAF\n\xED\xA0\x80\nok\n\xE2\x82"),
            (LineList{u"\uFFFD\uFFFD", u"\uFFFD\uFFFD\uFFFD", u"ok", u"\uFFFD"}));
  EXPECT_EQ(Read("\xED\xA0\x80"), LineList{u"\uFFFD\uFFFD\uFFFD"}) << "scans as UTF-8";
  EXPECT_EQ(Read(std::string("\xFF\xFE"
                             "a\0b",
                             5)),
            (LineList{u"a\uFFFD"}))
      << "odd length";
  EXPECT_EQ(Read(std::string("\xFF\xFE\0\xD8\n\0A\0", 8)),
            (LineList{std::u16string(1, 0xD800), u"A"}))
      << "a lone surrogate stays and the line feed still ends its line";
  EXPECT_EQ(Read(std::string("\xFF\xFE\x0A\x01\x0D\x20", 6)), (LineList{u"\u010A\u200D"}))
      << "units whose low byte looks like a line end are not line ends";
  const std::string longLine(3 << 20, 'q');
  EXPECT_EQ(Read(longLine + "\nz"),
            (LineList{std::u16string(longLine.begin(), longLine.end()), u"z"}));
}

// ReadLine hands out empty lines too, in every encoding, and reports the encoding it reads.
TEST_F(TextReaderTest, ReadLineKeepsEmptyLines) {
  struct Case {
    std::string bytes;
    TextEncoding encoding;
    LineList lines;
  };
  const Case cases[] = {
      {"a\r\n\r\nb\rc\n\n", TextEncodingAnsi, {u"a", u"", u"b", u"c", u""}},
      {"\n", TextEncodingAnsi, {u""}},
      {"", TextEncodingAnsi, {}},
      {"\xEF\xBB\xBF\n\xC3\xA9", TextEncodingUTF8, {u"", u"\u00E9"}},
      {"\xC3\xA9\n\nz\n", TextEncodingUTF8NoBOM, {u"\u00E9", u"", u"z"}},
      {std::string("\xFF\xFE\n\0\r\0\n\0a\0\n\0", 12), TextEncodingUTF16LE, {u"", u"", u"a"}},
      {std::string("\xFE\xFF\0a\0\n\0\n\0b", 10), TextEncodingUTF16BE, {u"a", u"", u"b"}},
  };
  for (const Case& c : cases) {
    m_dir.Write("f", c.bytes);
    m_reader->Close();
    m_reader->Open(m_dir.Path("f"), false);
    EXPECT_EQ(m_reader->GetEncoding(), c.encoding);
    LineList lines;
    std::u16string line = u"stale";
    while (m_reader->ReadLine(line)) lines.push_back(line);
    EXPECT_EQ(lines, c.lines) << c.bytes;
    EXPECT_EQ(line, u"") << "the end leaves no stale line behind";
  }
  m_reader->Close();
  EXPECT_EQ(m_reader->GetEncoding(), TextEncodingUnknown);
}

// A carriage return at the very end of one read and its line feed at the start of the next.
TEST_F(TextReaderTest, CarriageReturnLineFeedSplitAcrossReads) {
  constexpr std::size_t kRead = 1 << 18;
  const std::string utf8 = "\xEF\xBB\xBF" + std::string(kRead - 1, 'a') + "\r\nb";
  m_dir.Write("f", utf8);
  m_reader->Open(m_dir.Path("f"), true);
  EXPECT_EQ(m_reader->GetNextLine().size(), kRead - 1);
  EXPECT_EQ(m_reader->GetCurrentFilePos(), static_cast<std::int64_t>(utf8.size() - 1));
  EXPECT_EQ(m_reader->GetNextLine(), u"b");
  m_reader->Close();

  std::string utf16 = "\xFF\xFE";
  for (std::size_t i = 0; i + 1 < kRead / 2; ++i) utf16 += std::string("a\0", 2);
  utf16 += std::string("\r\0\n\0b\0", 6);
  m_dir.Write("g", utf16);
  m_reader->Open(m_dir.Path("g"), false);
  EXPECT_EQ(m_reader->GetNextLine().size(), kRead / 2 - 1);
  EXPECT_EQ(m_reader->GetCurrentFilePos(), static_cast<std::int64_t>(utf16.size() - 2));
  EXPECT_EQ(m_reader->GetNextLine(), u"b");
  EXPECT_EQ(m_reader->GetNextLine(), u"");
}

TEST_F(TextReaderTest, PositionsAreSavedAndRestored) {
  m_dir.Write("f",
              "\xEF\xBB\xBF"
              "one\ntwo\nthree\n");
  m_reader->Open(m_dir.Path("f"), false);
  EXPECT_EQ(m_reader->GetFileName(), m_dir.Path("f"));
  EXPECT_EQ(m_reader->GetNextLine(), u"one");
  const std::int64_t afterOne = m_reader->GetCurrentFilePos();
  EXPECT_EQ(afterOne, 7);
  EXPECT_EQ(m_reader->GetNextLine(), u"two");
  m_reader->SetCurrentFilePos(afterOne);
  EXPECT_EQ(m_reader->GetNextLine(), u"two");
  m_reader->SetCurrentFilePos(0);
  EXPECT_EQ(m_reader->GetNextLine(), u"one") << "0 is the first byte after the mark";
  EXPECT_THROW(m_reader->SetCurrentFilePos(-5), BaseException);
  m_reader->Close();
  EXPECT_EQ(m_reader->GetFileName(), u"");
}

TEST_F(TextReaderTest, MisuseAndUnreadableFilesThrow) {
  auto errorId = [](auto call) {
    try {
      call();
    } catch (const BaseException& e) {
      return e.GetErrorId();
    }
    return -1;
  };
  EXPECT_EQ(errorId([&] { m_reader->GetNextLine(); }), 3);
  EXPECT_EQ(errorId([&] { m_reader->GetCurrentFilePos(); }), 3);
  EXPECT_EQ(errorId([&] { m_reader->SetCurrentFilePos(1); }), 3);
  EXPECT_EQ(errorId([&] { m_reader->Open(u"", false); }), 3);
  EXPECT_EQ(errorId([&] { m_reader->Open(m_dir.Path("missing"), false); }), 2003);

  m_dir.Write("u32", std::string("\xFF\xFE\0\0a\0\0\0", 8));
  try {
    m_reader->Open(m_dir.Path("u32"), false);
    ADD_FAILURE() << "UTF-32 opened";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 25);
    EXPECT_EQ(e.GetErrorDescription(), u"UTF32 encoding not supported: " + m_dir.Path("u32"));
  }
  EXPECT_EQ(errorId([&] { m_reader->GetNextLine(); }), 3) << "closed after the failure";

  // A file that cannot seek past its byte-order mark: Open names its own site.
  const std::string fifo = m_dir.NativePath("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    std::ofstream(fifo, std::ios::binary) << "\xFF\xFE"
                                             "a";
  });
  try {
    m_reader->Open(m_dir.Path("fifo"), false);
    ADD_FAILURE() << "seek on a pipe succeeded";
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 17);
    EXPECT_EQ(e.GetErrorArg(), u"[1042]");
  }
  writer.join();
}

}  // namespace
}  // namespace Qel
