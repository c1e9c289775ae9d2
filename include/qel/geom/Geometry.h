// Page geometry in pixel coordinates: points, rectangles with inclusive edges, the direction and
// length of vectors, and millimetre/pixel conversion. Plain values with no shared state: any
// thread may use its own values.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>

namespace Qel {

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;

  Point() = default;
  Point(std::int32_t xValue, std::int32_t yValue) : x(xValue), y(yValue) {}

  friend bool operator==(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }
  friend bool operator!=(const Point& a, const Point& b) { return !(a == b); }
};

// An axis-aligned rectangle whose edges belong to it: a rectangle with all edges 0 is one pixel
// wide and high. Edge arithmetic wraps around at the limits of 32 bits instead of overflowing.
class QEL_API Rectangle {
 public:
  std::int32_t top = 0;
  std::int32_t bottom = 0;
  std::int32_t left = 0;
  std::int32_t right = 0;

  // All edges 0.
  Rectangle() = default;
  Rectangle(std::int32_t topEdge, std::int32_t bottomEdge, std::int32_t leftEdge,
            std::int32_t rightEdge)
      : top(topEdge), bottom(bottomEdge), left(leftEdge), right(rightEdge) {}
  Rectangle(Point topLeft, Point bottomRight)
      : top(topLeft.y), bottom(bottomRight.y), left(topLeft.x), right(bottomRight.x) {}

  friend bool operator==(const Rectangle& a, const Rectangle& b) {
    return a.top == b.top && a.bottom == b.bottom && a.left == b.left && a.right == b.right;
  }
  friend bool operator!=(const Rectangle& a, const Rectangle& b) { return !(a == b); }

  // A rectangle with all edges 0.
  static Rectangle Empty() { return Rectangle(); }

  void Set(std::int32_t topEdge, std::int32_t bottomEdge, std::int32_t leftEdge,
           std::int32_t rightEdge);

  // right - left + 1.
  std::int32_t GetWidth() const;
  // bottom - top + 1.
  std::int32_t GetHeight() const;
  // Moves the right edge so that the width becomes `width`; the left edge stays. Throws
  // BaseException 1 for a negative width and leaves the rectangle unchanged.
  void SetWidth(std::int32_t width);
  // Moves the bottom edge so that the height becomes `height`; the top edge stays. Throws
  // BaseException 1 for a negative height and leaves the rectangle unchanged.
  void SetHeight(std::int32_t height);

  // Grows this rectangle to the bounding box of both.
  void ExtendWithRectangle(const Rectangle& other);
  // When other.left lies within this rectangle's horizontal span, moves the right edge to just
  // left of it and returns true; otherwise changes nothing and returns false.
  bool ReduceRectangleOnTheRight(const Rectangle& other);
};

// The direction of the vector (dx, dy) in radians, 0 to 2*pi, counter-clockwise on a page whose
// y axis points down: right 0, up pi/2, left pi, down 3*pi/2. The zero vector gives 0.
QEL_API double ArcTan(std::int32_t dx, std::int32_t dy);
QEL_API double ArcTan(double dx, double dy);
// Any other pair of integers (long, std::size_t, ...), with the same rules.
template <class T>
requires std::is_integral_v<T>
double ArcTan(T dx, T dy) { return ArcTan(static_cast<double>(dx), static_cast<double>(dy)); }

// The Euclidean distance between (x1, y1) and (x2, y2).
QEL_API double Distance(double x1, double y1, double x2, double y2);

// Pixels at `dpi` dots per inch to millimetres (25.4 mm per inch). A zero dpi is not guarded.
QEL_API double PixToMm(double pixels, double dpi);
// Millimetres to pixels at `dpi` dots per inch.
QEL_API double dMmToPix(double mm, double dpi);
// dMmToPix rounded to the nearest integer, halves away from zero.
QEL_API std::int32_t lMmToPix(double mm, double dpi);

// The nearest integer, halves away from zero (2.5 gives 3, -2.5 gives -3). Values beyond the
// 32-bit range give the nearest limit; NaN gives 0.
QEL_API std::int32_t round(float value);
QEL_API std::int32_t round(double value);
// An integer is already rounded; beyond the 32-bit range it gives the nearest limit.
template <class T>
requires std::is_integral_v<T> std::int32_t round(T value) {
  using Limits = std::numeric_limits<std::int32_t>;
  if (std::cmp_less(value, Limits::min())) return Limits::min();
  if (std::cmp_greater(value, Limits::max())) return Limits::max();
  return static_cast<std::int32_t>(value);
}

}  // namespace Qel
