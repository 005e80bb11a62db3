#pragma once

#include <string>

#include "egldevices/EglDevices.h"

namespace Tamrin {
namespace Solvane {

// Why OpenGL 3.3 cannot be had on the display the plug-in would open for the variable's value, in words for the user:
// no EGL display, no OpenGL config, no context, or only an older version than 3.3. Empty when a 3.3 context can be
// made. Used by the programs that own the process (solvane, the frei0r module) when the plug-in's set-up fails: the
// plug-in itself only answers with its code.
std::string diagnoseOpenGl(const char* request, const EglDeviceEntries& entries = EglDeviceEntries::system());

} // namespace Solvane
} // namespace Tamrin
