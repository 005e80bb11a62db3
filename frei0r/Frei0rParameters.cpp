#include "frei0r/Frei0rParameters.h"

// frei0r.h declares its functions without C linkage for C++.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>

#include "host/ParameterIndex.h"

namespace Tamrin {
namespace Solvane {
namespace Frei0r {

namespace {

const Frei0rParameters::Description kDescriptions[Frei0rParameters::kCount] = {
    {"Threshold", F0R_PARAM_DOUBLE,
     "How much of the picture shines, 0 to 1: pixels brighter than 1 - Threshold shine, so 0 lights nothing and 1 "
     "everything (the effect's 0 to 100 %, in whole per cent)"},
    {"Threshold Smooth", F0R_PARAM_DOUBLE, "Softness of the threshold, 0 to 1 (0 to 100 %, in whole per cent)"},
    {"Center X", F0R_PARAM_DOUBLE,
     "Horizontal centre of the rays as a fraction of the frame's width from its left edge, 0 to 1; 0.5 is the "
     "middle. Where the host allows it (ffmpeg, MLT; not GStreamer) values outside 0 to 1 put the light outside "
     "the frame"},
    {"Center Y", F0R_PARAM_DOUBLE,
     "Vertical centre of the rays as a fraction of the frame's height from its top edge, 0 to 1; 0.5 is the "
     "middle. Where the host allows it (ffmpeg, MLT; not GStreamer) values outside 0 to 1 put the light outside "
     "the frame (-0.5 above it)"},
    {"Shine Length", F0R_PARAM_DOUBLE, "Length of the shafts as a fraction of 2048 pixels"},
    {"Exposure", F0R_PARAM_DOUBLE, "Brightness of the shafts, 0 to 1 (0 to 4 stops, in whole per cent)"},
    {"Quality", F0R_PARAM_DOUBLE,
     "Render quality: below 0.25 high (slow), 0.25 to below 0.75 medium, 0.75 and above low (fast)"},
    {"Ray Only", F0R_PARAM_BOOL, "Output the shafts alone instead of screened over the frame"},
};

} // namespace

const Frei0rParameters::Description& Frei0rParameters::describe(int index)
{
    return kDescriptions[std::clamp(index, 0, kCount - 1)];
}

Frei0rParameters Frei0rParameters::fromDeclared(const std::vector<StandIn::HostParameter>& declared)
{
    return fromDeclaration(StandIn::EffectDeclaration(declared));
}

Frei0rParameters Frei0rParameters::fromDeclaration(const StandIn::EffectDeclaration& declaration)
{
    const StandIn::EffectValues& d = declaration.defaults();
    Frei0rParameters parameters;
    parameters.declaration_ = declaration;
    double* values = parameters.defaults_;
    values[kThreshold] = d.threshold / 100.0;
    values[kThresholdSmooth] = d.thresholdSmooth / 100.0;
    // The declared point is in per cent of the layer, which is a fraction of the frame here.
    values[kCenterX] = d.centerX / 100.0;
    values[kCenterY] = d.centerY / 100.0;
    values[kShineLength] = std::clamp(d.shineLength / 2048.0, 0.0, 1.0);
    values[kExposure] = d.exposure / 100.0;
    values[kQuality] = (d.quality - 1) / 2.0;
    values[kRayOnly] = d.rayOnly ? 1.0 : 0.0;
    std::copy(std::begin(parameters.defaults_), std::end(parameters.defaults_), std::begin(parameters.values_));
    return parameters;
}

bool Frei0rParameters::set(int index, const void* value, std::string* note)
{
    if (index < 0 || index >= kCount) {
        return false;
    }
    // The centre may lie outside the frame, as far as the host's coordinates reach.
    const bool center = index == kCenterX || index == kCenterY;
    const StandIn::ValueRange range = center ? StandIn::ValueRange{-1.0e9, 1.0e9} : StandIn::ValueRange{0.0, 1.0};
    std::string said;
    values_[index] = StandIn::settledValue(kDescriptions[index].name, *static_cast<const double*>(value),
                                           defaults_[index], range, said);
    if (note && !said.empty()) {
        *note = said;
    }
    return true;
}

bool Frei0rParameters::get(int index, void* value) const
{
    if (index < 0 || index >= kCount) {
        return false;
    }
    *static_cast<double*>(value) = values_[index];
    return true;
}

int Frei0rParameters::qualityChoice() const
{
    if (values_[kQuality] < 0.25) {
        return 1;
    }
    return values_[kQuality] < 0.75 ? 2 : 3;
}

void Frei0rParameters::applyTo(StandIn::SubstituteHost& host, int frameWidth, int frameHeight) const
{
    StandIn::EffectValues values;
    values.threshold = values_[kThreshold] * 100.0;
    values.thresholdSmooth = values_[kThresholdSmooth] * 100.0;
    values.shineLength = static_cast<int>(std::lround(values_[kShineLength] * 2048.0));
    values.exposure = values_[kExposure] * 100.0;
    values.quality = qualityChoice();
    values.rayOnly = values_[kRayOnly] >= 0.5;
    declaration_.apply(host, values, values_[kCenterX] * frameWidth, values_[kCenterY] * frameHeight);
}

} // namespace Frei0r
} // namespace Solvane
} // namespace Tamrin
