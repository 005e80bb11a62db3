#include "cli/RenderFailure.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cli/DevicesCommand.h"
#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

const char* qualityName(int choice)
{
    switch (choice) {
    case 1:
        return "High";
    case 2:
        return "Medium";
    case 3:
        return "Low";
    default:
        return nullptr;
    }
}

} // namespace

std::string describeRenderFailure(PF_Err error, int width, int height, int qualityChoice)
{
    std::string text = "the plug-in could not render the frame (" + std::to_string(width) + "x" +
                       std::to_string(height);
    if (const char* quality = qualityName(qualityChoice)) {
        text += std::string(", ") + quality + " quality";
    }
    text += "): " + StandIn::describeError(error);
    if (error == PF_Err_OUT_OF_MEMORY) {
        // Every frame-sized surface of the plug-in is RGBA32F: 16 bytes a pixel.
        const std::uint64_t mebibytes = (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 16 +
                                         (1u << 20) - 1) >> 20;
        text += ": the OpenGL driver would not allocate the frame's float (RGBA32F) surfaces, " +
                std::to_string(mebibytes) +
                " MiB for each frame-sized one (a centre far outside the frame at High needs larger ones)";
    }
    if (error == PF_Err_INTERNAL_STRUCT_DAMAGED) {
        // The plug-in's code for an OpenGL context it could not make: the cause is looked for here.
        const std::string cause = openGlTrouble();
        if (!cause.empty()) {
            text += ": " + cause;
        }
    }
    return text;
}

std::string pluginReport(const std::string& lines)
{
    std::size_t start = std::string::npos;
    for (const char* marker : {"Shader vert error:", "Shader frag error:", "Program error:", "framebuffer incomplete"}) {
        const std::size_t found = lines.find(marker);
        if (found != std::string::npos && (start == std::string::npos || found < start)) {
            start = found;
        }
    }
    if (start == std::string::npos) {
        return std::string();
    }
    // Every program that shares a broken shader reports it again: each message once.
    std::vector<std::string> messages;
    const std::string rest = lines.substr(start);
    for (std::size_t at = 0; at < rest.size();) {
        std::size_t end = rest.find("\n\n", at);
        if (end == std::string::npos) {
            end = rest.size();
        }
        std::string message = rest.substr(at, end - at);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
            message.pop_back();
        }
        if (!message.empty() && std::find(messages.begin(), messages.end(), message) == messages.end()) {
            messages.push_back(message);
        }
        at = end + 2;
    }
    std::string report;
    for (const std::string& message : messages) {
        report += (report.empty() ? "" : "\n") + message;
    }
    return report;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
