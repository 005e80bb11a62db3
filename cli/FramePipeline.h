#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "standin/HostThreadPool.h"
#include "standin/HostWorld.h"
#include "standin/SubstituteHost.h"
#include "cli/WorldPool.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

struct ImageExtras;

// One frame on its way through the pipeline.
struct PipelineFrame {
    long number = 0;     // the frame number: host time is number × time step
    std::string source;  // where the frame came from, for messages
    std::unique_ptr<StandIn::HostWorld> input;
    std::unique_ptr<StandIn::HostWorld> output;
    // What the input file held beside its 8-bit pixels (16-bit samples, a colour profile), for the writer; may be
    // null.
    std::shared_ptr<const ImageExtras> extras;
};

// A failure of one frame: its number and what went wrong (the message names the file).
class FrameError : public std::runtime_error {
public:
    FrameError(long frame, const std::string& message) : std::runtime_error(message), frame_(frame) {}
    long frame() const { return frame_; }

private:
    long frame_;
};

// Frames read, rendered through the plug-in and written, in order, as a host renders
// a layer: every render goes to the host's thread pool, one at a time, at the frame's
// time. With overlap on, reading (decoding) runs ahead on a thread of its own and
// writing (encoding) behind on another, each at most two frames away, while the
// plug-in renders; with it off, every step of a frame follows the last on one thread.
// A failure stops the run after every earlier frame has been written, and no later
// frame is.
class FramePipeline {
public:
    struct Stages {
        // Reads the frame with this index (0, 1, ...): sets its number and source and
        // fills its input world. The frame may arrive holding a world an earlier frame
        // has finished with (any size, old pixels): the stage fills all of it when its
        // size fits, or replaces it. False when there are no more frames.
        std::function<bool(long index, PipelineFrame& frame)> read;
        // Writes the frame's output world.
        std::function<void(PipelineFrame& frame)> write;
        // After each frame written, with the count of frames done; may be empty.
        std::function<void(const PipelineFrame& frame, long done)> written;
    };

    // Seconds spent in each stage, summed over the frames, and from start to end.
    struct Timings {
        double read = 0, render = 0, write = 0, wall = 0;
        long frames = 0;
    };

    FramePipeline(StandIn::SubstituteHost& host, StandIn::HostThreadPool& threads);

    void setOverlap(bool overlap) { overlap_ = overlap; }

    // Runs until the reader has no more frames; returns the number of frames written.
    // Throws FrameError for the first frame that fails.
    long run(const Stages& stages);

    const Timings& timings() const { return timings_; }

    // The worlds finished frames hand back to the next ones.
    WorldPool& worlds() { return worlds_; }

private:
    void render(PipelineFrame& frame);
    long runInTurn(const Stages& stages);
    long runOverlapped(const Stages& stages);

    StandIn::SubstituteHost& host_;
    StandIn::HostThreadPool& threads_;
    bool overlap_ = true;
    Timings timings_;
    WorldPool worlds_;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
