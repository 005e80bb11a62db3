#include "cli/Commands.h"

#include <algorithm>
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
        {"help", "--help -h", "help [COMMAND]", "the usage of every command, or of one (also COMMAND --help)",
         helpCommand, true, false},
    };
    return table;
}

std::string globalUsage() { return "solvane [--plugin PATH] [--quiet] [--verbose]"; }

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
    std::string text = "usage: " + globalUsage() + " COMMAND [ARGS]\n\ncommands:\n";
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
            "  --verbose adds the plug-in's identification of its OpenGL contexts (shown with every failure);\n"
            "  every option takes its value as the next argument or after '=' (--center=-40,30)\n"
            "\n"
            "render options:\n";
    text += renderOptionsHelp();
    return text;
}

std::string commandHelpText(const Command& command)
{
    std::string text = "usage: " + globalUsage() + " " + command.synopsis + "\n";
    std::istringstream aliases(command.aliases);
    for (std::string alias; aliases >> alias;) {
        text += "       solvane " + alias + "\n";
    }
    text += "\n";
    std::string summary = command.summary;
    std::replace(summary.begin(), summary.end(), '\n', ' ');
    text += summary + "\n";
    if (command.run == renderCommand) {
        text += "\noptions:\n" + renderOptionsHelp();
    }
    return text;
}

int helpCommand(const CommandContext& context)
{
    if (context.args.size() > 1) {
        throw UsageError("help: unexpected argument '" + context.args[1] + "'");
    }
    const Command* command = context.args.empty() ? nullptr : findCommand(context.args[0]);
    if (!context.args.empty() && command == nullptr) {
        throw UsageError("help: unknown command '" + context.args[0] + "'");
    }
    const std::string text = command != nullptr ? commandHelpText(*command) : usageText();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
