#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "standin/EffectValues.h"
#include "standin/HostWorld.h"
#include "standin/PluginClient.h"

namespace Tamrin {
namespace Solvane {
namespace Obs {

// The one loaded plug-in that every filter of the OBS module shares, as a host shares
// a loaded effect between layers: one client of the plug-in (StandIn::PluginClient:
// library, substitute host, global and parameter set-up) for the whole process, made
// when the first filter needs it and set down when OBS unloads the module, so that
// filters coming and going never set the plug-in up twice. Every call into the
// plug-in runs on the client's own thread: OBS calls the filter on its graphics thread
// with its own OpenGL context current, and the plug-in's contexts stay on that other
// thread, so OBS's context and bindings are never touched. One mutex serialises the
// callers. The plug-in's diagnostic lines go to standard error, or nowhere with
// SOLVANE_QUIET.
class LoadedPlugin {
public:
    // The process's one object, never destroyed (see shutDown).
    static LoadedPlugin& instance();

    // The plug-in file: $SOLVANE_PLUGIN when set, else OstrelSolvane.aex beside this module.
    static std::string pluginPath();

    // Loads and sets up the plug-in if it is not, and returns its declaration (defaults
    // and ranges). Throws std::runtime_error, with the reason and its cause, when it
    // cannot; a later call tries again.
    StandIn::EffectDeclaration load();

    // One frame through the plug-in with a filter's values, the centre in per cent of
    // the frame; the plug-in's result, and on a failed frame its report in `report`.
    // Throws std::logic_error when the plug-in is not loaded.
    PF_Err render(const StandIn::EffectValues& values, StandIn::HostWorld& input, StandIn::HostWorld& output,
                  std::string& report);

    // Global set-down and the thread's end, from obs_module_unload; the reason on
    // `failure` when the set-down failed. Nothing when the plug-in is not loaded.
    bool shutDown(std::string& failure);

private:
    LoadedPlugin() = default;

    std::mutex mutex_;
    std::unique_ptr<StandIn::PluginClient> client_;
    StandIn::EffectDeclaration declaration_;
};

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
