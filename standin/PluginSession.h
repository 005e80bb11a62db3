#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "standin/PluginLibrary.h"
#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// The plug-in's global set-up returned an error: the library loaded, its OpenGL did not start.
struct GlobalSetUpError : std::runtime_error {
    GlobalSetUpError(const std::string& what, PF_Err code) : std::runtime_error(what), error(code) {}
    PF_Err error;
};

// A plug-in loaded and set up the way the host does it for one effect: the library
// (registration resource first), global set-up and parameter set-up at the start,
// global set-down at the end. Errors from set-up are std::runtime_error.
class PluginSession {
public:
    PluginSession(const std::string& pluginPath, const std::string& languageTag);
    ~PluginSession();

    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    SubstituteHost& host() { return *host_; }
    PluginLibrary& library() { return *library_; }

    // Ends the session now and reports the set-down's error, if any.
    PF_Err close();

private:
    std::unique_ptr<PluginLibrary> library_;
    std::unique_ptr<SubstituteHost> host_;
    bool setUp_ = false;
};

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
