#pragma once

#include <string>
#include <vector>

#include "standin/EffectValues.h"
#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace Gimp {

// Where a layer lies in its image: its offsets and size, in image pixels.
struct LayerPlace {
    int offsetX = 0;
    int offsetY = 0;
    int width = 0;
    int height = 0;
};

// The effect's values as the GIMP procedure takes them: every value in the host's
// units (StandIn::EffectValues: per cent, pixels, the popup's choice number from 1, a
// flag), with the centre in image pixels as GIMP's tools give positions. Writes them
// into the substitute host's store before a render, the centre moved into the layer's
// own pixels. No GIMP and no OpenGL: the plug-in's main program does the GIMP side.
struct ShaftValues : StandIn::EffectValues {
    // The plug-in's declared defaults, read from the host's parameter store after
    // parameter set-up, with the centre at the layer's centre (the host's default of
    // 50 % of the layer) in image pixels.
    static ShaftValues declaredDefaults(const std::vector<StandIn::HostParameter>& declared, const LayerPlace& layer);

    // Values this run did not make (GIMP's last values, kept by an earlier run and
    // perhaps by another version), settled: each number brought into the declared
    // range at its nearest end, one that is not finite counting as the default (the
    // centre: the layer's centre), one line naming each such value added to `notes`.
    void settle(const std::vector<StandIn::HostParameter>& declared, const LayerPlace& layer,
                std::vector<std::string>& notes);

    // Why the values cannot be used ("" when they can): each outside the range the
    // plug-in declared, or a centre that is not a number or lies beyond what the host
    // can hold (32767 pixels from the layer's corner).
    std::string problem(const std::vector<StandIn::HostParameter>& declared, const LayerPlace& layer) const;

    // Writes every value into the host's store for a render of the layer, or of a copy
    // of it reduced by `scale` (the centre and the shine length scaled with it).
    void applyTo(StandIn::SubstituteHost& host, const LayerPlace& layer, double scale = 1.0) const;

    // The centre as a fraction of the layer's size from its top-left corner, and back:
    // how the last values are kept, so that a repeat on another layer puts the light
    // at the same place relative to it.
    void centerToLayerFraction(const LayerPlace& layer, double& fx, double& fy) const;
    void centerFromLayerFraction(const LayerPlace& layer, double fx, double fy);

    // The centre put in the middle of the layer's pixel (x, y), where a click on the
    // preview lands: in image pixels, so moved by the layer's offsets.
    void centerAtLayerPixel(const LayerPlace& layer, int x, int y);
};

// The choices of the plug-in's Quality popup ("High - Slow|Medium|Low - Fast"), in
// order from choice 1; the plug-in's own text, so the dialog shows the host's words.
std::vector<std::string> qualityChoices(const std::vector<StandIn::HostParameter>& declared);

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
