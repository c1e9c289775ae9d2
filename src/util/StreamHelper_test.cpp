#include "qel/util/StreamHelper.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "core/TestCaught.h"
#include "qel/core/Exceptions.h"

namespace Qel {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

TEST(StreamHelper, ExactLittleEndianLayouts) {
  std::ostringstream out(std::ios::binary);
  StreamHelper::WriteBool(&out, true);
  StreamHelper::WriteShort(&out, -2);
  StreamHelper::WriteLong(&out, 0x01020304);
  StreamHelper::WriteUnsignedLong(&out, 0xFFFFFFFEu);
  StreamHelper::WriteSize_t(&out, 7);
  StreamHelper::WriteUnsignedLongLong(&out, 0x0102030405060708ull);
  StreamHelper::WriteDouble(&out, 1.0);
  StreamHelper::WriteString(&out, u"ab");
  StreamHelper::WriteString(&out, u"");
  EXPECT_EQ(out.str(),
            Bytes({1, 0xFE, 0xFF, 4,    3, 2,    1, 0xFE, 0xFF, 0xFF, 0xFF, 7, 0, 0,    0,    8,
                   7, 6,    5,    4,    3, 2,    1, 0,    0,    0,    0,    0, 0, 0xF0, 0x3F, 6,
                   0, 0,    0,    0x61, 0, 0x62, 0, 0,    0,    2,    0,    0, 0, 0,    0}));

  // Read back in order, each into a target that holds another value first.
  std::istringstream in(out.str(), std::ios::binary);
  auto read = [&in](auto reader, auto value) {
    reader(&in, value);
    return value;
  };
  EXPECT_TRUE(read(StreamHelper::ReadBool, false));
  EXPECT_EQ(read(StreamHelper::ReadShort, std::int16_t{0}), -2);
  EXPECT_EQ(read(StreamHelper::ReadLong, std::int32_t{0}), 0x01020304);
  EXPECT_EQ(read(StreamHelper::ReadUnsignedLong, std::uint32_t{0}), 0xFFFFFFFEu);
  EXPECT_EQ(read(StreamHelper::ReadSize_t, std::uint32_t{0}), 7u);
  EXPECT_EQ(read(StreamHelper::ReadUnsignedLongLong, std::uint64_t{0}), 0x0102030405060708ull);
  EXPECT_EQ(read(StreamHelper::ReadDouble, 0.0), 1.0);
  EXPECT_EQ(read(StreamHelper::ReadString, std::u16string(u"old")), u"ab");
  EXPECT_EQ(read(StreamHelper::ReadString, std::u16string(u"old")), u"");
}

TEST(StreamHelper, LongStringsCrossChunks) {
  std::u16string text;
  for (int i = 0; i < 600; ++i) text += static_cast<char16_t>(0x4E00 + i);
  text[511] = 0xD800;  // any unit value travels unchanged
  std::ostringstream out(std::ios::binary);
  StreamHelper::WriteString(&out, text);
  EXPECT_EQ(out.str().size(), 4u + 1202u);
  std::istringstream in(out.str(), std::ios::binary);
  std::u16string back;
  StreamHelper::ReadString(&in, back);
  EXPECT_EQ(back, text);
}

TEST(StreamHelper, ShortStreamsAndBadCountsFailWithTheOperationName) {
  std::istringstream three(Bytes({1, 2, 3}), std::ios::binary);
  std::int32_t l = 0;
  FileIOException e = Testing::Caught<FileIOException>([&] { StreamHelper::ReadLong(&three, l); });
  EXPECT_EQ(e.GetErrorId(), 2004);
  EXPECT_EQ(e.GetPathname(), u"StreamHelper::ReadLong");

  std::istringstream none("", std::ios::binary);
  double d = 0;
  EXPECT_EQ(
      Testing::Caught<FileIOException>([&] { StreamHelper::ReadDouble(&none, d); }).GetPathname(),
      u"StreamHelper::ReadDouble");

  const struct {
    std::string bytes;
    std::u16string expected;  // what the target holds after the failure
  } cases[] = {
      {Bytes({0xFF, 0xFF, 0xFF, 0xFF}), u""},           // negative: -1
      {Bytes({0x00, 0x00, 0x00, 0x80, 0x41, 0}), u""},  // most negative
      {Bytes({3, 0, 0, 0, 0x41, 0, 0x42}), u""},        // odd
      {Bytes({0xFE, 0xFF, 0xFF, 0x7F, 0x41, 0}), u""},  // far beyond the stream
      {Bytes({8, 0, 0, 0, 0x41, 0, 0x42}), u""},        // truncated in the first chunk
      {Bytes({2, 0}), u"x"},                            // truncated count: the target is untouched
  };
  for (const auto& c : cases) {
    std::istringstream in(c.bytes, std::ios::binary);
    std::u16string target = u"x";
    e = Testing::Caught<FileIOException>([&] { StreamHelper::ReadString(&in, target); });
    EXPECT_EQ(e.GetErrorId(), 2004);
    EXPECT_EQ(e.GetPathname(), u"StreamHelper::ReadString");
    EXPECT_EQ(target, c.expected);
  }
  // Failing in the second chunk keeps the first.
  std::string bytes = Bytes({0x00, 0x08, 0, 0});
  for (int i = 0; i < 512; ++i) bytes += Bytes({0x41, 0});
  std::istringstream partial(bytes, std::ios::binary);
  std::u16string target;
  EXPECT_THROW(StreamHelper::ReadString(&partial, target), FileIOException);
  EXPECT_EQ(target, std::u16string(512, u'A'));

  std::ostringstream bad;
  bad.setstate(std::ios::badbit);
  e = Testing::Caught<FileIOException>([&] { StreamHelper::WriteShort(&bad, 1); });
  EXPECT_EQ(e.GetErrorId(), 2001);
  EXPECT_EQ(e.GetPathname(), u"StreamHelper::WriteShor");
  EXPECT_THROW(StreamHelper::WriteString(&bad, u"a"), FileIOException);
  bool flag = false;
  EXPECT_THROW(StreamHelper::ReadBool(nullptr, flag), FileIOException);
}

}  // namespace
}  // namespace Qel
