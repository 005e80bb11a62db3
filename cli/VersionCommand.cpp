#include <cstdio>

#include "cli/Commands.h"
#include "solvane/Version.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// `solvane version` and `solvane --version`: the program's name and the project's version on standard output.
int versionCommand(const CommandContext& context)
{
    if (!context.args.empty()) {
        throw UsageError("version: unexpected argument '" + context.args[0] + "'");
    }
    std::printf("solvane (Ostrel Solvane) %s\n", SOLVANE_VERSION_STRING);
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
