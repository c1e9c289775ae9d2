// Calls from a program's point of view: `using namespace Qel` beside the C library's own
// headers, and the typed overload sets with every integer type a 64-bit program passes.
#include <sys/timeb.h>

#include <gtest/gtest.h>
#include <qel/core/StringConversion.h>
#include <qel/geom/Geometry.h>
#include <qel/xml/QelXmlOutStream.h>

#include <cstddef>
#include <string>

using namespace Qel;

namespace {

TEST(PublicOverloads, TimingTakesTheCLibrarysTimeb) {
  timeb start{};
  timeb end{};
  start.time = 1000;
  end.time = 1005;
  end.millitm = 250;
  EXPECT_EQ(Timing::GetTimeDifferenceAsWstring(start, end), u"5.250s");
}

TEST(PublicOverloads, IntegerArgumentsOfEveryWidthPickAnOverload) {
  QelXmlOutStream out(StorageString, 256);
  out.CreateNode("n");
  out.AddProperty("size", std::size_t{4000000000u});
  out.AddProperty("long", -5L);
  out.AddProperty("ulong", 7UL);
  out.AddProperty("llong", -9000000000LL);
  out.AddProperty("ullong", 18446744073709551615ULL);
  out.AddProperty("short", static_cast<short>(-3));
  out.AddProperty("flag", true);
  out.CloseNode("n");
  out.Close();
  EXPECT_EQ(out.getXmlString(),
            "<?xml version=\"1.0\"?>\n<n size=\"4000000000\" long=\"-5\" ulong=\"7\" "
            "llong=\"-9000000000\" ullong=\"18446744073709551615\" short=\"-3\" flag=\"1\"></n>");

  const double down = Qel::ArcTan(0, 1);
  EXPECT_EQ(Qel::ArcTan(0L, 1L), down);
  EXPECT_EQ(Qel::ArcTan(std::size_t{0}, std::size_t{1}), down);
  EXPECT_EQ(Qel::ArcTan(0UL, 1UL), down);
  EXPECT_EQ(Qel::round(7L), 7);
  EXPECT_EQ(Qel::round(std::size_t{5000000000u}), 2147483647);
  EXPECT_EQ(Qel::round(-5000000000L), -2147483647 - 1);
  EXPECT_EQ(Qel::round(3UL), 3);
}

}  // namespace
