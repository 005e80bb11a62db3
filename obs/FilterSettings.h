#pragma once

#include <obs-module.h>

#include <string>
#include <vector>

#include "standin/EffectValues.h"

namespace Tamrin {
namespace Solvane {
namespace Obs {

// The filter's settings as one table: each setting's key (saved in scene collections, so it never changes), the key
// of its text in the module's locale files, its kind, and which of the effect's values it holds. The per-cent
// sliders hold per cent, the shine length pixels, the quality the popup's choice (1 High, 2 Medium, 3 Low), and the
// centre per cent of the source's width and height, which may lie outside 0 to 100 (a light off screen). The
// ranges come from the plug-in's declaration. update, get_defaults and get_properties all read this table.
struct FilterSetting {
    enum class Kind { Percent, Pixels, Choice, Flag, Position };
    const char* key;
    const char* text;
    Kind kind;
    double (*get)(const StandIn::EffectValues&);
    void (*set)(StandIn::EffectValues&, double);
};
const std::vector<FilterSetting>& filterSettings();

// The range of a setting, from the declaration; the centre's, the properties' -1000 to 1000 per cent.
StandIn::ValueRange settingRange(const FilterSetting& setting, const StandIn::EffectDeclaration& declaration);

// The values the settings hold. Settings come from scene collections that users edit, older versions wrote and other
// tools make: a number is brought into its range at the nearest end, a value of the wrong type or not finite counts
// as the default, and each such setting adds one line, naming it, to `notes`.
StandIn::EffectValues readSettings(obs_data_t* settings, const StandIn::EffectDeclaration& declaration,
                                   std::vector<std::string>& notes);

// The declared defaults into the settings' defaults.
void writeDefaults(obs_data_t* settings, const StandIn::EffectDeclaration& declaration);

// The filter's properties (controls), texts from the module's locale files.
obs_properties_t* makeProperties(const StandIn::EffectDeclaration& declaration);

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
