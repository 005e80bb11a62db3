// ostrel_solvane.so: the frei0r filter module of the effect. It hosts the plug-in
// OstrelSolvane.aex through its entry function with the substitute host's code,
// so that frei0r hosts (ffmpeg's frei0r filter, MLT under Kdenlive and Shotcut)
// apply the effect. Only the f0r_ functions leave the module, and no exception
// leaves them: a frei0r host has no way to receive one.

// frei0r.h declares its functions without C linkage for C++.
extern "C" {
#include <frei0r.h>
}

#include <cstdio>
#include <exception>
#include <string>

#include "frei0r/Frei0rInstance.h"
#include "frei0r/Frei0rParameters.h"
#include "frei0r/SharedPlugin.h"

#define SOLVANE_FREI0R_EXPORT extern "C" __attribute__((visibility("default")))

using Tamrin::Solvane::Frei0r::Frei0rInstance;
using Tamrin::Solvane::Frei0r::Frei0rParameters;
using Tamrin::Solvane::Frei0r::SharedPlugin;

namespace {

void report(const char* what, const char* reason)
{
    std::fprintf(stderr, "ostrel_solvane: %s: %s\n", what, reason);
}

} // namespace

SOLVANE_FREI0R_EXPORT int f0r_init(void)
{
    try {
        SharedPlugin::instance().init();
        return 1;
    } catch (...) {
        return 0;
    }
}

SOLVANE_FREI0R_EXPORT void f0r_deinit(void)
{
    try {
        SharedPlugin::instance().deinit();
    } catch (const std::exception& e) {
        report("unloading the plug-in failed", e.what());
    } catch (...) {
        report("unloading the plug-in failed", "unknown error");
    }
}

SOLVANE_FREI0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    if (!info) {
        return;
    }
    info->name = "Light Shafts";
    info->author = "Tamrin";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    // The same bytes as the host's 8-bit worlds, with alpha moved from last to first.
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = Frei0rParameters::kCount;
    // GStreamer names its element after this name (frei0r-filter-light-shafts) and shows it, as Pitivi does, with
    // the explanation as the element's description.
    info->explanation = "Ostrel Solvane light shafts: the bright parts of the frame stream outward along rays from a "
                        "centre point";
}

SOLVANE_FREI0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int param_index)
{
    if (!info || param_index < 0 || param_index >= Frei0rParameters::kCount) {
        return;
    }
    const Frei0rParameters::Description& description = Frei0rParameters::describe(param_index);
    info->name = description.name;
    info->type = description.type;
    info->explanation = description.explanation;
}

SOLVANE_FREI0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    try {
        switch (SharedPlugin::hostTreatmentOfFailedConstruction()) {
        case SharedPlugin::FailedConstruction::RenderedOn:
            return new Frei0rInstance(width, height, Frei0rInstance::Start::NowOrPassFrames);
        case SharedPlugin::FailedConstruction::KeptInRegistry:
            return new Frei0rInstance(width, height, Frei0rInstance::Start::AtFirstFrame);
        case SharedPlugin::FailedConstruction::Reported:
            break;
        }
        const std::string refusal = SharedPlugin::unusableWidth(width);
        if (!refusal.empty()) {
            report("cannot start the effect", refusal.c_str());
            return nullptr;
        }
        return new Frei0rInstance(width, height, Frei0rInstance::Start::NowOrThrow);
    } catch (const std::exception& e) {
        report("cannot start the effect", e.what());
    } catch (...) {
        report("cannot start the effect", "unknown error");
    }
    return nullptr;
}

SOLVANE_FREI0R_EXPORT void f0r_destruct(f0r_instance_t instance)
{
    try {
        delete static_cast<Frei0rInstance*>(instance);
    } catch (...) {
        report("closing an instance failed", "unknown error");
    }
}

SOLVANE_FREI0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    if (instance && param) {
        try {
            static_cast<Frei0rInstance*>(instance)->setParameter(param_index, param);
        } catch (...) {
            report("a parameter was not set", "unknown error");
        }
    }
}

SOLVANE_FREI0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    if (instance && param) {
        static_cast<Frei0rInstance*>(instance)->parameters().get(param_index, param);
    }
}

SOLVANE_FREI0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe,
                                      uint32_t* outframe)
{
    if (!instance) {
        return;
    }
    try {
        static_cast<Frei0rInstance*>(instance)->update(time, inframe, outframe);
    } catch (const std::exception& e) {
        report("a frame was not processed", e.what());
    } catch (...) {
        report("a frame was not processed", "unknown error");
    }
}

// For filters frei0r passes the one input frame as the first.
SOLVANE_FREI0R_EXPORT void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                                       const uint32_t*, const uint32_t*, uint32_t* outframe)
{
    f0r_update(instance, time, inframe1, outframe);
}
