// The OBS Studio module ostrel-solvane: the video filter "Light Shafts (Ostrel
// Solvane)" for every video source, group and scene. OBS calls these functions; each
// hands over to a LightShaftsFilter, and no exception leaves the module.
#include <obs-module.h>

#include <exception>
#include <string>

#include "obs/LightShaftsFilter.h"
#include "obs/LoadedPlugin.h"

using Tamrin::Solvane::Obs::FilterValues;
using Tamrin::Solvane::Obs::LightShaftsFilter;
using Tamrin::Solvane::Obs::LoadedPlugin;

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

void filterDefaults(obs_data_t* settings)
{
    // The plug-in's own declared defaults; the same values, built in, when it cannot be loaded.
    FilterValues defaults;
    try {
        defaults = LoadedPlugin::instance().load();
    } catch (const std::exception&) {
    }
    LightShaftsFilter::writeDefaults(settings, defaults);
}

obs_properties_t* filterProperties(void*)
{
    obs_properties_t* properties = obs_properties_create();
    obs_property_t* p = obs_properties_add_float_slider(properties, "threshold", obs_module_text("Threshold"), 0.0,
                                                        100.0, 1.0);
    obs_property_float_set_suffix(p, " %");
    obs_property_set_long_description(p, obs_module_text("Threshold.Description"));
    p = obs_properties_add_float_slider(properties, "threshold_smoothness", obs_module_text("ThresholdSmooth"),
                                        0.0, 100.0, 1.0);
    obs_property_float_set_suffix(p, " %");
    p = obs_properties_add_float_slider(properties, "exposure", obs_module_text("Exposure"), 0.0, 100.0, 1.0);
    obs_property_float_set_suffix(p, " %");
    p = obs_properties_add_int_slider(properties, "shine_length", obs_module_text("ShineLength"), 0, 2048, 1);
    obs_property_int_set_suffix(p, " px");
    p = obs_properties_add_list(properties, "quality", obs_module_text("Quality"), OBS_COMBO_TYPE_LIST,
                                OBS_COMBO_FORMAT_INT);
    obs_property_list_add_int(p, obs_module_text("Quality.High"), 1);
    obs_property_list_add_int(p, obs_module_text("Quality.Medium"), 2);
    obs_property_list_add_int(p, obs_module_text("Quality.Low"), 3);
    obs_properties_add_bool(properties, "ray_only", obs_module_text("RayOnly"));
    // The centre may lie outside the source: a light off screen.
    p = obs_properties_add_float(properties, "center_x", obs_module_text("CenterX"), -1000.0, 1000.0, 0.5);
    obs_property_float_set_suffix(p, " %");
    p = obs_properties_add_float(properties, "center_y", obs_module_text("CenterY"), -1000.0, 1000.0, 0.5);
    obs_property_float_set_suffix(p, " %");
    return properties;
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
