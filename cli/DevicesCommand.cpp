// solvane devices: the devices the plug-in can render on, and the one it takes (DevicesCommandEgl.cpp,
// DevicesCommandWgl.cpp).
#include "cli/Commands.h"
#include "cli/DevicesCommand.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

int devicesCommand(const CommandContext& context)
{
    if (!context.args.empty()) {
        throw UsageError("devices: expected no arguments");
    }
    return listDevices();
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
