#include "cli/VersionCommand.h"

#include <cstdio>

#include "solvane/Version.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

int printVersion()
{
    std::printf("solvane (Ostrel Solvane) %s\n", SOLVANE_VERSION_STRING);
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
