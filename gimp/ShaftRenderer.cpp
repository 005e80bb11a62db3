#include "gimp/ShaftRenderer.h"

#include <cstdlib>
#include <stdexcept>

#include "standin/ClientEnvironment.h"
#include "standin/DiagnosticsToStderr.h"
#include "standin/PluginLibrary.h"

namespace Tamrin {
namespace Solvane {
namespace Gimp {

namespace {

StandIn::DiagnosticsToStderr::Target diagnosticsTarget()
{
    return StandIn::quietRequestedByEnvironment() ? StandIn::DiagnosticsToStderr::Target::Discard
                                                  : StandIn::DiagnosticsToStderr::Target::StandardError;
}

} // namespace

ShaftRenderer::ShaftRenderer(const std::string& pluginPath)
{
    StandIn::DiagnosticsToStderr diagnostics(diagnosticsTarget());
    try {
        session_ = std::make_unique<StandIn::PluginSession>(pluginPath, "en_US");
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string("the Ostrel Solvane plug-in could not be loaded: ") + e.what() +
                                 " (it is looked for beside the GIMP plug-in, or where SOLVANE_PLUGIN names)");
    }
}

ShaftRenderer::~ShaftRenderer()
{
    StandIn::DiagnosticsToStderr diagnostics(diagnosticsTarget());
    session_.reset();
}

std::string ShaftRenderer::defaultPluginPath()
{
    // GIMP starts its plug-ins by their full path; the program's own file names the folder.
    const std::string configured = StandIn::pluginNamedByEnvironment();
    return configured.empty() ? StandIn::defaultPluginPath() : configured;
}

void ShaftRenderer::render(const ShaftValues& values, const LayerPlace& layer, double scale,
                           StandIn::HostWorld& input, StandIn::HostWorld& output)
{
    StandIn::SubstituteHost& host = session_->host();
    values.applyTo(host, layer, scale);
    PF_Err error = PF_Err_NONE;
    {
        StandIn::DiagnosticsToStderr diagnostics(diagnosticsTarget());
        error = host.render(input, output, 0);
    }
    if (error != PF_Err_NONE) {
        throw std::runtime_error("the Ostrel Solvane plug-in did not render the " + std::to_string(input.width()) +
                                 "x" + std::to_string(input.height()) +
                                 " layer: " + StandIn::describeError(error));
    }
}

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
