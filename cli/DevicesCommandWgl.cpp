#include "cli/DevicesCommand.h"

#include <cstdio>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// WGL has no devices to choose among: contexts come from the driver of the display the hidden window is on.
int listDevices()
{
    std::printf("WGL: the plug-in's contexts use the system's OpenGL driver; there is no device to choose\n");
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
