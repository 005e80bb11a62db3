#pragma once

#include <string>

#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// What solvane says about a frame the plug-in did not render: the plug-in's code in
// words, the frame's size and quality, and for the host's out-of-memory code what the
// frame asks of the OpenGL driver (its float surfaces). `qualityChoice` is the Quality
// popup's value (1 High, 2 Medium, 3 Low; anything else is left out).
std::string describeRenderFailure(PF_Err error, int width, int height, int qualityChoice);

// The plug-in's own report among the lines it wrote: from its first shader, program
// or framebuffer message to the end, without trailing blank lines; empty when the
// lines hold none (context identification blocks are not a report).
std::string pluginReport(const std::string& lines);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
