#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "standin/DiagnosticsToStderr.h"
#include "standin/HostWorld.h"
#include "standin/PluginSession.h"
#include "standin/PluginThread.h"
#include "python/ShaftSettings.h"

namespace Tamrin {
namespace Solvane {
namespace Python {

// The plug-in refused a frame: the host's code for it, its meaning, and a message naming the frame.
struct RenderRefused : std::runtime_error {
    RenderRefused(const std::string& what, PF_Err code, std::string meaning)
        : std::runtime_error(what), error(code), cause(std::move(meaning))
    {
    }
    PF_Err error;
    std::string cause;
};

// This process was forked from one whose plug-in had started: its OpenGL contexts and the thread that owns them
// stayed behind in the parent, so the plug-in cannot run here.
struct InheritedAcrossFork : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The one plug-in the Python module hosts, for the whole process: one PluginSession (library, substitute host,
// global and parameter set-up), started by the first call that needs it and set down at the interpreter's exit,
// and the StandIn::PluginThread that every call into the plug-in runs on, whatever Python thread asks, so that the
// plug-in keeps one OpenGL context. One mutex serialises the callers; none of them holds Python's lock while it
// waits. A fork() while a frame renders waits for the frame; a child forked after the start gets
// InheritedAcrossFork from every call (the session it inherited is left alone: its set-down would run OpenGL that
// only the parent has), and a child forked before it starts a session of its own. The plug-in's diagnostic lines
// go to standard error (nowhere with SOLVANE_QUIET) while it sets up, renders its first frame and sets down, where
// it writes them; later frames leave the process's standard output alone, as Python's threads write to it.
class SharedPlugin {
public:
    // The process's one object, never destroyed (see shutDown).
    static SharedPlugin& instance();

    // $SOLVANE_PLUGIN when set, else OstrelSolvane.aex beside this module.
    static std::string pluginPath();

    // The parameters as the plug-in declared them, the session started if it is not. Throws std::runtime_error
    // with the reason when the plug-in cannot be loaded (a later call tries again).
    std::vector<StandIn::HostParameter> declared();

    // One frame through the plug-in with the call's values. Throws RenderRefused when the plug-in did not render:
    // `output` is then not a result.
    void render(const ShaftSettings& settings, StandIn::HostWorld& input, StandIn::HostWorld& output);

    // Global set-down and the thread's end, at the interpreter's exit; a later call starts a new session. Returns
    // the set-down's failure in words, "" when it went well or nothing was started.
    std::string shutDown();

private:
    SharedPlugin();

    void startLocked();
    void checkNotInherited() const;

    static void beforeFork();
    static void afterForkInParent();
    static void afterForkInChild();

    std::mutex mutex_;
    std::unique_ptr<StandIn::PluginThread> thread_;
    std::unique_ptr<StandIn::PluginSession> session_;
    bool inherited_ = false;
    bool firstFrameDone_ = false;
    StandIn::DiagnosticsToStderr::Target diagnostics_ = StandIn::DiagnosticsToStderr::Target::StandardError;
};

} // namespace Python
} // namespace Solvane
} // namespace Tamrin
