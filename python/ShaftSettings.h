#pragma once

#include <optional>
#include <string>
#include <vector>

#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace Python {

// The effect's values as one call of the module gives them, in the host's units as `solvane render` takes them:
// the per-cent sliders in per cent, the centre in pixels of the image from its top-left corner, the shine length in
// pixels, the quality as the popup's choice (1 High, 2 Medium, 3 Low). A value left unset is the plug-in's declared
// default, the centre's being the middle of the image. Owns nothing but the values; no Python and no OpenGL, so
// that the values can later be read by the clients' shared core.
struct ShaftSettings {
    std::optional<double> threshold;
    std::optional<double> thresholdSmooth;
    std::optional<double> centerX, centerY;
    std::optional<long long> shineLength;
    std::optional<double> exposure;
    std::optional<int> quality;
    bool rayOnly = false;

    // Why the values cannot be used, naming the module's argument ("threshold must be from 0 to 100, not 120"); ""
    // when they can. The ranges are the ones the plug-in declared; the centre may lie outside the image, within the
    // host's reach of 32767 pixels.
    std::string problem(const std::vector<StandIn::HostParameter>& declared) const;

    // Writes every value into the host's store before a frame: the unset ones as the plug-in declared them, so that
    // one call's values never leak into the next.
    void applyTo(StandIn::SubstituteHost& host) const;
};

// One parameter as the host shows it to a user, for ostrel_solvane.parameters().
struct ShownParameter {
    std::string argument; // the module's keyword for it ("threshold_smooth")
    std::string name;     // the plug-in's own name for it ("Threshold Smooth")
    std::string kind;     // "fixed slider", "slider", "point", "popup", "checkbox"
    double minimum = 0.0, maximum = 0.0;
    std::vector<double> defaults;      // one value, or x and y in per cent of the image for the point
    std::vector<std::string> choices;  // a popup's choices, from choice 1
    bool hidden = false;               // hidden from the user in the host's controls
};

// The seven parameters the plug-in declared, in its order; a slot declared with another kind than expected is left
// out.
std::vector<ShownParameter> shownParameters(const std::vector<StandIn::HostParameter>& declared);

// The module's names of the Quality choices, from choice 1: "high", "medium", "low".
const std::vector<std::string>& qualityNames();

} // namespace Python
} // namespace Solvane
} // namespace Tamrin
