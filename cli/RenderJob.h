#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/FramePattern.h"
#include "cli/FramePipeline.h"
#include "cli/RenderOptions.h"
#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The render command of solvane: one image, a numbered sequence of image files, or a
// stream of raw video, rendered through one loaded plug-in (one global set-up, one
// parameter set-up, one render per frame, one set-down), as the host renders a layer.
class RenderJob {
public:
    // Parses the command's arguments: IN OUT and options. Throws std::invalid_argument
    // for a usage error.
    RenderJob(std::string pluginPath, const std::vector<std::string>& args);

    // Renders every frame: plans the frames, then drives the frame source and sink
    // (image files or raw video, FrameSources.h) through the frame pipeline. Throws
    // std::runtime_error naming the frame (in a sequence or a pipe) and the file;
    // frames before a failed one are complete, and no output file is left half-written.
    void run();

    // The numbers of the frames a PNG run renders, in order: its chunk of --frames,
    // less the outputs already there with --skip-existing (and what was left out said
    // on standard error); none for raw video, whose frames are counted as they come.
    std::optional<std::vector<long>> planFrames() const;

    const RenderOptions& renderOptions() const { return render_; }
    const RenderJobOptions& jobOptions() const { return job_; }
    // Where the last run's time went, from the first frame read to the last written.
    const FramePipeline::Timings& timings() const { return timings_; }

private:
    std::string pluginPath_;
    RenderOptions render_;
    RenderJobOptions job_;
    std::string in_, out_;
    FramePipeline::Timings timings_;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
