#pragma once

#include <string>
#include <vector>

#include "standin/EffectValues.h"
#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace Frei0r {

// The effect's parameters as a frei0r host sees them: doubles in [0, 1], a boolean
// as a double, and the centre as two doubles, fractions of the frame's width and
// height that may lie outside [0, 1] (MLT hands frei0r modules doubles but never a
// position, and animates doubles with its keyframes). Owns one instance's values in
// those units; writes them into the substitute host's parameter store in the
// host's units before each render. No OpenGL.
class Frei0rParameters {
public:
    enum Index {
        kThreshold = 0,
        kThresholdSmooth,
        kCenterX,
        kCenterY,
        kShineLength,
        kExposure,
        kQuality,
        kRayOnly,
        kCount
    };

    // Name, frei0r type (F0R_PARAM_*) and explanation of each parameter.
    struct Description {
        const char* name;
        int type;
        const char* explanation;
    };
    static const Description& describe(int index);

    // The values the plug-in declared (its own defaults), read from the host's
    // parameter store after parameter set-up; they are also what a value that is not a
    // number falls back to.
    static Frei0rParameters fromDeclared(const std::vector<StandIn::HostParameter>& declared);

    // Sets one value from what a frei0r host hands over (a double), which the module
    // did not make: a value outside [0, 1] is brought to its nearest end, except the
    // centre's (a light off screen), and a value that is not a finite number counts as
    // the default. When the value had to change, `note` receives one line naming the
    // parameter. False for an unknown index.
    bool set(int index, const void* value, std::string* note = nullptr);
    // Writes one value the way frei0r reads it back; false for an unknown index.
    bool get(int index, void* value) const;

    // Writes every value into the host's store, in the host's units, for a frame of
    // the given size.
    void applyTo(StandIn::SubstituteHost& host, int frameWidth, int frameHeight) const;

    // Quality as the host's popup choice: 1 "High - Slow" below 0.25, 2 "Medium"
    // from 0.25 to below 0.75, 3 "Low - Fast" from 0.75.
    int qualityChoice() const;

private:
    static Frei0rParameters fromDeclaration(const StandIn::EffectDeclaration& declaration);

    // In the order of Index: frei0r's doubles, the centre as fractions of the frame.
    double values_[kCount] = {0.5, 0.0, 0.5, 0.5, 1.0, 0.1, 0.5, 0.0};
    double defaults_[kCount] = {0.5, 0.0, 0.5, 0.5, 1.0, 0.1, 0.5, 0.0};
    StandIn::EffectDeclaration declaration_;
};

} // namespace Frei0r
} // namespace Solvane
} // namespace Tamrin
