#include "standin/ClientEnvironment.h"

#include <cstdlib>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

std::string pluginNamedByEnvironment()
{
    const char* configured = std::getenv("SOLVANE_PLUGIN");
    return configured ? configured : "";
}

bool quietRequestedByEnvironment()
{
    const char* quiet = std::getenv("SOLVANE_QUIET");
    return quiet && *quiet && std::string(quiet) != "0";
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
