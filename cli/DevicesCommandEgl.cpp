#include "cli/DevicesCommand.h"

#include "egldevices/EglDevices.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The listing comes from the same code that makes the plug-in's choice, so "chosen" is what a render would use.
int listDevices()
{
    const std::string text = describeEglDevices(std::getenv(kEglDeviceVariable), EglDeviceEntries::system());
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
