#include "qel/util/TextIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "core/TestCaught.h"
#include "qel/core/Exceptions.h"
#include "qel/util/Files.h"
#include "util/TestTempFolder.h"

namespace Qel::Tools {
namespace {

using Testing::TempFolder;

std::FILE* OpenRead(const TempFolder& dir, const std::string& name, const std::string& bytes) {
  dir.Write(name, bytes);
  return std::fopen(dir.NativePath(name).c_str(), "rb");
}

TEST(TextIO, ByteOrderMarksAndUtf8Scan) {
  auto detect = [](const char* four) {
    return IO::DetectBOM(reinterpret_cast<const unsigned char*>(four));
  };
  EXPECT_EQ(detect("\xFF\xFE\0\0"), TextEncodingUTF32LE);
  EXPECT_EQ(detect("\xFF\xFE\x41\0"), TextEncodingUTF16LE);
  EXPECT_EQ(detect("\0\0\xFE\xFF"), TextEncodingUTF32BE);
  EXPECT_EQ(detect("\xFE\xFF\0A"), TextEncodingUTF16BE);
  EXPECT_EQ(detect("\xEF\xBB\xBFx"), TextEncodingUTF8);
  EXPECT_EQ(detect("abcd"), TextEncodingUnknown);

  TempFolder dir;
  const struct {
    std::string bytes;
    bool utf8;
  } scans[] = {{"\xC3\xA9", true},
               {"plain ascii", false},
               {"\xC0\x80", false},
               {"ok \xE2\x82", false},
               {"\xED\xA0\x80", true},
               {"\xF4\x8F\xBF\xBF", true},
               {"\xF5\x80\x80\x80", false},
               {"a\xC3(", false},
               {"", false},
               {std::string(100000, 'a') + "\xE2\x82\xAC" + std::string(9, 'b'), true}};
  for (const auto& scan : scans) {
    std::FILE* f = OpenRead(dir, "scan", scan.bytes);
    EXPECT_EQ(IO::ScanForUtf8(f), scan.utf8) << "bytes of length " << scan.bytes.size();
    std::fclose(f);
  }

  dir.Write("le",
            "\xFF\xFE"
            "a\0");
  dir.Write("u8", "\xC3\xA9");
  dir.Write("ansi", "\xE9");
  EXPECT_EQ(IO::GetFileEncoding(dir.Path("le"), true, TextEncodingAnsi), TextEncodingUTF16LE);
  EXPECT_EQ(IO::GetFileEncoding(dir.Path("u8"), true, TextEncodingAnsi), TextEncodingUTF8NoBOM);
  EXPECT_EQ(IO::GetFileEncoding(dir.Path("u8"), false, TextEncodingAnsi), TextEncodingAnsi);
  EXPECT_EQ(IO::GetFileEncoding(dir.Path("ansi"), true, TextEncodingUTF16BE), TextEncodingUTF16BE);
  EXPECT_THROW(IO::GetFileEncoding(dir.Path("missing"), true, TextEncodingAnsi), FileIOException);

  // The stream is left behind the mark, whatever the default.
  std::FILE* f = OpenRead(dir, "bom8", "\xEF\xBB\xBFx");
  EXPECT_EQ(IO::GetFileEncoding(f, u"bom8", true, TextEncodingAnsi), TextEncodingUTF8);
  EXPECT_EQ(std::ftell(f), 3);
  std::fclose(f);
  f = OpenRead(dir, "nobom", "xyz");
  EXPECT_EQ(IO::GetFileEncoding(f, u"nobom", true, TextEncodingUTF16LE), TextEncodingUTF16LE);
  EXPECT_EQ(std::ftell(f), 0);
  const FileIOException badEncoding = Testing::Caught<FileIOException>(
      [&] { IO::SetFileStreamPositionAtStart(f, u"nobom", static_cast<TextEncoding>(8)); });
  EXPECT_EQ(badEncoding.GetErrorId(), 25);
  EXPECT_EQ(badEncoding.GetErrorArg(), u"IO::SetFileStreamAtFirstLine()");
  std::fclose(f);
}

TEST(TextIO, LineReadersInEveryEncoding) {
  TempFolder dir;
  std::FILE* f = OpenRead(dir, "crlf", "a\r\n\r\nb");
  EXPECT_EQ(IO::GetNextLineFromFile(f, u"crlf", TextEncodingAnsi, true), u"a");
  EXPECT_EQ(IO::GetNextLineFromFile(f, u"crlf", TextEncodingAnsi, true), u"b");
  EXPECT_EQ(IO::GetNextLineFromFile(f, u"crlf", TextEncodingAnsi, true), u"");
  std::rewind(f);
  EXPECT_EQ(IO::GetNextLineFromAnsiFile(f, u"crlf", false), u"a");
  EXPECT_EQ(IO::GetNextLineFromAnsiFile(f, u"crlf", false), u"");
  EXPECT_EQ(IO::GetNextLineFromAnsiFile(f, u"crlf", false), u"b");
  std::fclose(f);

  f = OpenRead(dir, "ansi", "\x80\xE9\rx\n");
  EXPECT_EQ(IO::GetNextLineFromAnsiFile(f, u"ansi", false), u"\u20AC\u00E9");
  EXPECT_EQ(IO::GetNextLineFromAnsiFile(f, u"ansi", false), u"x");
  std::fclose(f);

  f = OpenRead(dir, "u8", "\xC0\xAF\n\xED\xA0\x80\n\xE2\x82\xAC\n\xE2\x82");
  EXPECT_EQ(IO::GetNextLineFromUtf8File(f, u"u8", false), u"\uFFFD\uFFFD");
  EXPECT_EQ(IO::GetNextLineFromUtf8File(f, u"u8", false), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(IO::GetNextLineFromUtf8File(f, u"u8", false), u"\u20AC");
  EXPECT_EQ(IO::GetNextLineFromUtf8File(f, u"u8", false), u"\uFFFD");
  EXPECT_EQ(IO::GetNextLineFromUtf8File(f, u"u8", false), u"");
  std::fclose(f);

  // UTF-16: a lone CR ends a line and its follower starts the next; a lone surrogate stays;
  // an odd last byte becomes U+FFFD.
  f = OpenRead(dir, "le", std::string("a\0\r\0b\0\r\0\n\0\0\xD8\n\0c", 15));
  EXPECT_EQ(IO::GetNextLineFromUtf16File(f, u"le", true, false), u"a");
  EXPECT_EQ(IO::GetNextLineFromUtf16File(f, u"le", true, false), u"b");
  EXPECT_EQ(IO::GetNextLineFromUtf16File(f, u"le", true, false), std::u16string(1, 0xD800));
  EXPECT_EQ(IO::GetNextLineFromUtf16File(f, u"le", true, false), u"\uFFFD");
  EXPECT_EQ(IO::GetNextLineFromUtf16File(f, u"le", true, false), u"");
  std::fclose(f);
  f = OpenRead(dir, "be", std::string("\0a\0\r\0b", 6));
  EXPECT_EQ(IO::GetNextLineFromFile(f, u"be", TextEncodingUTF16BE, true), u"a");
  EXPECT_EQ(IO::GetNextLineFromFile(f, u"be", TextEncodingUTF16BE, true), u"b");
  std::fclose(f);

  // A null stream is the library's exception for every reader, never a crash.
  using Reader = std::function<std::u16string()>;
  const Reader nullReaders[] = {
      [] { return IO::GetNextLineFromFile(nullptr, u"none", TextEncodingUTF8, true); },
      [] { return IO::GetNextLineFromFile(nullptr, u"none", TextEncodingUTF16LE, true); },
      [] { return IO::GetNextLineFromAnsiFile(nullptr, u"none", true); },
      [] { return IO::GetNextLineFromUtf8File(nullptr, u"none", true); },
      [] { return IO::GetNextLineFromUtf16File(nullptr, u"none", false, true); },
  };
  for (const Reader& read : nullReaders) {
    const FileIOException e = Testing::Caught<FileIOException>(read);
    EXPECT_EQ(e.GetErrorId(), ErrorId::FileRead);
    EXPECT_EQ(e.GetPathname(), u"none");
  }

  f = OpenRead(dir, "any", "x");
  const FileIOException unknown = Testing::Caught<FileIOException>(
      [&] { IO::GetNextLineFromFile(f, u"any", TextEncodingUnknown, true); });
  EXPECT_EQ(unknown.GetErrorId(), 25);
  EXPECT_EQ(unknown.GetPathname(), u"TextEncodingUnknown");
  EXPECT_EQ(unknown.GetErrorArg(), u"any");
  EXPECT_EQ(Testing::Caught<FileIOException>([&] {
              IO::GetNextLineFromFile(f, u"any", TextEncodingUTF32BE, true);
            }).GetPathname(),
            u"TextEncodingUTF32");
  EXPECT_THROW(IO::GetNextLineFromFile(f, u"any", static_cast<TextEncoding>(9), true),
               FileIOException);
  std::fclose(f);
}

TEST(TextIO, WritersAndCreateFile) {
  TempFolder dir;
  std::FILE* f = IO::CreateFileW(dir.Path("be"), TextEncodingUTF16BE, true);
  IO::WriteLineToFile(f, u"be", u"A", TextEncodingUTF16BE);
  std::fclose(f);
  EXPECT_EQ(dir.Read("be"), std::string("\xFE\xFF\0A\0\n", 6));

  f = IO::CreateFileW(dir.Path("be"), TextEncodingUTF16BE, false);  // appends, no mark
  IO::WriteLineToUtf16File(f, u"be", u"\u4E2D", true);
  std::fclose(f);
  EXPECT_EQ(dir.Read("be"), std::string("\xFE\xFF\0A\0\n\x2D\x4E\n\0", 10));

  f = IO::CreateFileW(dir.Path("u8"), TextEncodingUTF8, true);
  IO::WriteLineToFile(f, u"u8", u"\u20AC", TextEncodingUTF8);
  IO::WriteLineToFile(f, u"u8", std::u16string(1, 0xDC00), TextEncodingUTF8NoBOM);
  IO::WriteLineToFile(f, u"u8", u"", TextEncodingUTF8);
  std::fclose(f);
  EXPECT_EQ(dir.Read("u8"), "\xEF\xBB\xBF\xE2\x82\xAC\n\xEF\xBF\xBD\n\n");

  f = IO::CreateFileW(dir.Path("ansi"), TextEncodingAnsi, true);
  IO::WriteLineToAnsiFile(f, u"ansi", u"\u00E9\u20AC");
  IO::WriteLineToAnsiFile(f, u"ansi", u"");
  std::fclose(f);
  EXPECT_EQ(dir.Read("ansi"), "\xE9\x80\n\n");

  f = IO::CreateFileW(dir.Path("le32"), TextEncodingUTF32LE, true);
  EXPECT_THROW(IO::WriteLineToFile(f, u"le32", u"x", TextEncodingUTF32LE), FileIOException);
  std::fclose(f);
  EXPECT_EQ(dir.Read("le32"), std::string("\xFF\xFE\0\0", 4));

  EXPECT_THROW(IO::CreateFileW(dir.Path("missing/x"), TextEncodingUTF8, true), FileIOException);
}

TEST(TextIO, CopyWithEncodingChoice) {
  TempFolder dir;
  const std::string source =
      "\xEF\xBB\xBF"
      "eins\r\n\r\nzwei \xC3\xBC\n";
  dir.Write("in.txt", source);
  // Same encoding: a byte-for-byte copy into a folder that is created.
  IO::CopyFileWithEncodingChoice(dir.Path("in.txt"), dir.Path("out"), TextEncodingUTF8,
                                 TextEncodingAnsi, true);
  EXPECT_EQ(dir.Read("out/in.txt"), source);
  // Another encoding: line by line; the read that meets the end writes one empty line.
  IO::CopyFileWithEncodingChoice(dir.Path("in.txt"), dir.Path("conv/le.txt"), TextEncodingUTF16LE,
                                 TextEncodingAnsi, true);
  EXPECT_EQ(dir.Read("conv/le.txt"), std::string("\xFF\xFE"
                                                 "e\0i\0n\0s\0\n\0z\0w\0e\0i\0 \0\xFC\0\n\0\n\0",
                                                 28));
  IO::CopyFileWithEncodingChoice(dir.Path("conv/le.txt"), dir.Path("conv/back.txt"),
                                 TextEncodingUTF8NoBOM, TextEncodingAnsi, false);
  EXPECT_EQ(dir.Read("conv/back.txt"), "eins\nzwei \xC3\xBC\n\n\n");
  EXPECT_THROW(IO::CopyFileWithEncodingChoice(dir.Path("missing.txt"), dir.Path("o2.txt"),
                                              TextEncodingUTF8, TextEncodingAnsi, true),
               FileIOException);
  // A read-only target that cannot be deleted is reported.
  dir.Write("ro/in.txt", "");
  CreateFolder(dir.Path("ro"));
  dir.Write("ro/in.txt", "old");
  ::chmod(dir.NativePath("ro/in.txt").c_str(), 0444);
  EXPECT_EQ(Testing::Caught<FileIOException>([&] {
              IO::CopyFileWithEncodingChoice(dir.Path("in.txt"), dir.Path("ro"), TextEncodingUTF8,
                                             TextEncodingAnsi, true);
            }).GetErrorId(),
            2005);
  EXPECT_EQ(dir.Read("ro/in.txt"), "old");

  // A target that resolves to the source is refused and the source survives.
  CreateFolder(dir.Path("same"));
  dir.Write("same/src.txt", source);
  ASSERT_EQ(::link(dir.NativePath("same/src.txt").c_str(), dir.NativePath("hard.txt").c_str()), 0);
  ASSERT_EQ(::symlink(dir.NativePath("same/src.txt").c_str(), dir.NativePath("soft.txt").c_str()),
            0);
  const std::u16string sameTargets[] = {dir.Path("same"), dir.Path("same/../same/src.txt"),
                                        dir.Path("hard.txt"), dir.Path("soft.txt")};
  for (const std::u16string& target : sameTargets) {
    for (TextEncoding encoding : {TextEncodingUTF8, TextEncodingUTF16LE}) {
      EXPECT_EQ(Testing::Caught<FileIOException>([&] {
                  IO::CopyFileWithEncodingChoice(dir.Path("same/src.txt"), target, encoding,
                                                 TextEncodingAnsi, true);
                }).GetErrorId(),
                ErrorId::FileCreate);
      EXPECT_EQ(dir.Read("same/src.txt"), source) << std::string(target.begin(), target.end());
    }
  }
}

TEST(TextIO, FileTimesAndReadOnlyFlag) {
  TempFolder dir;
  dir.Write("f", "x");
  const std::int64_t time = IO::GetUtcFileTime(dir.Path("f"));
  EXPECT_GT(time, 1600000000);
  EXPECT_LE(time, IO::GetUtcTimeStampNow());
  EXPECT_FALSE(IO::IsFileModified(dir.Path("f"), time));
  EXPECT_FALSE(IO::IsFileModified(dir.Path("f"), time + 3600));
  EXPECT_FALSE(IO::IsFileModified(dir.Path("f"), time - 3600));
  EXPECT_TRUE(IO::IsFileModified(dir.Path("f"), time + 3601));
  EXPECT_TRUE(IO::IsFileModified(dir.Path("f"), time + 1));
  EXPECT_EQ(IO::GetUtcFileTime(dir.Path("missing")), 0);
  EXPECT_FALSE(IO::IsFileModified(dir.Path("missing"), 0));
  EXPECT_TRUE(IO::DirectoryExists(dir.Path()));
  EXPECT_FALSE(IO::DirectoryExists(dir.Path("f")));

  ::chmod(dir.NativePath("f").c_str(), 0444);
  IO::RemoveReadOnlyFlag(dir.Path("f"));
  struct stat st {};
  ::stat(dir.NativePath("f").c_str(), &st);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
  EXPECT_THROW(IO::RemoveReadOnlyFlag(dir.Path("missing")), FileIOException);
}

}  // namespace
}  // namespace Qel::Tools
