#pragma once

// The commands of `solvane`: one table, from which both `solvane help` and the dispatch in main.cpp come. A command
// is a row of the table (Commands.cpp) and a function in a source file of its own (AboutCommand.cpp, ...).

#include <stdexcept>
#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// A mistake in the command line: reported with a pointer to `solvane help`, exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What a command runs with: the plug-in to load, the arguments after the command's name, and whether --quiet and
// --verbose were given (before or after the name).
struct CommandContext {
    std::string pluginPath;
    std::vector<std::string> args;
    bool quiet = false;
    bool verbose = false;
};

struct Command {
    const char* name;
    const char* aliases;  // other names, separated by spaces ("" for none)
    const char* synopsis; // the name and its arguments, as `solvane help` shows them
    const char* summary;  // one line (or a few, separated by '\n') for `solvane help`
    int (*run)(const CommandContext& context);
    // The command prints a listing on standard output: a listing that cannot be written fails the command.
    bool listing;
    // The command reads --quiet and --verbose among its own arguments (render passes them on to its options).
    bool readsQuiet;
};

// Every command, in the order `solvane help` lists them.
const std::vector<Command>& commands();

// The command of this name or alias; null when there is none.
const Command* findCommand(const std::string& name);

// What every usage line has before the command: "solvane [--plugin PATH] ...", the options every command takes.
std::string globalUsage();

// The whole `solvane help` text: the commands from the table, then the render options.
std::string usageText();

// `solvane help COMMAND` (and `solvane COMMAND --help`): the command's usage and summary, and for render its options.
std::string commandHelpText(const Command& command);

int aboutCommand(const CommandContext& context);
int devicesCommand(const CommandContext& context);
int helpCommand(const CommandContext& context);
int infoCommand(const CommandContext& context);
int paramsCommand(const CommandContext& context);
int renderCommand(const CommandContext& context);
int versionCommand(const CommandContext& context);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
