#include "common/Rect.h"

#include <algorithm>

namespace Tamrin {
namespace Solvane {

void Rect::unite(const Vec2& point)
{
    const double newX = std::min(point.x, x);
    const double newY = std::min(point.y, y);
    const double newWidth = std::max(x + width, point.x) - newX;
    const double newHeight = std::max(y + height, point.y) - newY;
    x = newX;
    y = newY;
    width = newWidth;
    height = newHeight;
}

} // namespace Solvane
} // namespace Tamrin
