// Rectangles, angles, distances and millimetre/pixel conversion.
#include "qel/geom/Geometry.h"

#include <cmath>
#include <limits>
#include <string>

#include "core/Text.h"
#include "core/Throw.h"

namespace Qel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kThreeHalfPi = 4.71238898038469;
constexpr double kMmPerInch = 25.4;

// Edge arithmetic in 32 bits that wraps instead of overflowing.
std::int32_t Wrap(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

[[noreturn]] void ThrowNegative(const char16_t* what, std::int32_t value) {
  Detail::ThrowInvalidArgument(what + Detail::DecimalU16(value));
}

template <class Float>
std::int32_t RoundHalfAway(Float value) {
  if (std::isnan(value)) return 0;
  const Float rounded = std::round(value);
  if (rounded >= static_cast<Float>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (rounded <= static_cast<Float>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

void Rectangle::Set(std::int32_t topEdge, std::int32_t bottomEdge, std::int32_t leftEdge,
                    std::int32_t rightEdge) {
  top = topEdge;
  bottom = bottomEdge;
  left = leftEdge;
  right = rightEdge;
}

std::int32_t Rectangle::GetWidth() const {
  return Wrap(static_cast<std::int64_t>(right) - left + 1);
}

std::int32_t Rectangle::GetHeight() const {
  return Wrap(static_cast<std::int64_t>(bottom) - top + 1);
}

void Rectangle::SetWidth(std::int32_t width) {
  if (width < 0) {
    ThrowNegative(
        u"Rectangle::SetWidth(long width) -> 'width' parameter is not allowed to be negative. "
        u"Value=",
        width);
  }
  right = Wrap(static_cast<std::int64_t>(left) + width - 1);
}

void Rectangle::SetHeight(std::int32_t height) {
  if (height < 0) {
    ThrowNegative(
        u"Rectangle::SetHeight(long height) -> 'height' parameter is not allowed to be "
        u"negative. Value=",
        height);
  }
  bottom = Wrap(static_cast<std::int64_t>(top) + height - 1);
}

void Rectangle::ExtendWithRectangle(const Rectangle& other) {
  if (other.left < left) left = other.left;
  if (other.top < top) top = other.top;
  if (other.right > right) right = other.right;
  if (other.bottom > bottom) bottom = other.bottom;
}

bool Rectangle::ReduceRectangleOnTheRight(const Rectangle& other) {
  if (left <= other.left && other.left <= right) {
    right = Wrap(static_cast<std::int64_t>(other.left) - 1);
    return true;
  }
  return false;
}

double ArcTan(std::int32_t dx, std::int32_t dy) {
  return ArcTan(static_cast<double>(dx), static_cast<double>(dy));
}

double ArcTan(double dx, double dy) {
  if (dx != 0.0) {
    const double a = std::atan(-dy / dx);
    if (dx < 0.0) return a + kPi;
    return a < 0.0 ? a + kTwoPi : a;
  }
  if (dy < 0.0) return kHalfPi;
  if (dy == 0.0) return 0.0;
  return kThreeHalfPi;
}

double Distance(double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  return std::sqrt(dx * dx + dy * dy);
}

double PixToMm(double pixels, double dpi) { return pixels / dpi * kMmPerInch; }

double dMmToPix(double mm, double dpi) { return mm / kMmPerInch * dpi; }

std::int32_t lMmToPix(double mm, double dpi) { return round(dMmToPix(mm, dpi)); }

std::int32_t round(float value) { return RoundHalfAway(value); }

std::int32_t round(double value) { return RoundHalfAway(value); }

}  // namespace Qel
