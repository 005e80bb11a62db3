#pragma once

#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// `solvane devices`: lists the devices the plug-in can render on and says which one it would take, as the plug-in
// chooses it (SOLVANE_EGL_DEVICE). Returns the exit status.
int listDevices();

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
