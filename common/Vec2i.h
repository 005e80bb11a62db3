#pragma once

#include <cstdint>

namespace Tamrin {
namespace Solvane {

// Two signed 32-bit integers: a size in texels.
struct Vec2i {
    std::int32_t x = 0;
    std::int32_t y = 0;

    constexpr Vec2i() = default;
    constexpr Vec2i(std::int32_t xValue, std::int32_t yValue) : x(xValue), y(yValue) {}

    constexpr bool operator!=(const Vec2i& other) const { return x != other.x || y != other.y; }
    constexpr bool operator==(const Vec2i& other) const { return !(*this != other); }
};

} // namespace Solvane
} // namespace Tamrin
