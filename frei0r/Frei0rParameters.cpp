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

// The host stores a point as 16.16 fixed point: whole pixels within +-32767.
constexpr double kLargestCoordinate = 32767.0;

// A value a host handed over, in [0, 1]; false when it is not a finite number
// (infinity is no more a value of the control than NaN is).
bool unitValue(const void* value, double& destination)
{
    const double number = *static_cast<const double*>(value);
    if (!std::isfinite(number)) {
        return false;
    }
    destination = std::clamp(number, 0.0, 1.0);
    return true;
}

// A centre coordinate a host handed over, not clamped to the frame: a centre outside
// it, a light off screen, is a look the effect allows. False when it is not finite.
bool centerValue(const void* value, double& destination)
{
    const double number = *static_cast<const double*>(value);
    if (!std::isfinite(number)) {
        return false;
    }
    destination = number;
    return true;
}

double pixels(double fraction, int frameSize)
{
    return std::clamp(fraction * frameSize, -kLargestCoordinate, kLargestCoordinate);
}

} // namespace

const Frei0rParameters::Description& Frei0rParameters::describe(int index)
{
    return kDescriptions[std::clamp(index, 0, kCount - 1)];
}

Frei0rParameters Frei0rParameters::fromDeclared(const std::vector<StandIn::HostParameter>& declared)
{
    Frei0rParameters parameters;
    auto definition = [&](PF_ParamIndex index, PF_ParamType type) { return StandIn::declaredAs(declared, index, type); };
    if (const PF_ParamDef* def = definition(kParamThreshold, PF_Param_FIX_SLIDER)) {
        parameters.threshold_ = StandIn::doubleFromFixed(def->u.fd.dephault) / 100.0;
    }
    if (const PF_ParamDef* def = definition(kParamThresholdSmooth, PF_Param_FIX_SLIDER)) {
        parameters.thresholdSmooth_ = StandIn::doubleFromFixed(def->u.fd.dephault) / 100.0;
    }
    if (const PF_ParamDef* def = definition(kParamCenter, PF_Param_POINT)) {
        // The declared point is in per cent of the layer, which is a fraction of the frame here.
        parameters.centerX_ = StandIn::doubleFromFixed(def->u.td.x_dephault) / 100.0;
        parameters.centerY_ = StandIn::doubleFromFixed(def->u.td.y_dephault) / 100.0;
    }
    if (const PF_ParamDef* def = definition(kParamShineLength, PF_Param_SLIDER)) {
        parameters.shineLength_ = std::clamp(def->u.sd.dephault / 2048.0, 0.0, 1.0);
    }
    if (const PF_ParamDef* def = definition(kParamExposure, PF_Param_FIX_SLIDER)) {
        parameters.exposure_ = StandIn::doubleFromFixed(def->u.fd.dephault) / 100.0;
    }
    if (const PF_ParamDef* def = definition(kParamQuality, PF_Param_POPUP)) {
        parameters.quality_ = (def->u.pd.dephault - 1) / 2.0;
    }
    if (const PF_ParamDef* def = definition(kParamRayOnly, PF_Param_CHECKBOX)) {
        parameters.rayOnly_ = def->u.bd.dephault ? 1.0 : 0.0;
    }
    return parameters;
}

bool Frei0rParameters::set(int index, const void* value)
{
    switch (index) {
    case kThreshold:
        unitValue(value, threshold_);
        return true;
    case kThresholdSmooth:
        unitValue(value, thresholdSmooth_);
        return true;
    case kCenterX:
        centerValue(value, centerX_);
        return true;
    case kCenterY:
        centerValue(value, centerY_);
        return true;
    case kShineLength:
        unitValue(value, shineLength_);
        return true;
    case kExposure:
        unitValue(value, exposure_);
        return true;
    case kQuality:
        unitValue(value, quality_);
        return true;
    case kRayOnly:
        unitValue(value, rayOnly_);
        return true;
    default:
        return false;
    }
}

bool Frei0rParameters::get(int index, void* value) const
{
    auto* number = static_cast<double*>(value);
    switch (index) {
    case kThreshold:
        *number = threshold_;
        return true;
    case kThresholdSmooth:
        *number = thresholdSmooth_;
        return true;
    case kCenterX:
        *number = centerX_;
        return true;
    case kCenterY:
        *number = centerY_;
        return true;
    case kShineLength:
        *number = shineLength_;
        return true;
    case kExposure:
        *number = exposure_;
        return true;
    case kQuality:
        *number = quality_;
        return true;
    case kRayOnly:
        *number = rayOnly_;
        return true;
    default:
        return false;
    }
}

int Frei0rParameters::qualityChoice() const
{
    if (quality_ < 0.25) {
        return 1;
    }
    return quality_ < 0.75 ? 2 : 3;
}

void Frei0rParameters::applyTo(StandIn::SubstituteHost& host, int frameWidth, int frameHeight) const
{
    host.setFixedSlider(kParamThreshold, threshold_ * 100.0);
    host.setFixedSlider(kParamThresholdSmooth, thresholdSmooth_ * 100.0);
    host.setPoint(kParamCenter, pixels(centerX_, frameWidth), pixels(centerY_, frameHeight));
    host.setSlider(kParamShineLength, static_cast<A_long>(std::lround(shineLength_ * 2048.0)));
    host.setFixedSlider(kParamExposure, exposure_ * 100.0);
    host.setPopup(kParamQuality, qualityChoice());
    host.setCheckbox(kParamRayOnly, rayOnly_ >= 0.5);
}

} // namespace Frei0r
} // namespace Solvane
} // namespace Tamrin
