// solvane: loads the Ostrel Solvane plug-in the way the compositing host does and
// drives its commands; applies the effect to images.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/DevicesCommand.h"
#include "standin/DiagnosticsToStderr.h"
#include "standin/PiplInfo.h"
#include "standin/PluginLibrary.h"
#include "standin/PluginSession.h"
#include "cli/RenderJob.h"
#include "cli/RenderOptions.h"
#include "standin/SubstituteHost.h"
#include "cli/TextEncoding.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;

namespace {

const char* const kUsage =
    "usage: solvane [--plugin PATH] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  render IN OUT [options]           apply the effect to an image (IN.png OUT.png), a\n"
    "                                    numbered sequence (--frames) or raw video (--raw)\n"
    "  params [--language TAG]           list the effect's parameters as the host shows them\n"
    "  about                             print the plug-in's About text\n"
    "  info [PLUGIN]                     decode the plug-in's registration resource\n"
    "  devices                           list the devices the plug-in can render on, and the\n"
    "                                    one it takes (SOLVANE_EGL_DEVICE chooses)\n"
    "  help                              this text\n"
    "\n"
    "render options:\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int about(const std::string& pluginPath)
{
    StandIn::PluginLibrary library(pluginPath);
    StandIn::SubstituteHost host(library.entryPoint());
    std::string text;
    const PF_Err error = host.about(text);
    if (error != PF_Err_NONE) {
        throw std::runtime_error("About failed: " + StandIn::describeError(error));
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int info(const std::string& pluginPath)
{
    const StandIn::PiplInfo pipl = StandIn::decodePipl(StandIn::PluginLibrary::readRegistrationResource(pluginPath));
    std::printf("plug-in:          %s\n", pluginPath.c_str());
    std::printf("name:             %s\n", pipl.name.c_str());
    std::printf("category:         %s\n", pipl.category.c_str());
    std::printf("match name:       %s\n", pipl.matchName.c_str());
    std::printf("kind:             %s\n", pipl.kind.c_str());
    std::printf("entry point:      %s\n", pipl.entryPoint.c_str());
    std::printf("effect version:   %s (0x%X)\n", StandIn::describeEffectVersion(pipl.effectVersion).c_str(),
                pipl.effectVersion);
    std::printf("property list:    %d.%d\n", pipl.propertyListMajor, pipl.propertyListMinor);
    std::printf("host interface:   %d.%d\n", pipl.hostInterfaceMajor, pipl.hostInterfaceMinor);
    std::printf("info flags:       0x%X\n", pipl.infoFlags);
    std::printf("out flags:        0x%X\n", pipl.outFlags);
    std::printf("out flags 2:      0x%X\n", pipl.outFlags2);
    std::printf("reserved info:    0x%X\n", pipl.aeFlags);
    std::printf("properties:       %zu\n", pipl.propertyCount);
    return 0;
}

// Columns a UTF-8 text takes in a terminal: CJK characters take two.
int displayWidth(const std::string& text)
{
    int width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80) {
            width += byte >= 0xE0 ? 2 : 1;
        }
    }
    return width;
}

std::string padded(const std::string& text, int width)
{
    return text + std::string(static_cast<std::size_t>(std::max(1, width - displayWidth(text))), ' ');
}

std::string fixedText(PF_Fixed value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", StandIn::doubleFromFixed(value));
    return buffer;
}

int params(const std::string& pluginPath, const std::vector<std::string>& args)
{
    std::string language = "en_US";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--language" && i + 1 < args.size()) {
            language = args[++i];
        } else {
            throw UsageError("params: unexpected argument '" + args[i] + "'");
        }
    }
    std::vector<StandIn::HostParameter> parameters;
    {
        StandIn::DiagnosticsToStderr diagnostics;
        StandIn::PluginSession session(pluginPath, language);
        parameters = session.host().parameters();
    }
    std::printf("%-3s %s%s%s%s\n", "id", padded("name", 20).c_str(), padded("kind", 14).c_str(),
                padded("range", 32).c_str(), "default");
    for (std::size_t i = 1; i < parameters.size(); ++i) {
        const PF_ParamDef& def = parameters[i].declared;
        const std::string name = gbkToUtf8(parameters[i].name);
        std::string kind, range, dephault;
        switch (def.param_type) {
        case PF_Param_FIX_SLIDER:
            kind = "fixed slider";
            range = fixedText(def.u.fd.valid_min) + " to " + fixedText(def.u.fd.valid_max);
            dephault = fixedText(def.u.fd.dephault);
            if (def.u.fd.display_flags & PF_ValueDisplayFlag_PERCENT) {
                range += " %";
                dephault += " %";
            }
            break;
        case PF_Param_SLIDER:
            kind = "slider";
            range = std::to_string(def.u.sd.valid_min) + " to " + std::to_string(def.u.sd.valid_max);
            dephault = std::to_string(def.u.sd.dephault);
            break;
        case PF_Param_POINT:
            kind = "point";
            range = "unrestricted";
            dephault = fixedText(def.u.td.x_dephault) + "%," + fixedText(def.u.td.y_dephault) + "%";
            break;
        case PF_Param_POPUP:
            kind = "popup";
            range = gbkToUtf8(parameters[i].choices);
            dephault = std::to_string(def.u.pd.dephault);
            {
                std::string choices = parameters[i].choices;
                for (int choice = 1; choice < def.u.pd.dephault && choices.find('|') != std::string::npos; ++choice) {
                    choices.erase(0, choices.find('|') + 1);
                }
                dephault += " (" + gbkToUtf8(choices.substr(0, choices.find('|'))) + ")";
            }
            break;
        case PF_Param_CHECKBOX:
            kind = "checkbox";
            range = "off/on";
            dephault = def.u.bd.dephault ? "on" : "off";
            break;
        default:
            kind = "kind " + std::to_string(def.param_type);
        }
        std::printf("%-3d %s%s%s%s%s\n", def.uu.id, padded(name, 20).c_str(), padded(kind, 14).c_str(),
                    padded(range, 32).c_str(), padded(dephault, 14).c_str(),
                    (def.ui_flags & PF_PUI_INVISIBLE) ? "hidden" : "");
    }
    return 0;
}

