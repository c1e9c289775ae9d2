// Tests of points, rectangles, angles, distances, unit conversion and rounding.
#include "qel/geom/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "qel/core/Exceptions.h"

namespace Qel {
namespace {

constexpr double kPi = 3.141592653589793;

TEST(GeometryTest, PointsCompareByBothCoordinates) {
  const Point p(3, -4);
  EXPECT_EQ(p.x, 3);
  EXPECT_EQ(p.y, -4);
  EXPECT_TRUE(p == Point(3, -4));
  EXPECT_TRUE(p != Point(3, 4));
  EXPECT_TRUE(p != Point(-3, -4));
}

TEST(GeometryTest, RectangleEdgesAreInclusive) {
  Rectangle zero;
  EXPECT_EQ(zero, Rectangle::Empty());
  EXPECT_EQ(zero.GetWidth(), 1);
  EXPECT_EQ(zero.GetHeight(), 1);

  Rectangle r(10, 19, 100, 149);  // top, bottom, left, right
  EXPECT_EQ(r.GetWidth(), 50);
  EXPECT_EQ(r.GetHeight(), 10);
  EXPECT_EQ(Rectangle(Point(100, 10), Point(149, 19)), r);
  Rectangle copy(r);
  copy.Set(1, 2, 3, 4);
  EXPECT_EQ(copy, Rectangle(1, 2, 3, 4));
  EXPECT_NE(copy, r);
  EXPECT_NE(Rectangle(1, 2, 3, 5), Rectangle(1, 2, 3, 4)) << "every edge counts";

  r.SetWidth(5);
  EXPECT_EQ(r, Rectangle(10, 19, 100, 104));
  r.SetHeight(0);
  EXPECT_EQ(r, Rectangle(10, 9, 100, 104));
  EXPECT_EQ(r.GetHeight(), 0);
  r.SetWidth(0);
  EXPECT_EQ(r, Rectangle(10, 9, 100, 99));
  EXPECT_EQ(r.GetWidth(), 0);
}

TEST(GeometryTest, NegativeSizesThrowAndChangeNothing) {
  Rectangle r(0, 9, 0, 9);
  const struct {
    std::function<void()> call;
    std::u16string arg;
  } cases[] = {
      {[&] { r.SetWidth(-5); },
       u"Rectangle::SetWidth(long width) -> 'width' parameter is not allowed to be negative. "
       u"Value=-5"},
      {[&] { r.SetHeight(std::numeric_limits<std::int32_t>::min()); },
       u"Rectangle::SetHeight(long height) -> 'height' parameter is not allowed to be negative. "
       u"Value=-2147483648"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "negative size accepted";
    } catch (const BaseException& e) {
      EXPECT_EQ(e.GetErrorId(), 1);
      EXPECT_EQ(e.GetErrorArg(), c.arg);
      EXPECT_NE(e.GetErrorDescription().find(u"parameter is not allowed to be negative"),
                std::u16string::npos);
    }
  }
  EXPECT_EQ(r, Rectangle(0, 9, 0, 9));
}

TEST(GeometryTest, ExtendAndReduce) {
  Rectangle r(10, 20, 10, 20);
  r.ExtendWithRectangle(Rectangle(12, 18, 11, 19));
  EXPECT_EQ(r, Rectangle(10, 20, 10, 20)) << "a rectangle inside changes nothing";
  const Rectangle other(5, 12, 15, 30);
  r.ExtendWithRectangle(other);
  EXPECT_EQ(r, Rectangle(5, 20, 10, 30));
  EXPECT_EQ(other, Rectangle(5, 12, 15, 30));

  Rectangle s(0, 10, 10, 20);
  EXPECT_FALSE(s.ReduceRectangleOnTheRight(Rectangle(0, 0, 21, 30)));
  EXPECT_FALSE(s.ReduceRectangleOnTheRight(Rectangle(0, 0, 9, 30)));
  EXPECT_EQ(s.right, 20);
  EXPECT_TRUE(s.ReduceRectangleOnTheRight(Rectangle(0, 0, 15, 30)));
  EXPECT_EQ(s.right, 14);
  EXPECT_TRUE(s.ReduceRectangleOnTheRight(Rectangle(0, 0, 10, 30)));
  EXPECT_EQ(s.right, 9);
  EXPECT_EQ(s.GetWidth(), 0);
}

TEST(GeometryTest, EdgeArithmeticWrapsAtTheLimits) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  Rectangle r(0, 0, kMin, kMax);
  EXPECT_EQ(r.GetWidth(), 0) << "2^32 wraps to 0";
  r.left = kMax;
  r.SetWidth(2);
  EXPECT_EQ(r.right, kMin);
}

TEST(GeometryTest, ArcTanRunsCounterClockwiseWithYDown) {
  EXPECT_EQ(ArcTan(0, 0), 0.0);
  const struct {
    int dx, dy;
    double quarters;  // of pi
  } cases[] = {{1, 0, 0}, {0, -1, 2}, {-1, 0, 4},  {0, 1, 6},
               {1, 1, 7}, {1, -1, 1}, {-1, -1, 3}, {-1, 1, 5}};
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(ArcTan(c.dx, c.dy), c.quarters * kPi / 4) << c.dx << ", " << c.dy;
  EXPECT_DOUBLE_EQ(ArcTan(-2.0, 1.0), ArcTan(-2, 1));
  EXPECT_DOUBLE_EQ(ArcTan(0.5, -3.0), std::atan(6.0));
  for (int dx = -3; dx <= 3; ++dx) {
    for (int dy = -3; dy <= 3; ++dy) {
      const double a = ArcTan(dx, dy);
      EXPECT_GE(a, 0.0);
      EXPECT_LT(a, 2 * kPi);
    }
  }
}

TEST(GeometryTest, DistancesConversionsAndRounding) {
  EXPECT_DOUBLE_EQ(Distance(1, 1, 4, 5), 5.0);
  EXPECT_DOUBLE_EQ(Distance(4, 5, 1, 1), 5.0);
  EXPECT_DOUBLE_EQ(PixToMm(300, 300), 25.4);
  EXPECT_DOUBLE_EQ(dMmToPix(25.4, 300), 300.0);
  EXPECT_EQ(lMmToPix(25.4, 300), 300);
  EXPECT_EQ(lMmToPix(1.0, 300), 12);  // 11.81
  EXPECT_EQ(lMmToPix(-1.0, 300), -12);
  EXPECT_TRUE(std::isinf(PixToMm(1, 0)));
  EXPECT_TRUE(std::isnan(dMmToPix(0, 0) * 0 + PixToMm(0, 0)));

  EXPECT_EQ(round(2.5), 3);
  EXPECT_EQ(round(-2.5), -3);
  EXPECT_EQ(round(-0.5), -1);
  EXPECT_EQ(round(0.49999999999999994), 0);
  EXPECT_EQ(round(2.5f), 3);
  EXPECT_EQ(round(-1.4f), -1);
  EXPECT_EQ(round(1e300), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(round(-1e300), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(round(std::nan("")), 0);
  EXPECT_EQ(round(3e9f), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
}  // namespace Qel
