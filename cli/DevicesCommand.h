#pragma once

#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// `solvane devices`: lists the devices the plug-in can render on and says which one it would take, as the plug-in
// chooses it (SOLVANE_EGL_DEVICE). Returns the exit status.
int listDevices();

// Why the plug-in finds no OpenGL 3.3 here, in words ("only version 2.1, where 3.3 is
// needed"); empty when nothing is found wrong, and where the system cannot tell (WGL).
std::string openGlTrouble();

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
