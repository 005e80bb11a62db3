// solvane: loads the Ostrel Solvane plug-in the way the compositing host does and
// drives its commands; applies the effect to images. The commands are the table of
// cli/Commands.cpp; this is their dispatch.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/PluginLocation.h"
#include "cli/RenderOptions.h"
#include "cli/System.h"
#include "standin/PluginLibrary.h"
#include "standin/PluginClient.h"
#include "standin/PluginSession.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;

namespace {

bool isQuiet(const std::string& argument) { return argument == "--quiet" || argument == "-q"; }
bool isVerbose(const std::string& argument) { return argument == "--verbose" || argument == "-v"; }
bool isHelp(const std::string& argument) { return argument == "--help" || argument == "-h"; }

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
    CommandContext context;
    std::size_t first = 0;
    for (; first < args.size(); ++first) {
        const OptionArgument split = splitOption(args[first]);
        if (isQuiet(args[first])) {
            context.quiet = true;
        } else if (isVerbose(args[first])) {
            context.verbose = true;
        } else if (split.name == "--plugin") {
            if (split.value) {
                context.pluginPath = *split.value;
            } else if (first + 1 < args.size()) {
                context.pluginPath = args[++first];
            } else {
                std::fprintf(stderr, "solvane: --plugin needs a path\n");
                return 2;
            }
            // An empty path would otherwise quietly stand for the installed plug-in.
            if (context.pluginPath.empty()) {
                std::fprintf(stderr, "solvane: --plugin: empty path\n(run 'solvane help' for usage)\n");
                return 2;
            }
        } else {
            break;
        }
    }
    if (first >= args.size()) {
        std::fputs(usageText().c_str(), stderr);
        return 2;
    }
    const std::string name = args[first];
    context.args.assign(args.begin() + static_cast<std::ptrdiff_t>(first) + 1, args.end());
    const Command* command = findCommand(name);
    // --quiet and --verbose are every command's; a command that reads its own keeps them among its arguments.
    if (command == nullptr || !command->readsQuiet) {
        auto end = std::remove_if(context.args.begin(), context.args.end(), isQuiet);
        context.quiet = context.quiet || end != context.args.end();
        context.args.erase(end, context.args.end());
        end = std::remove_if(context.args.begin(), context.args.end(), isVerbose);
        context.verbose = context.verbose || end != context.args.end();
        context.args.erase(end, context.args.end());
    }
    // "COMMAND --help" is "help COMMAND".
    if (command != nullptr && command->run != helpCommand &&
        std::any_of(context.args.begin(), context.args.end(), isHelp)) {
        context.args = {command->name};
        command = findCommand("help");
    }
    if (context.pluginPath.empty()) {
        context.pluginPath = installedPluginPath();
    }

    try {
        if (command == nullptr) {
            throw UsageError("unknown command '" + name + "'");
        }
        const int status = command->run(context);
        return command->listing ? finishedOutput(status) : status;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "solvane: %s\n(run 'solvane help' for usage)\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        // A failed global set-up is the plug-in's code alone: the cause is looked for.
        std::fflush(stdout);
        std::fprintf(stderr, "solvane: error: %s\n", StandIn::setUpFailure(e, "").c_str());
        return 1;
    }
}
