// The OBS Studio module ostrel-solvane: the video filter "Light Shafts (Ostrel
// Solvane)" for every video source, group and scene. OBS calls these functions; each
// hands over to a LightShaftsFilter, and no exception leaves the module.
#include <obs-module.h>

#include <exception>
#include <string>

#include "obs/FilterSettings.h"
#include "obs/LightShaftsFilter.h"
#include "obs/LoadedPlugin.h"

namespace StandIn = Tamrin::Solvane::StandIn;
using Tamrin::Solvane::Obs::LightShaftsFilter;
using Tamrin::Solvane::Obs::LoadedPlugin;
using Tamrin::Solvane::Obs::makeProperties;
using Tamrin::Solvane::Obs::writeDefaults;

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("ostrel-solvane", "en-US")

namespace {

const char* filterName(void*) { return obs_module_text("LightShafts"); }

void* createFilter(obs_data_t* settings, obs_source_t* context)
{
    try {
        auto* filter = new LightShaftsFilter(context);
        filter->update(settings);
        return filter;
    } catch (const std::exception& e) {
        blog(LOG_ERROR, "[ostrel-solvane] the filter could not be made: %s", e.what());
        return nullptr;
    }
}

void destroyFilter(void* data) { delete static_cast<LightShaftsFilter*>(data); }

void updateFilter(void* data, obs_data_t* settings)
{
    try {
        static_cast<LightShaftsFilter*>(data)->update(settings);
    } catch (const std::exception& e) {
        blog(LOG_ERROR, "[ostrel-solvane] the filter's settings could not be read: %s", e.what());
    }
}

void renderFilter(void* data, gs_effect_t*)
{
    // LightShaftsFilter::render catches what the plug-in's side throws and draws the source
    // unchanged; this is the last guard, for a failure of OBS's own calls.
    try {
        static_cast<LightShaftsFilter*>(data)->render();
    } catch (...) {
        static bool said = false;
        if (!said) {
            said = true;
            blog(LOG_ERROR, "[ostrel-solvane] a frame failed in OBS's graphics calls");
        }
    }
}

// The plug-in takes and gives 8-bit sRGB frames: OBS converts the target's frames into that
// space for the filter, and its output from it.
gs_color_space filterColorSpace(void*, size_t, const gs_color_space*) { return GS_CS_SRGB; }

// The plug-in's own declaration (defaults and ranges); the same values, built in, when it cannot be loaded.
StandIn::EffectDeclaration declaration()
{
    try {
        return LoadedPlugin::instance().load();
    } catch (const std::exception&) {
        return StandIn::EffectDeclaration();
    }
}

void filterDefaults(obs_data_t* settings)
{
    try {
        writeDefaults(settings, declaration());
    } catch (const std::exception& e) {
        blog(LOG_ERROR, "[ostrel-solvane] the filter's defaults could not be written: %s", e.what());
    }
}

obs_properties_t* filterProperties(void*)
{
    try {
        return makeProperties(declaration());
    } catch (const std::exception& e) {
        blog(LOG_ERROR, "[ostrel-solvane] the filter's controls could not be made: %s", e.what());
        return nullptr;
    }
}

} // namespace

bool obs_module_load(void)
{
    obs_source_info info = {};
    info.id = "ostrel_solvane_light_shafts";
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO;
    info.get_name = filterName;
    info.create = createFilter;
    info.destroy = destroyFilter;
    info.update = updateFilter;
    info.video_render = renderFilter;
    info.video_get_color_space = filterColorSpace;
    info.get_defaults = filterDefaults;
    info.get_properties = filterProperties;
    obs_register_source(&info);
    return true;
}

void obs_module_unload(void)
{
    std::string failure;
    try {
        if (!LoadedPlugin::instance().shutDown(failure)) {
            blog(LOG_WARNING, "[ostrel-solvane] the plug-in's global set-down failed: %s", failure.c_str());
        }
    } catch (const std::exception& e) {
        blog(LOG_WARNING, "[ostrel-solvane] the plug-in's global set-down failed: %s", e.what());
    }
}

MODULE_EXPORT const char* obs_module_description(void) { return "Light shafts from the bright parts of a source"; }
