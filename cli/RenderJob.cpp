#include "cli/RenderJob.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "cli/FrameChunk.h"
#include "cli/FramePipeline.h"
#include "cli/ImageFile.h"
#include "cli/OutputFile.h"
#include "cli/PluginDiagnostics.h"
#include "standin/HostThreadPool.h"
#include "standin/PluginClient.h"
#include "standin/PluginSession.h"
#include "cli/PngImage.h"
#include "cli/ProgressLine.h"
#include "cli/FrameSources.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

bool isStream(const std::string& name) { return name == "-"; }

} // namespace

RenderJob::RenderJob(std::string pluginPath, const std::vector<std::string>& args)
    : pluginPath_(std::move(pluginPath))
{
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (parseRenderOption(args, i, render_, &job_)) {
            continue;
        }
        if (args[i].size() > 1 && args[i][0] == '-') {
            throw std::invalid_argument("render: unknown option '" + args[i] + "'");
        }
        files.push_back(args[i]);
    }
    if (files.size() != 2) {
        throw std::invalid_argument(job_.rawWidth ? "render: expected IN and OUT (- for standard input and output)"
                                                  : "render: expected IN and OUT image files");
    }
    in_ = files[0];
    out_ = files[1];

    if (job_.rawWidth) {
        if (job_.frames) {
            throw std::invalid_argument("render: --frames numbers files; raw video counts its frames from 0");
        }
        if (FramePattern(in_).numbered() || FramePattern(out_).numbered()) {
            throw std::invalid_argument("render: raw video is one stream; its names take no frame number");
        }
        if (job_.chunk || job_.skipExisting) {
            throw std::invalid_argument(std::string("render: ") + (job_.chunk ? "--chunk" : "--skip-existing") +
                                        " works on numbered PNG sequences; cut raw video into pieces before it"
                                        " reaches solvane (ffmpeg's select filter) and give each --first-frame");
        }
        return;
    }
    if (job_.firstFrame != 0) {
        throw std::invalid_argument("render: --first-frame numbers raw video; a sequence takes --frames FIRST-LAST");
    }
    if (isStream(in_) || isStream(out_)) {
        throw std::invalid_argument("render: - (standard input or output) carries raw video: add --raw WxH");
    }
    const FramePattern in(in_);
    const FramePattern out(out_);
    if (!formatForOutputName(out_)) {
        throw std::invalid_argument("render: " + out_ + ": the extension names no format solvane writes (" +
                                    writtenExtensions() + ")");
    }
    if ((in.numbered() || out.numbered()) && !job_.frames) {
        throw std::invalid_argument(
            "render: a numbered sequence needs --frames FIRST-LAST (a name with %d, # or @ numbers its frames)");
    }
    if (job_.frames && job_.frames->count() > 1 && !out.numbered()) {
        throw std::invalid_argument("render: " + out_ + ": more than one frame needs a frame number (%04d) in OUT");
    }
    if (job_.chunk && !out.numbered()) {
        throw std::invalid_argument("render: --chunk splits a numbered sequence (--frames FIRST-LAST and %04d in OUT);"
                                    " a single image has nothing to split");
    }
}

std::optional<std::vector<long>> RenderJob::planFrames() const
{
    if (job_.rawWidth > 0) {
        return std::nullopt;
    }
    const FrameRange range = job_.frames.value_or(FrameRange{0, 0});
    // A sequence's frames: its chunk of the range, less the outputs a run before has finished.
    // What was left out is said even with --quiet: it belongs in a render farm's task logs.
    std::vector<long> numbers = framesToRender(range, job_.chunk, job_.skipExisting, FramePattern(out_));
    const std::optional<FrameRange> chunk = job_.chunk ? chunkOf(range, *job_.chunk) : range;
    const long skipped = (chunk ? chunk->count() : 0) - static_cast<long>(numbers.size());
    if (!chunk) {
        std::fprintf(stderr, "solvane: chunk %ld of %ld of frames %ld-%ld has no frames\n", job_.chunk->index,
                     job_.chunk->count, range.first, range.last);
    }
    if (skipped > 0) {
        std::fprintf(stderr, "solvane: %ld of the frames are already there; rendering %ld\n", skipped,
                     static_cast<long>(numbers.size()));
    }
    return numbers;
}

void RenderJob::run()
{
    const bool raw = job_.rawWidth > 0;
    const bool sequence = raw || job_.frames.has_value();

    // The plug-in's diagnostic lines stay off standard output, which carries frames or nothing: a closed standard
    // output cannot stop a render, and frames on it stay clean. A quiet run drops them; its OpenGL identification
    // shows with --verbose or a failure.
    PluginDiagnostics diagnostics(job_.quiet, job_.verbose);
    // Raw video's streams are opened first, so that a name that cannot be opened fails before the plug-in loads.
    std::unique_ptr<FrameSource> source;
    std::unique_ptr<FrameSink> sink;
    long total = 0;
    if (raw) {
        auto rawSource = std::make_unique<RawVideoSource>(in_, job_.rawWidth, job_.rawHeight, job_.firstFrame);
        sink = std::make_unique<RawVideoSink>(out_, isStream(out_) ? diagnostics.frameStream() : nullptr);
        source = std::move(rawSource);
    } else {
        std::vector<long> numbers = *planFrames();
        if (numbers.empty()) {
            return;
        }
        total = static_cast<long>(numbers.size());
        source = std::make_unique<ImageFileSource>(in_, std::move(numbers));
        sink = std::make_unique<ImageFileSink>(out_, *formatForOutputName(out_), job_.image);
    }

    StandIn::PluginSession session(pluginPath_, render_.language);
    session.host().setFrameRate(job_.timeScale, job_.timeStep);
    applyRenderOptions(render_, session.host());

    FramePipeline::Stages stages;
    stages.read = [&](long index, PipelineFrame& frame) { return source->read(index, frame); };
    stages.write = [&](PipelineFrame& frame) { sink->write(frame); };
    ProgressLine progress(sequence && !job_.quiet && ProgressLine::stderrIsTerminal(), stderr);
    stages.written = [&](const PipelineFrame& frame, long done) {
        diagnostics.pass();
        progress.frameDone(frame.number, done, total);
    };

    long frames = 0;
    {
        StandIn::HostThreadPool threads(job_.hostThreads);
        FramePipeline pipeline(session.host(), threads);
        pipeline.setOverlap(job_.overlap);
        try {
            frames = pipeline.run(stages);
            timings_ = pipeline.timings();
        } catch (const FrameError& e) {
            progress.finish();
            // What the plug-in reported (a shader's or program's log) belongs with the error, quiet or not; the
            // lines before it go where the plug-in's lines go.
            const StandIn::PluginLines lines = StandIn::splitPluginLines(diagnostics.takeForFailure());
            diagnostics.forward(lines.before);
            const std::string reported =
                lines.report.empty() ? std::string() : "; the plug-in reported:\n" + lines.report;
            if (!sequence) {
                throw std::runtime_error(e.what() + reported);
            }
            throw std::runtime_error("frame " + std::to_string(e.frame()) + ": " + e.what() + reported);
        }
    }
    progress.finish();
    const PF_Err setDown = session.close();
    if (setDown != PF_Err_NONE) {
        throw std::runtime_error("the plug-in's global set-down failed: " + StandIn::describeError(setDown));
    }
    if (raw && frames == 0) {
        throw std::runtime_error((isStream(in_) ? std::string("standard input") : in_) + ": no frames (expected " +
                                 "frames of " + std::to_string(job_.rawWidth) + "x" + std::to_string(job_.rawHeight) +
                                 "x4 bytes)");
    }
    sink->finish();
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
