#pragma once

#include <vector>

#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace Obs {

// The effect's values as the OBS filter's properties hold them: the per-cent
// sliders in per cent, the shine length in pixels, the quality as the host's popup
// choice (1 High, 2 Medium, 3 Low) and the centre in per cent of the source's width
// and height, which may lie outside 0 to 100 (a light off screen). Writes them into
// the substitute host's parameter store in the host's units before each render.
// No OpenGL, no OBS.
struct FilterValues {
    double threshold = 50.0;
    double thresholdSmooth = 0.0;
    double exposure = 10.0;
    int shineLength = 2048;
    int quality = 2;
    bool rayOnly = false;
    double centerX = 50.0;
    double centerY = 50.0;

    // The values the plug-in declared (its own defaults), read from the host's
    // parameter store after parameter set-up; a parameter of another type than
    // expected keeps the value above.
    static FilterValues fromDeclared(const std::vector<StandIn::HostParameter>& declared);

    // Every value into the host's store for a frame of the given size: values out of
    // their ranges are brought into them, the centre to the host's +-32767 pixels, and
    // a value that is not a finite number counts as its default.
    void applyTo(StandIn::SubstituteHost& host, int frameWidth, int frameHeight) const;
};

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
