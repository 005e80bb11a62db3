#include "gimp/ShaftRenderer.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "standin/DiagnosticsToStderr.h"

namespace Tamrin {
namespace Solvane {
namespace Gimp {

namespace {

StandIn::DiagnosticsToStderr::Target diagnosticsTarget()
{
    const char* quiet = std::getenv("SOLVANE_QUIET");
    const bool discard = quiet && *quiet && std::string(quiet) != "0";
    return discard ? StandIn::DiagnosticsToStderr::Target::Discard
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
    const char* configured = std::getenv("SOLVANE_PLUGIN");
    if (configured && *configured) {
        return configured;
    }
    // GIMP starts its plug-ins by their full path; the program's own file names the folder.
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length > 0) {
        self.resize(static_cast<std::size_t>(length));
        const auto slash = self.rfind('/');
        if (slash != std::string::npos) {
            return self.substr(0, slash + 1) + "OstrelSolvane.aex";
        }
    }
    return "OstrelSolvane.aex";
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
