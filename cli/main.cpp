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
#include "cli/PluginLocation.h"
#include "cli/VersionCommand.h"
#include "standin/DiagnosticsToStderr.h"
#include "standin/PiplInfo.h"
#include "standin/PluginLibrary.h"
#include "standin/PluginSession.h"
#include "cli/RenderJob.h"
#include "cli/RenderOptions.h"
#include "standin/SubstituteHost.h"
#include "cli/System.h"
#include "cli/TextEncoding.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;

namespace {

const char* const kUsage =
    "usage: solvane [--plugin PATH] [--quiet] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  render IN OUT [options]           apply the effect to an image (IN.png OUT.png), a\n"
    "                                    numbered sequence (--frames) or raw video (--raw)\n"
    "  params [--language TAG]           list the effect's parameters as the host shows them\n"
    "  about                             print the plug-in's About text\n"
    "  info [PLUGIN]                     decode the plug-in's registration resource\n"
    "  devices                           list the devices the plug-in can render on, and the\n"
    "                                    one it takes (SOLVANE_EGL_DEVICE chooses)\n"
    "  version                           print solvane's version (also --version)\n"
    "  help                              this text\n"
    "  --quiet (before or after COMMAND) drops the plug-in's OpenGL lines and the progress line;\n"
    "  every option takes its value as the next argument or after '=' (--center=-40,30)\n"
    "\n"
    "render options:\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int about(const std::string& pluginPath, bool quiet)
{
    StandIn::PluginLibrary library(pluginPath);
    StandIn::SubstituteHost host(library.entryPoint());
    std::string text;
    PF_Err error = PF_Err_NONE;
    {
        StandIn::DiagnosticsToStderr diagnostics(quiet ? StandIn::DiagnosticsToStderr::Target::Discard
                                                       : StandIn::DiagnosticsToStderr::Target::StandardError);
        error = host.about(text);
    }
    if (error != PF_Err_NONE) {
        throw std::runtime_error("About failed: " + StandIn::describeError(error));
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int info(const std::string& pluginPath)
{
    const StandIn::PiplInfo pipl = StandIn::decodePiplOf(pluginPath, StandIn::PluginLibrary::readRegistrationResource(pluginPath));
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

int params(const std::string& pluginPath, const std::vector<std::string>& args, bool quiet)
{
    // The same --language as the render command's, in both of its forms.
    RenderOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const OptionArgument split = splitOption(args[i]);
        if (split.name != "--language") {
            throw UsageError("params: unexpected argument '" + args[i] + "'");
        }
        try {
            if (!parseRenderOption(args, i, options)) {
                throw UsageError("params: unexpected argument '" + args[i] + "'");
            }
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("params: ") + e.what());
        }
    }
    const std::string& language = options.language;
    std::vector<StandIn::HostParameter> parameters;
    {
        StandIn::DiagnosticsToStderr diagnostics(quiet ? StandIn::DiagnosticsToStderr::Target::Discard
                                                       : StandIn::DiagnosticsToStderr::Target::StandardError);
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

int render(const std::string& pluginPath, std::vector<std::string> args, bool quiet)
{
    if (quiet) {
        args.push_back("--quiet");
    }
    std::unique_ptr<RenderJob> job;
    try {
        job = std::make_unique<RenderJob>(pluginPath, args);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
    job->run();
    return 0;
}

bool isQuiet(const std::string& argument) { return argument == "--quiet" || argument == "-q"; }

// What a command printed must have reached standard output: a listing that could not be written is a failure.
int finishedOutput(int status)
{
    if (!System::flushStandardOutput()) {
        throw std::runtime_error("standard output: cannot write: " + System::errorText());
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // A signal removes the temporary file of the output being written; a closed pipe is a write error.
    System::removeFilesInFlightOnSignal();

    std::vector<std::string> args(argv + 1, argv + argc);
    std::string pluginPath;
    bool quiet = false;
    std::size_t first = 0;
    for (; first < args.size(); ++first) {
        const OptionArgument split = splitOption(args[first]);
        if (isQuiet(args[first])) {
            quiet = true;
        } else if (split.name == "--plugin") {
            if (split.value) {
                pluginPath = *split.value;
            } else if (first + 1 < args.size()) {
                pluginPath = args[++first];
            } else {
                std::fprintf(stderr, "solvane: --plugin needs a path\n");
                return 2;
            }
        } else {
            break;
        }
    }
    if (first >= args.size()) {
        std::fprintf(stderr, "%s%s%s", kUsage, kRenderOptionsHelp, kRenderJobOptionsHelp);
        return 2;
    }
    const std::string command = args[first];
    std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(first) + 1, args.end());
    // --quiet is every command's; the render command reads its own.
    if (command != "render") {
        const auto end = std::remove_if(rest.begin(), rest.end(), isQuiet);
        quiet = quiet || end != rest.end();
        rest.erase(end, rest.end());
    }
    if (pluginPath.empty()) {
        pluginPath = installedPluginPath();
    }

    try {
        if (command == "help" || command == "--help" || command == "-h") {
            std::printf("%s%s%s", kUsage, kRenderOptionsHelp, kRenderJobOptionsHelp);
            return finishedOutput(0);
        }
        if (command == "version" || command == "--version") {
            if (!rest.empty()) {
                throw UsageError("version: unexpected argument '" + rest[0] + "'");
            }
            return finishedOutput(printVersion());
        }
        if (command == "about") {
            if (!rest.empty()) {
                throw UsageError("about: unexpected argument '" + rest[0] + "'");
            }
            return finishedOutput(about(pluginPath, quiet));
        }
        if (command == "info") {
            if (rest.size() > 1) {
                throw UsageError("info: expected at most one plug-in path");
            }
            return finishedOutput(info(rest.empty() ? pluginPath : rest[0]));
        }
        if (command == "params") {
            return finishedOutput(params(pluginPath, rest, quiet));
        }
        if (command == "devices") {
            if (!rest.empty()) {
                throw UsageError("devices: expected no arguments");
            }
            return listDevices();
        }
        if (command == "render") {
            return render(pluginPath, rest, quiet);
        }
        throw UsageError("unknown command '" + command + "'");
    } catch (const UsageError& e) {
        std::fprintf(stderr, "solvane: %s\n(run 'solvane help' for usage)\n", e.what());
        return 2;
    } catch (const StandIn::GlobalSetUpError& e) {
        // The plug-in answers with a code alone; the cause is looked for here.
        const std::string cause = openGlTrouble();
        std::fflush(stdout);
        std::fprintf(stderr, "solvane: error: %s%s%s\n", e.what(), cause.empty() ? "" : ": ", cause.c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "solvane: error: %s\n", e.what());
        return 1;
    }
}
