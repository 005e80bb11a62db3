#pragma once

#include <cstdint>

#include "common/Vec2.h"

namespace Tamrin {
namespace Solvane {

// The seven parameter values of the current frame, in the renderer's units.
struct RenderSettings {
    double threshold = 0.5;        // fraction 0 to 1
    double thresholdSmooth = 0.01; // fraction 0.01 to 1
    Vec2 center;                   // layer pixels
    double shineLength = 2048.0;   // 0 to 2048 pixels
    double exposure = 0.4;         // 0 to 4 stops
    std::int32_t quality = 1;      // 0 best, 2 fastest
    bool rayOnly = false;
};

} // namespace Solvane
} // namespace Tamrin
