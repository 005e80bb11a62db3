#pragma once

#include <memory>
#include <string>
#include <vector>

#include "standin/HostWorld.h"
#include "standin/PluginClient.h"
#include "gimp/ShaftValues.h"

namespace Tamrin {
namespace Solvane {
namespace Gimp {

// The plug-in as the GIMP plug-in hosts it: one client of the plug-in
// (StandIn::PluginClient: the library with its registration resource checked, global
// and parameter set-up) for the life of the GIMP plug-in process, and renders of host
// worlds with a set of values. Every call into the plug-in runs on the calling thread
// (GIMP's plug-in is a process of its own, with no OpenGL of its own) with the
// plug-in's diagnostic lines sent to standard error (nowhere with SOLVANE_QUIET).
// Errors are std::runtime_error with a message for the user, naming the cause.
class ShaftRenderer {
public:
    explicit ShaftRenderer(const std::string& pluginPath);

    ShaftRenderer(const ShaftRenderer&) = delete;
    ShaftRenderer& operator=(const ShaftRenderer&) = delete;

    // $SOLVANE_PLUGIN when set, else OstrelSolvane.aex beside this program.
    static std::string defaultPluginPath();

    const std::vector<StandIn::HostParameter>& declared() { return client_.declared(); }

    // Renders `input` (the layer, or a copy reduced by `scale`) into `output`, of the
    // same size. Throws when the plug-in did not render: `output` is then not a result.
    void render(const ShaftValues& values, const LayerPlace& layer, double scale, StandIn::HostWorld& input,
                StandIn::HostWorld& output);

private:
    StandIn::PluginClient client_;
};

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
