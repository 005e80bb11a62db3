// solvane about: the plug-in's About text, as the host shows it.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "cli/Commands.h"
#include "standin/DiagnosticsToStderr.h"
#include "standin/PluginLibrary.h"
#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

int aboutCommand(const CommandContext& context)
{
    if (!context.args.empty()) {
        throw UsageError("about: unexpected argument '" + context.args[0] + "'");
    }
    const std::string& pluginPath = context.pluginPath;
    const bool quiet = context.quiet;
    StandIn::PluginLibrary library(pluginPath);
    StandIn::SubstituteHost host(library.entryPoint());
    std::string text;
    PF_Err error = PF_Err_NONE;
    {
        StandIn::DiagnosticsToStderr diagnostics(quiet ? StandIn::DiagnosticsToStderr::Target::Discard
                                                       : StandIn::DiagnosticsToStderr::Target::StandardError);
        error = host.about(text);
    }
    if (error != PF_Err_NONE) {
        throw std::runtime_error("About failed: " + StandIn::describeError(error));
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
