#pragma once

#include <memory>
#include <string>
#include <vector>

#include "standin/HostWorld.h"
#include "standin/PluginSession.h"
#include "gimp/ShaftValues.h"

namespace Tamrin {
namespace Solvane {
namespace Gimp {

// The plug-in as the GIMP plug-in hosts it: one PluginSession (the library with its
// registration resource checked, global and parameter set-up) for the life of the
// GIMP plug-in process, and renders of host worlds with a set of values. Every call
// into the plug-in runs on the calling thread with the plug-in's diagnostic lines sent
// to standard error (nowhere with SOLVANE_QUIET). Errors are std::runtime_error with
// a message for the user.
class ShaftRenderer {
public:
    explicit ShaftRenderer(const std::string& pluginPath);
    ~ShaftRenderer();

    ShaftRenderer(const ShaftRenderer&) = delete;
    ShaftRenderer& operator=(const ShaftRenderer&) = delete;

    // $SOLVANE_PLUGIN when set, else OstrelSolvane.aex beside this program.
    static std::string defaultPluginPath();

    const std::vector<StandIn::HostParameter>& declared() { return session_->host().parameters(); }

    // Renders `input` (the layer, or a copy reduced by `scale`) into `output`, of the
    // same size. Throws when the plug-in did not render: `output` is then not a result.
    void render(const ShaftValues& values, const LayerPlace& layer, double scale, StandIn::HostWorld& input,
                StandIn::HostWorld& output);

private:
    std::unique_ptr<StandIn::PluginSession> session_;
};

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
