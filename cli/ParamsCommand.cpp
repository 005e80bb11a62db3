// solvane params: the effect's parameters as the host shows them, in the host's language.
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/PluginDiagnostics.h"
#include "cli/RenderOptions.h"
#include "cli/TextEncoding.h"
#include "standin/PluginSession.h"
#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

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

} // namespace

int paramsCommand(const CommandContext& context)
{
    const std::vector<std::string>& args = context.args;
    const bool quiet = context.quiet;
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
        PluginDiagnostics diagnostics(quiet, context.verbose);
        StandIn::PluginSession session(context.pluginPath, language);
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

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
