#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "standin/DiagnosticsToStderr.h"
#include "standin/HostWorld.h"
#include "standin/PluginSession.h"
#include "standin/PluginThread.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// What every client of the plug-in (solvane, the frei0r module, the OBS filter, the GIMP plug-in) shares on its road
// into it: where the plug-in is, where its diagnostic lines go, and the one wording of a failure with its cause. The
// clients keep only their own lifetime rules and units.

// The plug-in a client loads: the file SOLVANE_PLUGIN names when it is set, else `besideClient` (the plug-in beside
// the client's own module or program).
std::string clientPluginPath(const std::string& besideClient);

// Where the plug-in's diagnostic lines go: nowhere when SOLVANE_QUIET asks for quiet, else standard error.
DiagnosticsToStderr::Target diagnosticsTarget();

// Why OpenGL 3.3 cannot be had on the display the plug-in would open (no EGL display, no config, no context, an older
// version), in words for the user; empty when nothing is found to be wrong, and where there is no EGL to ask.
std::string openGlCause();

// The message for a plug-in that could not be loaded and set up. The plug-in answers a failed global set-up with a
// code alone, so its OpenGL is looked at and the cause added; any other failure (a missing or broken file) is the
// loader's message with `whereLooked`, the client's words for where it looks for the plug-in.
std::string setUpFailure(const std::exception& failure, const std::string& whereLooked);

// What is said about a frame the plug-in did not render: the plug-in's code in words, the frame's size and quality
// (`qualityChoice`, the popup's 1 High, 2 Medium, 3 Low; anything else is left out), for the host's out-of-memory
// code what the frame asks of the OpenGL driver (its float surfaces), for a context that could not be made the
// cause, and the plug-in's own report (a shader's or program's log) when there is one.
std::string describeRenderFailure(PF_Err error, int width, int height, int qualityChoice,
                                  const std::string& report = std::string());
// The same without the frame's size and quality: the code in words, its cause and the report, for a client whose
// message names the frame itself.
std::string renderFailureCause(PF_Err error, int width, int height, const std::string& report = std::string());

// The plug-in's lines split into what comes before its report, and the report: from its first shader, program or
// framebuffer message to the end, each message once, without trailing blank lines; empty when the lines hold none
// (context identification blocks are not a report).
struct PluginLines {
    std::string before;
    std::string report;
};
PluginLines splitPluginLines(const std::string& lines);
inline std::string pluginReport(const std::string& lines) { return splitPluginLines(lines).report; }

// A client's one loaded plug-in: a PluginSession (the library, registration resource first, global and parameter
// set-up) made by the constructor and set down by close() or the destructor. With Threading::Own every call into the
// plug-in runs on a PluginThread of the client's own (hosts that call from threads of their choosing, or with their
// own OpenGL context current); with Threading::Caller on the calling thread. The plug-in's lines go to `target`
// around every call. Failures to load are std::runtime_error with setUpFailure's message.
class PluginClient {
public:
    enum class Threading { Caller, Own };

    PluginClient(const std::string& pluginPath, Threading threading, DiagnosticsToStderr::Target target,
                 const std::string& whereLooked, const std::function<void(SubstituteHost&)>& configure = {});
    ~PluginClient();

    PluginClient(const PluginClient&) = delete;
    PluginClient& operator=(const PluginClient&) = delete;

    // The parameters the plug-in declared, with their current values.
    const std::vector<HostParameter>& declared() { return session_->host().parameters(); }

    // One frame: `apply` writes the values into the host's store, then the plug-in renders `input` into `output` at
    // the host time. On a failed frame `report` receives the plug-in's report, which is then not passed on with its
    // other lines. Returns the plug-in's code.
    PF_Err render(const std::function<void(SubstituteHost&)>& apply, HostWorld& input, HostWorld& output, A_long time,
                  std::string& report);

    // Global set-down now; the set-down's code. Later calls do nothing.
    PF_Err close();

private:
    void run(const std::function<void()>& job);

    std::unique_ptr<PluginThread> thread_;
    std::unique_ptr<PluginSession> session_;
    DiagnosticsToStderr::Target target_;
};

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
