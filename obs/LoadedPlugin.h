#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "standin/DiagnosticsToStderr.h"
#include "standin/HostWorld.h"
#include "standin/PluginSession.h"
#include "standin/PluginThread.h"
#include "obs/FilterValues.h"

namespace Tamrin {
namespace Solvane {
namespace Obs {

// The one loaded plug-in that every filter of the OBS module shares, as a host shares
// a loaded effect between layers: one PluginSession (library, substitute host, global
// and parameter set-up) for the whole process, made when the first filter needs it
// and set down when OBS unloads the module, so that filters coming and going never
// set the plug-in up twice. Owns the session and the StandIn::PluginThread every call
// into the plug-in runs on: OBS calls the filter on its graphics thread with its own
// OpenGL context current, and the plug-in's contexts stay on that other thread, so
// OBS's context and bindings are never touched. One mutex serialises the callers.
// The plug-in's diagnostic lines go to standard error, or nowhere with SOLVANE_QUIET.
class LoadedPlugin {
public:
    // The process's one object, never destroyed (see shutDown).
    static LoadedPlugin& instance();

    // The plug-in file: $SOLVANE_PLUGIN when set, else OstrelSolvane.aex beside this module.
    static std::string pluginPath();

    // Loads and sets up the plug-in if it is not, and returns its declared defaults.
    // Throws std::runtime_error, with the reason, when it cannot; a later call tries again.
    FilterValues load();

    // One frame through the plug-in with a filter's values; the plug-in's result.
    // Throws std::logic_error when the plug-in is not loaded.
    PF_Err render(const FilterValues& values, StandIn::HostWorld& input, StandIn::HostWorld& output);

    // Global set-down and the thread's end, from obs_module_unload; the reason on
    // `failure` when the set-down failed. Nothing when the plug-in is not loaded.
    bool shutDown(std::string& failure);

private:
    LoadedPlugin() = default;

    std::mutex mutex_;
    std::unique_ptr<StandIn::PluginThread> thread_;
    std::unique_ptr<StandIn::PluginSession> session_;
    StandIn::DiagnosticsToStderr::Target diagnostics_ = StandIn::DiagnosticsToStderr::Target::StandardError;
};

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
