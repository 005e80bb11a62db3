#include "python/ShaftSettings.h"

#include <cmath>
#include <sstream>

#include "host/ParameterIndex.h"

namespace Tamrin {
namespace Solvane {
namespace Python {

namespace {

// The host keeps a point in 16.16 fixed point: whole pixels within +-32767.
constexpr double kLargestCoordinate = 32767.0;

std::string outOfRange(const char* argument, double value, double low, double high)
{
    if (std::isfinite(value) && value >= low && value <= high) {
        return "";
    }
    std::ostringstream text;
    text << argument << " must be from " << low << " to " << high << ", not " << value;
    return text.str();
}

} // namespace

std::string ShaftSettings::problem(const std::vector<StandIn::HostParameter>& declared) const
{
    std::string found;
    auto fixed = [&](PF_ParamIndex index, const char* argument, const std::optional<double>& value) {
        const PF_ParamDef* def = StandIn::declaredAs(declared, index, PF_Param_FIX_SLIDER);
        if (found.empty() && def && value) {
            found = outOfRange(argument, *value, StandIn::doubleFromFixed(def->u.fd.valid_min),
                               StandIn::doubleFromFixed(def->u.fd.valid_max));
        }
    };
    fixed(kParamThreshold, "threshold", threshold);
    fixed(kParamThresholdSmooth, "threshold_smooth", thresholdSmooth);
    if (found.empty() && centerX && centerY) {
        found = outOfRange("center's x", *centerX, -kLargestCoordinate, kLargestCoordinate);
        if (found.empty()) {
            found = outOfRange("center's y", *centerY, -kLargestCoordinate, kLargestCoordinate);
        }
    }
    const PF_ParamDef* length = StandIn::declaredAs(declared, kParamShineLength, PF_Param_SLIDER);
    if (found.empty() && length && shineLength) {
        found = outOfRange("shine_length", static_cast<double>(*shineLength), length->u.sd.valid_min,
                           length->u.sd.valid_max);
    }
    fixed(kParamExposure, "exposure", exposure);
    const PF_ParamDef* popup = StandIn::declaredAs(declared, kParamQuality, PF_Param_POPUP);
    if (found.empty() && popup && quality) {
        found = outOfRange("quality", *quality, 1, popup->u.pd.num_choices);
    }
    return found;
}

void ShaftSettings::applyTo(StandIn::SubstituteHost& host) const
{
    const std::vector<StandIn::HostParameter>& declared = host.parameters();
    auto fixed = [&](PF_ParamIndex index, const std::optional<double>& value) {
        if (const PF_ParamDef* def = StandIn::declaredAs(declared, index, PF_Param_FIX_SLIDER)) {
            host.setFixedSlider(index, value ? *value : StandIn::doubleFromFixed(def->u.fd.dephault));
        }
    };
    fixed(kParamThreshold, threshold);
    fixed(kParamThresholdSmooth, thresholdSmooth);
    fixed(kParamExposure, exposure);
    if (StandIn::declaredAs(declared, kParamCenter, PF_Param_POINT)) {
        if (centerX && centerY) {
            host.setPoint(kParamCenter, *centerX, *centerY);
        } else {
            // The point the user has not moved: the host answers its declared per cent of the layer.
            StandIn::HostParameter& point = host.parameter(kParamCenter);
            point.current = point.declared;
            point.pointInPercent = true;
        }
    }
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamShineLength, PF_Param_SLIDER)) {
        host.setSlider(kParamShineLength, shineLength ? static_cast<A_long>(*shineLength) : def->u.sd.dephault);
    }
    if (const PF_ParamDef* def = StandIn::declaredAs(declared, kParamQuality, PF_Param_POPUP)) {
        host.setPopup(kParamQuality, quality ? *quality : def->u.pd.dephault);
    }
    if (StandIn::declaredAs(declared, kParamRayOnly, PF_Param_CHECKBOX)) {
        host.setCheckbox(kParamRayOnly, rayOnly);
    }
}

std::vector<ShownParameter> shownParameters(const std::vector<StandIn::HostParameter>& declared)
{
    std::vector<ShownParameter> shown;
    auto add = [&](PF_ParamIndex index, PF_ParamType type, const char* argument) {
        const PF_ParamDef* def = StandIn::declaredAs(declared, index, type);
        if (!def) {
            return;
        }
        ShownParameter p;
        p.argument = argument;
        p.name = declared[static_cast<std::size_t>(index)].name;
        p.hidden = (def->ui_flags & PF_PUI_INVISIBLE) != 0;
        switch (type) {
        case PF_Param_FIX_SLIDER:
            p.kind = "fixed slider";
            p.minimum = StandIn::doubleFromFixed(def->u.fd.valid_min);
            p.maximum = StandIn::doubleFromFixed(def->u.fd.valid_max);
            p.defaults = {StandIn::doubleFromFixed(def->u.fd.dephault)};
            break;
        case PF_Param_SLIDER:
            p.kind = "slider";
            p.minimum = def->u.sd.valid_min;
            p.maximum = def->u.sd.valid_max;
            p.defaults = {static_cast<double>(def->u.sd.dephault)};
            break;
        case PF_Param_POINT:
            p.kind = "point";
            p.minimum = -kLargestCoordinate;
            p.maximum = kLargestCoordinate;
            p.defaults = {StandIn::doubleFromFixed(def->u.td.x_dephault),
                          StandIn::doubleFromFixed(def->u.td.y_dephault)};
            break;
        case PF_Param_POPUP: {
            p.kind = "popup";
            p.minimum = 1;
            p.maximum = def->u.pd.num_choices;
            p.defaults = {static_cast<double>(def->u.pd.dephault)};
            std::istringstream text(declared[static_cast<std::size_t>(index)].choices);
            for (std::string choice; std::getline(text, choice, '|');) {
                p.choices.push_back(choice);
            }
            break;
        }
        case PF_Param_CHECKBOX:
            p.kind = "checkbox";
            p.maximum = 1;
            p.defaults = {def->u.bd.dephault ? 1.0 : 0.0};
            break;
        default:
            break;
        }
        shown.push_back(p);
    };
    add(kParamThreshold, PF_Param_FIX_SLIDER, "threshold");
    add(kParamThresholdSmooth, PF_Param_FIX_SLIDER, "threshold_smooth");
    add(kParamCenter, PF_Param_POINT, "center");
    add(kParamShineLength, PF_Param_SLIDER, "shine_length");
    add(kParamExposure, PF_Param_FIX_SLIDER, "exposure");
    add(kParamQuality, PF_Param_POPUP, "quality");
    add(kParamRayOnly, PF_Param_CHECKBOX, "ray_only");
    return shown;
}

const std::vector<std::string>& qualityNames()
{
    static const std::vector<std::string> names{"high", "medium", "low"};
    return names;
}

} // namespace Python
} // namespace Solvane
} // namespace Tamrin
