#pragma once

namespace Tamrin {
namespace Solvane {

// Two doubles: a size, an offset or a point in pixels.
struct Vec2 {
    double x = 0.0;
    double y = 0.0;

    constexpr Vec2() = default;
    constexpr Vec2(double xValue, double yValue) : x(xValue), y(yValue) {}

    static constexpr Vec2 zero() { return Vec2(); }

    constexpr Vec2 operator+(const Vec2& other) const { return Vec2(x + other.x, y + other.y); }
    constexpr Vec2 operator/(double divisor) const { return Vec2(x / divisor, y / divisor); }
    Vec2& operator/=(double divisor)
    {
        x /= divisor;
        y /= divisor;
        return *this;
    }
};

} // namespace Solvane
} // namespace Tamrin
