#include "qel/util/Base64.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "qel/core/Exceptions.h"

namespace Qel {
namespace {

std::u16string DecodeError(const std::string& text) {
  try {
    Base64::FromBase64(text);
  } catch (const BaseException& e) {
    EXPECT_EQ(e.GetErrorId(), 17);
    return e.GetErrorArg();
  }
  return u"(no error)";
}

TEST(Base64, SizesAndKnownEncodings) {
  EXPECT_EQ(Base64::CalculateEncodedSize(0), 0u);
  EXPECT_EQ(Base64::CalculateEncodedSize(1), 4u);
  EXPECT_EQ(Base64::CalculateEncodedSize(3), 4u);
  EXPECT_EQ(Base64::CalculateEncodedSize(4), 8u);
  EXPECT_EQ(Base64::CalculateEncodedSize(3221225469u), 4294967292u);
  EXPECT_THROW(Base64::CalculateEncodedSize(3221225470u), BaseException);
  EXPECT_EQ(Base64::CalculateDecodedSize(8), 6u);

  EXPECT_EQ(Base64::ToBase64(std::string("Man")), "TWFu");
  EXPECT_EQ(Base64::ToBase64(std::string("Ma")), "TWE=");
  EXPECT_EQ(Base64::ToBase64(std::string("M")), "TQ==");
  EXPECT_EQ(Base64::ToBase64(std::string()), "");
  EXPECT_EQ(Base64::ToBase64(std::string("\0\xFF\xFE", 3)), "AP/+");

  char* encoded = Base64::Encode("", 0);
  EXPECT_STREQ(encoded, "");
  std::free(encoded);
  encoded = Base64::Encode("Man M", 5);
  EXPECT_STREQ(encoded, "TWFuIE0=");
  std::free(encoded);
}

TEST(Base64, DecodingAndRoundTrips) {
  EXPECT_EQ(Base64::FromBase64(std::string("TQ==")), "M");
  EXPECT_EQ(Base64::FromBase64(std::string("TWE=")), "Ma");
  EXPECT_EQ(Base64::FromBase64(std::string("TWFu")), "Man");
  EXPECT_EQ(Base64::FromBase64(std::string("")), "");
  unsigned int length = 8;
  void* bytes = Base64::Decode("TWFuTWE=", length);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(std::string(static_cast<char*>(bytes), length), "ManMa");
  std::free(bytes);
  length = 0;
  bytes = Base64::Decode("", length);
  EXPECT_EQ(length, 0u);
  std::free(bytes);

  std::mt19937 random(7);
  for (std::size_t size : {1u, 2u, 3u, 4u, 5u, 63u, 64u, 65u, 1000u}) {
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(random());
    const std::string text = Base64::ToBase64(data);
    EXPECT_EQ(text.size(), Base64::CalculateEncodedSize(static_cast<unsigned int>(size)));
    EXPECT_EQ(Base64::FromBase64(text), data) << "size " << size;
  }
  const std::u16string wide = u"gr\u00FC\u00DFe \u4E2D\U0001F600";
  EXPECT_EQ(Base64::FromBase64(Base64::ToBase64(wide)), wide);
  EXPECT_EQ(Base64::ToBase64(u"Man"), u"TWFu");
  EXPECT_EQ(Base64::FromBase64(u"YQBi"), u"a") << "an embedded NUL ends the text";
}

TEST(Base64, BadInputThrowsWithTheCheckThatFailed) {
  EXPECT_EQ(DecodeError("T==="), u"Base64::Decode()[1]");
  EXPECT_EQ(DecodeError("=QAA"), u"Base64::Decode()[1]");
  EXPECT_EQ(DecodeError("TW=u"), u"Base64::Decode()[2]");
  EXPECT_EQ(DecodeError("TWF"), u"Base64::Decode()[0]");
  EXPECT_EQ(DecodeError("TW*u"), u"Base64::Pos()");
  EXPECT_EQ(DecodeError("TWFuTW\nu"), u"Base64::Pos()");
  EXPECT_EQ(DecodeError(std::string("TWFu\0WFu", 8)), u"Base64::Pos()");
  EXPECT_EQ(DecodeError("TWFu\xC3\xA9xx"), u"Base64::Pos()");
  EXPECT_EQ(DecodeError("TW==TW*u"), u"Base64::Pos()");
  EXPECT_EQ(DecodeError("TWFuT==="), u"Base64::Decode()[1]");
  EXPECT_EQ(DecodeError("TW=uTWFu"), u"Base64::Decode()[2]");
  // The same checks in the middle of longer texts, which are decoded two groups at a time.
  EXPECT_EQ(DecodeError("TWFuTW*uTWFuTWFu"), u"Base64::Pos()");
  EXPECT_EQ(DecodeError("TWFuTWFuT===TWFu"), u"Base64::Decode()[1]");
  EXPECT_EQ(DecodeError("TWFuTWFuTWFuTW=u"), u"Base64::Decode()[2]");
  EXPECT_EQ(Base64::FromBase64(std::string("TWFuTQ==TWFuTWFu")), std::string("ManM\0\0ManMan", 12));

  // Padding in a group that is not the last leaves zero bytes in its holes.
  unsigned int length = 8;
  unsigned char out[6] = {9, 9, 9, 9, 9, 9};
  Base64::Decode("TQ==TWFu", length, out);
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), std::string("M\0\0Man", 6));
  length = 3;
  EXPECT_THROW(Base64::Decode("TWF", length, out), BaseException);
}

}  // namespace
}  // namespace Qel
