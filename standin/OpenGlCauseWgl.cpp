// Why OpenGL could not start, where the plug-in's contexts are WGL's: nothing is asked; the plug-in's code stands
// alone.
#include "standin/PluginClient.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

std::string openGlCause() { return std::string(); }

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
