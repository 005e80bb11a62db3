// solvane about: the plug-in's About text, as the host shows it.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "cli/Commands.h"
#include "cli/PluginDiagnostics.h"
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
    StandIn::PluginLibrary library(context.pluginPath);
    StandIn::SubstituteHost host(library.entryPoint());
    std::string text;
    PF_Err error = PF_Err_NONE;
    {
        PluginDiagnostics diagnostics(context.quiet, context.verbose);
        error = host.about(text);
    }
    if (error != PF_Err_NONE) {
        throw std::runtime_error("About failed: " + StandIn::describeError(error));
    }
    // The host shows the text in a dialog, which breaks lines at carriage returns; a terminal needs line ends.
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            lines += text[i];
        } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
            lines += '\n';
        }
    }
    if (lines.empty() || lines.back() != '\n') {
        lines += '\n';
    }
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
