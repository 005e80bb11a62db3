#include "cli/PluginDiagnostics.h"

#include <exception>

namespace Tamrin {
namespace Solvane {
namespace Cli {

PluginDiagnostics::PluginDiagnostics(bool quiet, bool verbose)
    : streams_(quiet ? StandIn::DiagnosticsToStderr::Target::Discard
                     : StandIn::DiagnosticsToStderr::Target::StandardError),
      verbose_(verbose), exceptionsAtStart_(std::uncaught_exceptions())
{
}

PluginDiagnostics::~PluginDiagnostics()
{
    try {
        pass();
        const bool failing = std::uncaught_exceptions() > exceptionsAtStart_;
        const std::string rest = lines_.finish();
        streams_.forward(failing ? lines_.takeIdentification() + rest : rest);
    } catch (...) {
        // Lines that cannot be shown are not worth ending the program over.
    }
}

void PluginDiagnostics::pass()
{
    const std::string taken = streams_.takeLines();
    streams_.forward(verbose_ ? taken : lines_.add(taken));
}

std::string PluginDiagnostics::takeForFailure()
{
    const std::string taken = streams_.takeLines();
    if (verbose_) {
        return taken;
    }
    const std::string shown = lines_.add(taken);
    return lines_.takeIdentification() + shown + lines_.finish();
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
