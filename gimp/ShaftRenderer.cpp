#include "gimp/ShaftRenderer.h"

#include <stdexcept>

#include "standin/PluginLibrary.h"

namespace Tamrin {
namespace Solvane {
namespace Gimp {

ShaftRenderer::ShaftRenderer(const std::string& pluginPath)
    try : client_(pluginPath, StandIn::PluginClient::Threading::Caller, StandIn::diagnosticsTarget(),
                  "it is looked for beside the GIMP plug-in, or where SOLVANE_PLUGIN names") {
} catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string("the Ostrel Solvane plug-in could not be loaded: ") + e.what());
}

std::string ShaftRenderer::defaultPluginPath()
{
    // GIMP starts its plug-ins by their full path; the program's own file names the folder.
    return StandIn::clientPluginPath(StandIn::defaultPluginPath());
}

void ShaftRenderer::render(const ShaftValues& values, const LayerPlace& layer, double scale,
                           StandIn::HostWorld& input, StandIn::HostWorld& output)
{
    std::string report;
    const PF_Err error = client_.render([&](StandIn::SubstituteHost& host) { values.applyTo(host, layer, scale); },
                                        input, output, 0, report);
    if (error != PF_Err_NONE) {
        throw std::runtime_error("the Ostrel Solvane plug-in did not render the " + std::to_string(input.width()) +
                                 "x" + std::to_string(input.height()) + " layer: " +
                                 StandIn::renderFailureCause(error, input.width(), input.height(), report));
    }
}

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
