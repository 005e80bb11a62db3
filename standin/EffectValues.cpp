#include "standin/EffectValues.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "host/ParameterIndex.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

namespace {

double bounded(double value, double fallback, ValueRange range)
{
    return std::isfinite(value) ? std::clamp(value, range.low, range.high) : fallback;
}

ValueRange fixedRange(const PF_ParamDef& def)
{
    return {doubleFromFixed(def.u.fd.valid_min), doubleFromFixed(def.u.fd.valid_max)};
}

std::string number(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace

double hostCoordinate(double pixels)
{
    return std::isfinite(pixels) ? std::clamp(pixels, -kLargestCoordinate, kLargestCoordinate) : 0.0;
}

EffectDeclaration::EffectDeclaration() = default;

EffectDeclaration::EffectDeclaration(const std::vector<HostParameter>& declared)
{
    if (const PF_ParamDef* def = declaredAs(declared, kParamThreshold, PF_Param_FIX_SLIDER)) {
        defaults_.threshold = doubleFromFixed(def->u.fd.dephault);
        threshold_ = fixedRange(*def);
    }
    if (const PF_ParamDef* def = declaredAs(declared, kParamThresholdSmooth, PF_Param_FIX_SLIDER)) {
        defaults_.thresholdSmooth = doubleFromFixed(def->u.fd.dephault);
        thresholdSmooth_ = fixedRange(*def);
    }
    if (const PF_ParamDef* def = declaredAs(declared, kParamCenter, PF_Param_POINT)) {
        // The declared point is in per cent of the layer.
        defaults_.centerX = doubleFromFixed(def->u.td.x_dephault);
        defaults_.centerY = doubleFromFixed(def->u.td.y_dephault);
    }
    if (const PF_ParamDef* def = declaredAs(declared, kParamShineLength, PF_Param_SLIDER)) {
        shineLength_ = {static_cast<double>(def->u.sd.valid_min), static_cast<double>(def->u.sd.valid_max)};
        defaults_.shineLength =
            static_cast<int>(std::clamp<double>(def->u.sd.dephault, shineLength_.low, shineLength_.high));
    }
    if (const PF_ParamDef* def = declaredAs(declared, kParamExposure, PF_Param_FIX_SLIDER)) {
        defaults_.exposure = doubleFromFixed(def->u.fd.dephault);
        exposure_ = fixedRange(*def);
    }
    if (declaredAs(declared, kParamQuality, PF_Param_POPUP)) {
        std::vector<std::string> names;
        std::istringstream text(declared[kParamQuality].choices);
        for (std::string choice; std::getline(text, choice, '|');) {
            names.push_back(choice);
        }
        if (!names.empty()) {
            qualityNames_ = names;
        }
        const PF_ParamDef& def = declared[kParamQuality].declared;
        defaults_.quality = std::clamp<int>(def.u.pd.dephault, 1, qualityChoices());
    }
    if (const PF_ParamDef* def = declaredAs(declared, kParamRayOnly, PF_Param_CHECKBOX)) {
        defaults_.rayOnly = def->u.bd.dephault != 0;
    }
}

EffectValues EffectDeclaration::bounded(const EffectValues& values) const
{
    EffectValues result = values;
    result.threshold = StandIn::bounded(values.threshold, defaults_.threshold, threshold_);
    result.thresholdSmooth = StandIn::bounded(values.thresholdSmooth, defaults_.thresholdSmooth, thresholdSmooth_);
    result.exposure = StandIn::bounded(values.exposure, defaults_.exposure, exposure_);
    result.shineLength = static_cast<int>(std::clamp<double>(values.shineLength, shineLength_.low, shineLength_.high));
    result.quality = std::clamp(values.quality, 1, qualityChoices());
    return result;
}

void EffectDeclaration::apply(SubstituteHost& host, const EffectValues& values, double centerXPixels,
                              double centerYPixels) const
{
    const EffectValues settled = bounded(values);
    host.setFixedSlider(kParamThreshold, settled.threshold);
    host.setFixedSlider(kParamThresholdSmooth, settled.thresholdSmooth);
    host.setPoint(kParamCenter, hostCoordinate(centerXPixels), hostCoordinate(centerYPixels));
    host.setSlider(kParamShineLength, settled.shineLength);
    host.setFixedSlider(kParamExposure, settled.exposure);
    host.setPopup(kParamQuality, settled.quality);
    host.setCheckbox(kParamRayOnly, settled.rayOnly);
}

double settledValue(const std::string& setting, const std::optional<double>& found, double fallback, ValueRange range,
                    std::string& note)
{
    if (!found) {
        note = setting + ": not a number; the default " + number(fallback) + " is used";
        return fallback;
    }
    if (!std::isfinite(*found)) {
        note = setting + ": " + number(*found) + " is not a finite number; the default " + number(fallback) +
               " is used";
        return fallback;
    }
    const double settled = std::clamp(*found, range.low, range.high);
    if (settled != *found) {
        note = setting + ": " + number(*found) + " lies outside " + number(range.low) + " to " + number(range.high) +
               "; " + number(settled) + " is used";
    }
    return settled;
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
