#pragma once

#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// Sorts the plug-in's diagnostic lines as they arrive, in pieces of any size. The block with which the plug-in
// identifies each OpenGL context it makes (a blank line, its "OpenGL Version:", "OpenGL Vendor:", "OpenGL
// Renderer:" and "OpenGL Revision:" lines, a blank line) is for diagnosis: it is held back, to be shown with a
// failure or when the user asks for it. Every other line is handed on as it comes, unchanged.
class PluginLines {
public:
    // Takes the next piece; returns the complete lines that may be shown now. Lines that may still turn out to
    // begin an identification block wait for the next piece.
    std::string add(const std::string& piece);

    // What still waits, at the end of the plug-in's output: an unfinished block counts as ordinary lines.
    std::string finish();

    // The identification blocks held back so far, each as the plug-in wrote it; the next call has only newer ones.
    std::string takeIdentification();

private:
    std::string pending_;
    std::string identification_;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
