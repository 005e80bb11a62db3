// solvane render: the effect applied to an image, a numbered sequence or raw video (RenderJob).
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/RenderJob.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

int renderCommand(const CommandContext& context)
{
    std::vector<std::string> args = context.args;
    const bool quiet = context.quiet;
    if (quiet) {
        args.push_back("--quiet");
    }
    if (context.verbose) {
        args.push_back("--verbose");
    }
    std::unique_ptr<RenderJob> job;
    try {
        job = std::make_unique<RenderJob>(context.pluginPath, args);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
    job->run();
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
