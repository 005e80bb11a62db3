#pragma once

#include <cstdio>
#include <string>

#include "cli/PluginLines.h"
#include "standin/DiagnosticsToStderr.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The plug-in's diagnostic lines during one command of solvane. They stay off standard output (DiagnosticsToStderr)
// and go to standard error, none of them with --quiet. The identification blocks of the plug-in's OpenGL contexts
// are shown only with --verbose, or when the command fails: an exception that leaves the scope of this object shows
// those held back so far, before the error is said. Every other line goes on as the plug-in wrote it.
class PluginDiagnostics {
public:
    PluginDiagnostics(bool quiet, bool verbose);
    ~PluginDiagnostics();

    PluginDiagnostics(const PluginDiagnostics&) = delete;
    PluginDiagnostics& operator=(const PluginDiagnostics&) = delete;

    // A new stream on the real standard output, in binary mode; the caller closes it. Null when it cannot be made.
    std::FILE* frameStream() const { return streams_.frameStream(); }

    // Sends on what the plug-in wrote since the last call.
    void pass();

    // At a failure: every line of the plug-in not yet shown, the identification blocks held back included, for the
    // caller to sort; forward() sends on what it does not keep for its message.
    std::string takeForFailure();
    void forward(const std::string& lines) const { streams_.forward(lines); }

private:
    StandIn::DiagnosticsToStderr streams_;
    PluginLines lines_;
    bool verbose_;
    int exceptionsAtStart_;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
