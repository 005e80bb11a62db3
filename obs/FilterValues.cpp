#include "obs/FilterValues.h"

#include <algorithm>
#include <cmath>

#include "host/ParameterIndex.h"

namespace Tamrin {
namespace Solvane {
namespace Obs {

namespace {

// The host stores a point as 16.16 fixed point: whole pixels within +-32767.
constexpr double kLargestCoordinate = 32767.0;

double bounded(double value, double fallback, double low, double high)
{
    return std::isfinite(value) ? std::clamp(value, low, high) : fallback;
}

double pixels(double percent, double fallback, int frameSize)
{
    const double share = std::isfinite(percent) ? percent : fallback;
    return std::clamp(share / 100.0 * frameSize, -kLargestCoordinate, kLargestCoordinate);
}

} // namespace

FilterValues FilterValues::fromDeclared(const std::vector<StandIn::HostParameter>& declared)
{
    FilterValues values;
    auto definition = [&](PF_ParamIndex index, PF_ParamType type) { return StandIn::declaredAs(declared, index, type); };
    if (const PF_ParamDef* def = definition(kParamThreshold, PF_Param_FIX_SLIDER)) {
        values.threshold = StandIn::doubleFromFixed(def->u.fd.dephault);
    }
    if (const PF_ParamDef* def = definition(kParamThresholdSmooth, PF_Param_FIX_SLIDER)) {
        values.thresholdSmooth = StandIn::doubleFromFixed(def->u.fd.dephault);
    }
    if (const PF_ParamDef* def = definition(kParamCenter, PF_Param_POINT)) {
        // The declared point is in per cent of the layer.
        values.centerX = StandIn::doubleFromFixed(def->u.td.x_dephault);
        values.centerY = StandIn::doubleFromFixed(def->u.td.y_dephault);
    }
    if (const PF_ParamDef* def = definition(kParamShineLength, PF_Param_SLIDER)) {
        values.shineLength = std::clamp<int>(def->u.sd.dephault, 0, 2048);
    }
    if (const PF_ParamDef* def = definition(kParamExposure, PF_Param_FIX_SLIDER)) {
        values.exposure = StandIn::doubleFromFixed(def->u.fd.dephault);
    }
    if (const PF_ParamDef* def = definition(kParamQuality, PF_Param_POPUP)) {
        values.quality = std::clamp<int>(def->u.pd.dephault, 1, 3);
    }
    if (const PF_ParamDef* def = definition(kParamRayOnly, PF_Param_CHECKBOX)) {
        values.rayOnly = def->u.bd.dephault != 0;
    }
    return values;
}

void FilterValues::applyTo(StandIn::SubstituteHost& host, int frameWidth, int frameHeight) const
{
    const FilterValues defaults;
    host.setFixedSlider(kParamThreshold, bounded(threshold, defaults.threshold, 0.0, 100.0));
    host.setFixedSlider(kParamThresholdSmooth, bounded(thresholdSmooth, defaults.thresholdSmooth, 0.0, 100.0));
    host.setPoint(kParamCenter, pixels(centerX, defaults.centerX, frameWidth),
                  pixels(centerY, defaults.centerY, frameHeight));
    host.setSlider(kParamShineLength, std::clamp(shineLength, 0, 2048));
    host.setFixedSlider(kParamExposure, bounded(exposure, defaults.exposure, 0.0, 100.0));
    host.setPopup(kParamQuality, std::clamp(quality, 1, 3));
    host.setCheckbox(kParamRayOnly, rayOnly);
}

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
