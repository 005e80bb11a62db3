#include "cli/Commands.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "cli/RenderOptions.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

// The column where the summaries start in `solvane help`.
constexpr std::size_t kSummaryColumn = 36;

} // namespace

const std::vector<Command>& commands()
{
    static const std::vector<Command> table = {
        {"render", "", "render IN OUT [options]",
         "apply the effect to an image (PNG, JPEG, TIFF, WebP),\na numbered sequence (--frames) or raw video (--raw)",
         renderCommand, false, true},
        {"params", "", "params [--language TAG]", "list the effect's parameters as the host shows them", paramsCommand,
         true, false},
        {"about", "", "about", "print the plug-in's About text", aboutCommand, true, false},
        {"info", "", "info [PLUGIN]", "decode the plug-in's registration resource", infoCommand, true, false},
        {"devices", "", "devices",
         "list the devices the plug-in can render on, and the\none it takes (SOLVANE_EGL_DEVICE chooses)",
         devicesCommand, false, false},
        {"version", "--version", "version", "print solvane's version (also --version)", versionCommand, true, false},
        {"help", "--help -h", "help", "this text", helpCommand, true, false},
    };
    return table;
}

const Command* findCommand(const std::string& name)
{
    for (const Command& command : commands()) {
        if (name == command.name) {
            return &command;
        }
        std::istringstream aliases(command.aliases);
        for (std::string alias; aliases >> alias;) {
            if (name == alias) {
                return &command;
            }
        }
    }
    return nullptr;
}

std::string usageText()
{
    std::string text = "usage: solvane [--plugin PATH] [--quiet] COMMAND [ARGS]\n\ncommands:\n";
    for (const Command& command : commands()) {
        std::string line = std::string("  ") + command.synopsis;
        line.resize(std::max(kSummaryColumn, line.size() + 1), ' ');
        std::istringstream summary(command.summary);
        bool first = true;
        for (std::string part; std::getline(summary, part);) {
            text += (first ? line : std::string(kSummaryColumn, ' ')) + part + "\n";
            first = false;
        }
    }
    text += "  --quiet (before or after COMMAND) drops the plug-in's OpenGL lines and the progress line;\n"
            "  every option takes its value as the next argument or after '=' (--center=-40,30)\n"
            "\n"
            "render options:\n";
    text += renderOptionsHelp();
    return text;
}

int helpCommand(const CommandContext&)
{
    const std::string text = usageText();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
