#pragma once

// Where a render command's frames come from and where they go: numbered or single image files (PNG, JPEG, TIFF,
// WebP), or a stream of raw video. RenderJob plans the frames and drives one source and one sink through the frame pipeline.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/FramePattern.h"
#include "cli/FramePipeline.h"
#include "cli/ImageFile.h"
#include "cli/OutputFile.h"
#include "cli/RawVideoReader.h"
#include "cli/RawVideoWriter.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Fills the index-th frame to render (its number, its source's name and its input world); false when there is
    // none. Throws std::runtime_error naming the source.
    virtual bool read(long index, PipelineFrame& frame) = 0;
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void write(PipelineFrame& frame) = 0;
    // Makes every written frame final once the render has succeeded (a file renamed into place, a stream
    // flushed). Throws std::runtime_error with the reason.
    virtual void finish() {}
};

// The frames `numbers` of an image file or numbered sequence of image files, each read in the format its first bytes
// show. A remark about a file (a multi-page TIFF) is made once on standard error.
class ImageFileSource : public FrameSource {
public:
    ImageFileSource(const std::string& pattern, std::vector<long> numbers);
    bool read(long index, PipelineFrame& frame) override;

private:
    FramePattern pattern_;
    std::vector<long> numbers_;
    bool noted_ = false;
};

// Each frame to the image file of its number, in the format the pattern's extension names, written beside it and
// renamed into place when complete. JPEG's dropped alpha is said once on standard error.
class ImageFileSink : public FrameSink {
public:
    ImageFileSink(const std::string& pattern, ImageFormat format, const ImageWriteOptions& options);
    void write(PipelineFrame& frame) override;

private:
    FramePattern pattern_;
    ImageFormat format_;
    ImageWriteOptions options_;
    bool alphaNoted_ = false;
};

// Frames of width x height from a raw video file, or standard input for "-"; the first is numbered firstFrame.
class RawVideoSource : public FrameSource {
public:
    RawVideoSource(const std::string& name, int width, int height, long firstFrame);
    ~RawVideoSource() override;
    RawVideoSource(const RawVideoSource&) = delete;
    RawVideoSource& operator=(const RawVideoSource&) = delete;

    bool read(long index, PipelineFrame& frame) override;
    const std::string& name() const { return name_; }

private:
    std::FILE* file_ = nullptr;
    std::string name_; // for messages: "standard input" for "-"
    int width_;
    int height_;
    long firstFrame_;
    std::unique_ptr<RawVideoReader> reader_;
};

// Frames to a raw video file (replaced when complete, as every output is) or to the stream given for standard output.
class RawVideoSink : public FrameSink {
public:
    // `standardOutput` is the stream for frames on standard output, taken when `name` is "-".
    RawVideoSink(const std::string& name, std::FILE* standardOutput);
    ~RawVideoSink() override;
    RawVideoSink(const RawVideoSink&) = delete;
    RawVideoSink& operator=(const RawVideoSink&) = delete;

    void write(PipelineFrame& frame) override;
    void finish() override;

private:
    std::FILE* stream_ = nullptr;
    std::unique_ptr<OutputFile> file_;
    std::string name_; // for messages: "standard output" for "-"
    std::unique_ptr<RawVideoWriter> writer_;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
