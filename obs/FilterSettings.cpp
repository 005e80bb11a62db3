#include "obs/FilterSettings.h"

#include <cmath>
#include <optional>
#include <string>

namespace Tamrin {
namespace Solvane {
namespace Obs {

namespace {

using Kind = FilterSetting::Kind;
using StandIn::EffectValues;

// The centre's range in the properties, per cent of the source.
constexpr StandIn::ValueRange kPositionRange{-1000.0, 1000.0};

const char* const kQualityTexts[] = {"Quality.High", "Quality.Medium", "Quality.Low"};

// The value the settings hold for a key, as a number: an integer or a double, a flag as 0 or 1; nothing for a value
// of another type than the setting's. `present` tells whether the settings hold the key at all (or a default).
std::optional<double> numberOf(obs_data_t* settings, const FilterSetting& setting, bool& present)
{
    obs_data_item_t* item = obs_data_item_byname(settings, setting.key);
    present = item != nullptr;
    if (!item) {
        return std::nullopt;
    }
    std::optional<double> number;
    const obs_data_type type = obs_data_item_gettype(item);
    if (setting.kind == Kind::Flag) {
        if (type == OBS_DATA_BOOLEAN) {
            number = obs_data_item_get_bool(item) ? 1.0 : 0.0;
        }
    } else if (type == OBS_DATA_NUMBER) {
        number = obs_data_item_numtype(item) == OBS_DATA_NUM_INT ? static_cast<double>(obs_data_item_get_int(item))
                                                                 : obs_data_item_get_double(item);
    }
    obs_data_item_release(&item);
    return number;
}

} // namespace

const std::vector<FilterSetting>& filterSettings()
{
    static const std::vector<FilterSetting> table{
        {"threshold", "Threshold", Kind::Percent, [](const EffectValues& v) { return v.threshold; },
         [](EffectValues& v, double x) { v.threshold = x; }},
        {"threshold_smoothness", "ThresholdSmooth", Kind::Percent,
         [](const EffectValues& v) { return v.thresholdSmooth; },
         [](EffectValues& v, double x) { v.thresholdSmooth = x; }},
        {"exposure", "Exposure", Kind::Percent, [](const EffectValues& v) { return v.exposure; },
         [](EffectValues& v, double x) { v.exposure = x; }},
        {"shine_length", "ShineLength", Kind::Pixels, [](const EffectValues& v) { return double(v.shineLength); },
         [](EffectValues& v, double x) { v.shineLength = static_cast<int>(std::lround(x)); }},
        {"quality", "Quality", Kind::Choice, [](const EffectValues& v) { return double(v.quality); },
         [](EffectValues& v, double x) { v.quality = static_cast<int>(std::lround(x)); }},
        {"ray_only", "RayOnly", Kind::Flag, [](const EffectValues& v) { return v.rayOnly ? 1.0 : 0.0; },
         [](EffectValues& v, double x) { v.rayOnly = x != 0.0; }},
        {"center_x", "CenterX", Kind::Position, [](const EffectValues& v) { return v.centerX; },
         [](EffectValues& v, double x) { v.centerX = x; }},
        {"center_y", "CenterY", Kind::Position, [](const EffectValues& v) { return v.centerY; },
         [](EffectValues& v, double x) { v.centerY = x; }},
    };
    return table;
}

StandIn::ValueRange settingRange(const FilterSetting& setting, const StandIn::EffectDeclaration& declaration)
{
    const std::string key = setting.key;
    switch (setting.kind) {
    case Kind::Percent:
        return key == "threshold" ? declaration.threshold()
               : key == "exposure" ? declaration.exposure()
                                   : declaration.thresholdSmooth();
    case Kind::Pixels:
        return declaration.shineLength();
    case Kind::Choice:
        return {1.0, static_cast<double>(declaration.qualityChoices())};
    case Kind::Flag:
        return {0.0, 1.0};
    case Kind::Position:
        break;
    }
    return kPositionRange;
}

EffectValues readSettings(obs_data_t* settings, const StandIn::EffectDeclaration& declaration,
                          std::vector<std::string>& notes)
{
    EffectValues values = declaration.defaults();
    for (const FilterSetting& setting : filterSettings()) {
        bool present = false;
        const std::optional<double> found = numberOf(settings, setting, present);
        if (!present) {
            continue;
        }
        std::string note;
        // A choice or a length is a whole number: a fraction counts as the nearest.
        std::optional<double> number = found;
        if (number && std::isfinite(*number) && (setting.kind == Kind::Choice || setting.kind == Kind::Pixels)) {
            number = std::round(*number);
        }
        setting.set(values, StandIn::settledValue(setting.key, number, setting.get(declaration.defaults()),
                                                  settingRange(setting, declaration), note));
        if (!note.empty()) {
            notes.push_back(note);
        }
    }
    return values;
}

void writeDefaults(obs_data_t* settings, const StandIn::EffectDeclaration& declaration)
{
    for (const FilterSetting& setting : filterSettings()) {
        const double value = setting.get(declaration.defaults());
        switch (setting.kind) {
        case Kind::Percent:
        case Kind::Position:
            obs_data_set_default_double(settings, setting.key, value);
            break;
        case Kind::Pixels:
        case Kind::Choice:
            obs_data_set_default_int(settings, setting.key, static_cast<long long>(value));
            break;
        case Kind::Flag:
            obs_data_set_default_bool(settings, setting.key, value != 0.0);
            break;
        }
    }
}

obs_properties_t* makeProperties(const StandIn::EffectDeclaration& declaration)
{
    obs_properties_t* properties = obs_properties_create();
    for (const FilterSetting& setting : filterSettings()) {
        const StandIn::ValueRange range = settingRange(setting, declaration);
        const char* text = obs_module_text(setting.text);
        obs_property_t* p = nullptr;
        switch (setting.kind) {
        case Kind::Percent:
            p = obs_properties_add_float_slider(properties, setting.key, text, range.low, range.high, 1.0);
            obs_property_float_set_suffix(p, " %");
            // Threshold's name alone reads as a cut-off from below; the tooltip says which way it works.
            if (std::string(setting.key) == "threshold") {
                obs_property_set_long_description(p, obs_module_text("Threshold.Description"));
            }
            break;
        case Kind::Pixels:
            p = obs_properties_add_int_slider(properties, setting.key, text, static_cast<int>(range.low),
                                              static_cast<int>(range.high), 1);
            obs_property_int_set_suffix(p, " px");
            break;
        case Kind::Choice:
            p = obs_properties_add_list(properties, setting.key, text, OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_INT);
            for (int choice = 1; choice <= 3; ++choice) {
                obs_property_list_add_int(p, obs_module_text(kQualityTexts[choice - 1]), choice);
            }
            break;
        case Kind::Flag:
            obs_properties_add_bool(properties, setting.key, text);
            break;
        case Kind::Position:
            // The centre may lie outside the source: a light off screen.
            p = obs_properties_add_float(properties, setting.key, text, range.low, range.high, 0.5);
            obs_property_float_set_suffix(p, " %");
            break;
        }
    }
    return properties;
}

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
