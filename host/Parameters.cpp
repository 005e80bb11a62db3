#include "host/Parameters.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "host/StringTable.h"

namespace Tamrin {
namespace Solvane {

namespace {

const char kEmptyText[] = "";

PF_ParamDef blankDefinition(PF_ParamType type, const char* name, const PF_InData* in_data, PF_ParamIndex id)
{
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.param_type = type;
    in_data->utils->ansi.strcpy(def.name, name);
    def.uu.id = id;
    return def;
}

PF_ParamDef fixedSlider(const PF_InData* in_data, const char* name, PF_ParamIndex id, int defaultValue)
{
    PF_ParamDef def = blankDefinition(PF_Param_FIX_SLIDER, name, in_data, id);
    def.u.fd.valid_min = PF_FixedFromInt(0);
    def.u.fd.valid_max = PF_FixedFromInt(100);
    def.u.fd.slider_min = PF_FixedFromInt(0);
    def.u.fd.slider_max = PF_FixedFromInt(100);
    def.u.fd.dephault = PF_FixedFromInt(defaultValue);
    def.u.fd.value = PF_FixedFromInt(defaultValue);
    def.u.fd.precision = 1;
    def.u.fd.display_flags = PF_ValueDisplayFlag_PERCENT;
    return def;
}

// Checks a parameter out at the current time; the definition is zeroed first.
bool checkout(PF_InData* in_data, PF_ParamIndex index, PF_ParamDef& def)
{
    std::memset(&def, 0, sizeof def);
    return in_data->inter.checkout_param(in_data->effect_ref, index, in_data->current_time, in_data->time_step,
                                         in_data->time_scale, &def) == PF_Err_NONE;
}

void checkin(PF_InData* in_data, PF_ParamDef& def) { in_data->inter.checkin_param(in_data->effect_ref, &def); }

bool numberFrom(const PF_ParamDef& def, double& destination)
{
    switch (def.param_type) {
    case PF_Param_SLIDER:
        destination = static_cast<double>(def.u.sd.value);
        return true;
    case PF_Param_FIX_SLIDER:
        // Only the integer part: an arithmetic shift rounds towards minus infinity.
        destination = static_cast<double>(def.u.fd.value >> 16);
        return true;
    case PF_Param_FLOAT_SLIDER:
        // A value that is not a number would poison every pixel of the frame.
        if (!std::isfinite(def.u.fs_d.value)) {
            return false;
        }
        destination = def.u.fs_d.value;
        return true;
    default:
        return false;
    }
}

} // namespace

PF_Err declareParameters(PF_InData* in_data, PF_OutData* out_data, const StringTable& strings)
{
    out_data->num_params = kParamCount;

    PF_ParamDef definitions[kParamCount - 1];
    definitions[0] = fixedSlider(in_data, strings.lookup("Threshold"), kParamThreshold, 50);
    definitions[1] = fixedSlider(in_data, strings.lookup("Threshold Smooth"), kParamThresholdSmooth, 0);

    definitions[2] = blankDefinition(PF_Param_POINT, strings.lookup("Center"), in_data, kParamCenter);
    definitions[2].u.td.x_value = PF_FixedFromInt(50);
    definitions[2].u.td.y_value = PF_FixedFromInt(50);
    definitions[2].u.td.x_dephault = PF_FixedFromInt(50);
    definitions[2].u.td.y_dephault = PF_FixedFromInt(50);
    definitions[2].u.td.restrict_bounds = 0;

    definitions[3] = blankDefinition(PF_Param_SLIDER, strings.lookup("Shine Length"), in_data, kParamShineLength);
    definitions[3].u.sd.valid_min = 0;
    definitions[3].u.sd.valid_max = 2048;
    definitions[3].u.sd.slider_min = 0;
    definitions[3].u.sd.slider_max = 2048;
    definitions[3].u.sd.dephault = 2048;
    definitions[3].u.sd.value = 2048;
    definitions[3].ui_flags = PF_PUI_INVISIBLE;

    definitions[4] = fixedSlider(in_data, strings.lookup("Exposure"), kParamExposure, 10);

    definitions[5] = blankDefinition(PF_Param_POPUP, strings.lookup("Quality"), in_data, kParamQuality);
    definitions[5].u.pd.num_choices = 3;
    definitions[5].u.pd.dephault = 2;
    definitions[5].u.pd.value = 2;
    definitions[5].u.pd.namesptr = strings.lookup("kQuality");

    definitions[6] = blankDefinition(PF_Param_CHECKBOX, strings.lookup("Ray Only"), in_data, kParamRayOnly);
    definitions[6].u.bd.dephault = 0;
    definitions[6].u.bd.value = 0;
    definitions[6].u.bd.nameptr = kEmptyText;

    PF_Err result = PF_Err_NONE;
    for (PF_ParamDef& def : definitions) {
        result = in_data->inter.add_param(in_data->effect_ref, -1, &def);
        if (result != PF_Err_NONE) {
            return result;
        }
    }
    return result;
}

bool readNumber(PF_InData* in_data, PF_ParamIndex index, double& destination)
{
    PF_ParamDef def;
    if (!checkout(in_data, index, def)) {
        return false;
    }
    const bool stored = numberFrom(def, destination);
    checkin(in_data, def);
    return stored;
}

bool readPercent(PF_InData* in_data, PF_ParamIndex index, double& destination)
{
    double value = 0.0;
    if (!readNumber(in_data, index, value)) {
        return false;
    }
    destination = value / 100.0;
    return true;
}

bool readPoint(PF_InData* in_data, PF_ParamIndex index, Vec2& destination)
{
    PF_ParamDef def;
    if (!checkout(in_data, index, def)) {
        return false;
    }
    const bool accepted = def.param_type == PF_Param_POINT;
    if (accepted) {
        constexpr double kFixedOne = 1.0 / 65536.0;
        destination = Vec2(def.u.td.x_value * kFixedOne, def.u.td.y_value * kFixedOne);
    }
    checkin(in_data, def);
    return accepted;
}

bool readPopup(PF_InData* in_data, PF_ParamIndex index, std::int32_t& destination)
{
    PF_ParamDef def;
    if (!checkout(in_data, index, def)) {
        return false;
    }
    const bool accepted = def.param_type == PF_Param_POPUP;
    if (accepted) {
        // The lowest value a host can hand over has no value below it: it stays the lowest.
        destination = def.u.pd.value == INT32_MIN ? INT32_MIN : def.u.pd.value - 1;
    }
    checkin(in_data, def);
    return accepted;
}

bool readCheckbox(PF_InData* in_data, PF_ParamIndex index, bool& destination)
{
    PF_ParamDef def;
    if (!checkout(in_data, index, def)) {
        return false;
    }
    const bool accepted = def.param_type == PF_Param_CHECKBOX;
    if (accepted) {
        destination = def.u.bd.value != 0;
    }
    checkin(in_data, def);
    return accepted;
}

void readSettings(PF_InData* in_data, RenderSettings& settings)
{
    readPercent(in_data, kParamThreshold, settings.threshold);
    readPercent(in_data, kParamThresholdSmooth, settings.thresholdSmooth);
    if (settings.thresholdSmooth < 0.01) {
        settings.thresholdSmooth = 0.01;
    }
    readPoint(in_data, kParamCenter, settings.center);
    readNumber(in_data, kParamShineLength, settings.shineLength);
    // Scaled only when read: a failed checkout keeps last frame's value, which is
    // already in stops and must not be multiplied again.
    double exposure = 0.0;
    if (readPercent(in_data, kParamExposure, exposure)) {
        settings.exposure = exposure * 4.0;
    }
    // The quality picks the downscale factor (index + 1); an index the popup
    // cannot hold would divide by zero or worse, so it is kept to the three choices.
    std::int32_t quality = settings.quality;
    if (readPopup(in_data, kParamQuality, quality)) {
        settings.quality = quality < 0 ? 0 : quality > 2 ? 2 : quality;
    }
    readCheckbox(in_data, kParamRayOnly, settings.rayOnly);
}

} // namespace Solvane
} // namespace Tamrin
