#pragma once

#include "common/Vec2.h"

namespace Tamrin {
namespace Solvane {

// A rectangle in pixels: origin x, y and extent width, height.
struct Rect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    constexpr Rect() = default;
    constexpr Rect(double xValue, double yValue, double w, double h) : x(xValue), y(yValue), width(w), height(h) {}

    constexpr Vec2 size() const { return Vec2(width, height); }

    // Grows the rectangle just enough to contain the point.
    void unite(const Vec2& point);
};

} // namespace Solvane
} // namespace Tamrin
