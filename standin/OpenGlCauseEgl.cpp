// Why OpenGL could not start, where the plug-in's contexts are EGL's: the plug-in's own choice of display
// (SOLVANE_EGL_DEVICE) asked again from here.
#include "standin/PluginClient.h"

#include <cstdlib>

#include "egldevices/EglDiagnosis.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

std::string openGlCause() { return diagnoseOpenGl(std::getenv(kEglDeviceVariable)); }

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
