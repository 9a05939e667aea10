// Monotone cubic interpolation (Fritsch-Carlson) of a curve's control points onto the 256
// entries of a correction curve. Used by the build-time generator of the preset curves.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace curvegen {

inline constexpr int kEntries = 256;

struct ControlPoint {
  int index;  // 0-255
  int value;  // 0-65535
};

// Empty when the points are usable: at least two, indexes strictly increasing from 0 to 255,
// values within 16 bits and never decreasing. Otherwise the reason.
inline std::string CheckPoints(std::span<const ControlPoint> points) {
  if (points.size() < 2) return "needs at least two control points";
  if (points.front().index != 0) return "the first control point must be at index 0";
  if (points.back().index != kEntries - 1) return "the last control point must be at index 255";
  for (size_t i = 0; i < points.size(); ++i) {
    if (points[i].value < 0 || points[i].value > 65535) return "a value is outside 0-65535";
    if (i > 0 && points[i].index <= points[i - 1].index) return "indexes must increase";
    if (i > 0 && points[i].value < points[i - 1].value) return "values must not decrease";
  }
  return {};
}

// The interpolated curve; the points must have passed CheckPoints. The curve passes through
// every control point, and between two points it stays within their values, so it never
// decreases.
inline std::array<uint16_t, kEntries> Interpolate(std::span<const ControlPoint> points) {
  const size_t n = points.size();
  std::vector<double> secant(n - 1);
  for (size_t k = 0; k + 1 < n; ++k) {
    secant[k] = static_cast<double>(points[k + 1].value - points[k].value) /
                static_cast<double>(points[k + 1].index - points[k].index);
  }
  // Tangents: the mean of the neighbouring secants, zero at a local flat, one-sided at the
  // ends; then limited so that no segment overshoots (the Fritsch-Carlson condition).
  std::vector<double> tangent(n);
  tangent[0] = secant[0];
  tangent[n - 1] = secant[n - 2];
  for (size_t k = 1; k + 1 < n; ++k) {
    tangent[k] = (secant[k - 1] * secant[k] <= 0.0) ? 0.0 : (secant[k - 1] + secant[k]) / 2.0;
  }
  for (size_t k = 0; k + 1 < n; ++k) {
    if (secant[k] == 0.0) {
      tangent[k] = 0.0;
      tangent[k + 1] = 0.0;
      continue;
    }
    const double a = tangent[k] / secant[k];
    const double b = tangent[k + 1] / secant[k];
    const double r = a * a + b * b;
    if (r > 9.0) {
      const double t = 3.0 / std::sqrt(r);
      tangent[k] = t * a * secant[k];
      tangent[k + 1] = t * b * secant[k];
    }
  }

  std::array<uint16_t, kEntries> curve{};
  size_t k = 0;
  for (int x = 0; x < kEntries; ++x) {
    while (k + 2 < n && x > points[k + 1].index) ++k;
    const double h = static_cast<double>(points[k + 1].index - points[k].index);
    const double t = static_cast<double>(x - points[k].index) / h;
    const double t2 = t * t;
    const double t3 = t2 * t;
    const double y = (2 * t3 - 3 * t2 + 1) * points[k].value + (t3 - 2 * t2 + t) * h * tangent[k] +
                     (-2 * t3 + 3 * t2) * points[k + 1].value + (t3 - t2) * h * tangent[k + 1];
    // Rounding is monotone, and the clamp removes the last rounding error of the cubic.
    const double low = points[k].value;
    const double high = points[k + 1].value;
    const double clamped = y < low ? low : (y > high ? high : y);
    curve[static_cast<size_t>(x)] = static_cast<uint16_t>(std::lround(clamped));
  }
  return curve;
}

}  // namespace curvegen