int render(const std::string& pluginPath, const std::vector<std::string>& args)
{
    std::unique_ptr<RenderJob> job;
    try {
        job = std::make_unique<RenderJob>(pluginPath, args);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
    job->run();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string pluginPath;
    std::size_t first = 0;
    while (first < args.size() && args[first] == "--plugin") {
        if (first + 1 >= args.size()) {
            std::fprintf(stderr, "solvane: --plugin needs a path\n");
            return 2;
        }
        pluginPath = args[first + 1];
        first += 2;
    }
    if (first >= args.size()) {
        std::fprintf(stderr, "%s%s%s", kUsage, kRenderOptionsHelp, kRenderJobOptionsHelp);
        return 2;
    }
    const std::string command = args[first];
    std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(first) + 1, args.end());
    if (pluginPath.empty()) {
        pluginPath = StandIn::defaultPluginPath();
    }

    try {
        if (command == "help" || command == "--help" || command == "-h") {
            std::printf("%s%s%s", kUsage, kRenderOptionsHelp, kRenderJobOptionsHelp);
            return 0;
        }
        if (command == "about") {
            return about(pluginPath);
        }
        if (command == "info") {
            if (rest.size() > 1) {
                throw UsageError("info: expected at most one plug-in path");
            }
            return info(rest.empty() ? pluginPath : rest[0]);
        }
        if (command == "params") {
            return params(pluginPath, rest);
        }
        if (command == "devices") {
            if (!rest.empty()) {
                throw UsageError("devices: expected no arguments");
            }
            return listDevices();
        }
        if (command == "render") {
            return render(pluginPath, rest);
        }
        throw UsageError("unknown command '" + command + "'");
    } catch (const UsageError& e) {
        std::fprintf(stderr, "solvane: %s\n(run 'solvane help' for usage)\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "solvane: error: %s\n", e.what());
        return 1;
    }
}
