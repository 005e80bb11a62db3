#pragma once

#include <cstdint>

namespace Tamrin {
namespace Solvane {

// A rectangle of texels: columns x to x + width - 1 and rows y to y + height - 1,
// counted from the texture's first row as OpenGL counts them.
struct TexelRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    constexpr bool operator==(const TexelRect& other) const
    {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
};

} // namespace Solvane
} // namespace Tamrin
