#include "gimp/ShaftValues.h"

#include <cmath>
#include <sstream>

#include "host/ParameterIndex.h"

namespace Tamrin {
namespace Solvane {
namespace Gimp {

namespace {

// The host keeps a point in 16.16 fixed point: whole pixels within +-32767.
constexpr double kLargestCoordinate = 32767.0;

std::string rangeProblem(const char* name, double value, double low, double high, const char* unit)
{
    if (std::isfinite(value) && value >= low && value <= high) {
        return "";
    }
    std::ostringstream text;
    text << name << " must be from " << low << " to " << high << unit << ", not " << value;
    return text.str();
}

} // namespace

ShaftValues ShaftValues::declaredDefaults(const std::vector<StandIn::HostParameter>& declared, const LayerPlace& layer)
{
    ShaftValues values;
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamThreshold, PF_Param_FIX_SLIDER)) {
        values.threshold = StandIn::doubleFromFixed(def->u.fd.dephault);
    }
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamThresholdSmooth, PF_Param_FIX_SLIDER)) {
        values.thresholdSmooth = StandIn::doubleFromFixed(def->u.fd.dephault);
    }
    double fx = 0.5, fy = 0.5;
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamCenter, PF_Param_POINT)) {
        // The declared point is in per cent of the layer.
        fx = StandIn::doubleFromFixed(def->u.td.x_dephault) / 100.0;
        fy = StandIn::doubleFromFixed(def->u.td.y_dephault) / 100.0;
    }
    values.centerFromLayerFraction(layer, fx, fy);
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamShineLength, PF_Param_SLIDER)) {
        values.shineLength = def->u.sd.dephault;
    }
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamExposure, PF_Param_FIX_SLIDER)) {
        values.exposure = StandIn::doubleFromFixed(def->u.fd.dephault);
    }
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamQuality, PF_Param_POPUP)) {
        values.quality = def->u.pd.dephault;
    }
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamRayOnly, PF_Param_CHECKBOX)) {
        values.rayOnly = def->u.bd.dephault != 0;
    }
    return values;
}

std::string ShaftValues::problem(const std::vector<StandIn::HostParameter>& declared, const LayerPlace& layer) const
{
    std::string found;
    auto fixedRange = [&](PF_ParamIndex index, const char* name, double value) {
        if (const PF_ParamDef* def = StandIn::declaredAs(declared, index, PF_Param_FIX_SLIDER)) {
            if (found.empty()) {
                found = rangeProblem(name, value, StandIn::doubleFromFixed(def->u.fd.valid_min),
                                     StandIn::doubleFromFixed(def->u.fd.valid_max), " per cent");
            }
        }
    };
    fixedRange(kParamThreshold, "the threshold", threshold);
    fixedRange(kParamThresholdSmooth, "the threshold's smoothness", thresholdSmooth);
    fixedRange(kParamExposure, "the exposure", exposure);
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamShineLength, PF_Param_SLIDER)) {
        if (found.empty()) {
            found = rangeProblem("the shine length", shineLength, def->u.sd.valid_min, def->u.sd.valid_max, " pixels");
        }
    }
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamQuality, PF_Param_POPUP)) {
        if (found.empty()) {
            found = rangeProblem("the quality", quality, 1, def->u.pd.num_choices, " (1 is the highest)");
        }
    }
    if (found.empty()) {
        found = rangeProblem("the centre's x", centerX - layer.offsetX, -kLargestCoordinate, kLargestCoordinate,
                             " pixels from the layer's left edge");
    }
    if (found.empty()) {
        found = rangeProblem("the centre's y", centerY - layer.offsetY, -kLargestCoordinate, kLargestCoordinate,
                             " pixels from the layer's top edge");
    }
    return found;
}

void ShaftValues::applyTo(StandIn::SubstituteHost& host, const LayerPlace& layer, double scale) const
{
    host.setFixedSlider(kParamThreshold, threshold);
    host.setFixedSlider(kParamThresholdSmooth, thresholdSmooth);
    // A pixel's centre is at +0.5 in both the layer and its reduced copy.
    host.setPoint(kParamCenter, (centerX - layer.offsetX) * scale, (centerY - layer.offsetY) * scale);
    host.setSlider(kParamShineLength, static_cast<A_long>(std::lround(shineLength * scale)));
    host.setFixedSlider(kParamExposure, exposure);
    host.setPopup(kParamQuality, quality);
    host.setCheckbox(kParamRayOnly, rayOnly);
}

void ShaftValues::centerToLayerFraction(const LayerPlace& layer, double& fx, double& fy) const
{
    fx = layer.width > 0 ? (centerX - layer.offsetX) / layer.width : 0.5;
    fy = layer.height > 0 ? (centerY - layer.offsetY) / layer.height : 0.5;
}

void ShaftValues::centerFromLayerFraction(const LayerPlace& layer, double fx, double fy)
{
    centerX = layer.offsetX + fx * layer.width;
    centerY = layer.offsetY + fy * layer.height;
}

void ShaftValues::centerAtLayerPixel(const LayerPlace& layer, int x, int y)
{
    centerX = layer.offsetX + x + 0.5;
    centerY = layer.offsetY + y + 0.5;
}

std::vector<std::string> qualityChoices(const std::vector<StandIn::HostParameter>& declared)
{
    std::vector<std::string> choices;
    if (StandIn::declaredAs(declared, kParamQuality, PF_Param_POPUP)) {
        std::istringstream text(declared[kParamQuality].choices);
        for (std::string choice; std::getline(text, choice, '|');) {
            choices.push_back(choice);
        }
    }
    if (choices.size() != 3) {
        choices = {"High - Slow", "Medium", "Low - Fast"};
    }
    return choices;
}

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
