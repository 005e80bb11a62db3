#include "cli/FrameSources.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "cli/PngImage.h"
#include "cli/RenderOptions.h"
#include "standin/DiagnosticsToStderr.h"
#include "standin/HostWorld.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

bool isStream(const std::string& name) { return name == "-"; }

} // namespace

ImageFileSource::ImageFileSource(const std::string& pattern, std::vector<long> numbers)
    : pattern_(pattern), numbers_(std::move(numbers))
{
}

namespace {

// Whether the file is a regular file whose first bytes say PNG of 8 bits with no colour profile: such a file is read
// straight into a spare world. The bytes of anything else (a FIFO among them) are read once, whatever they hold.
bool isPlainPngFile(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    std::vector<std::uint8_t> head(1 << 16);
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
    const std::optional<ImageFormat> format = formatOfBytes(head.data(), head.size());
    return format && *format == ImageFormat::Png && !pngHoldsMore(head.data(), head.size());
}

} // namespace

bool ImageFileSource::read(long index, PipelineFrame& frame)
{
    if (index >= static_cast<long>(numbers_.size())) {
        return false;
    }
    frame.number = numbers_[static_cast<std::size_t>(index)];
    frame.source = pattern_.path(frame.number);
    frame.extras.reset();
    const ImageSizeLimit limit{kLargestFrameSide, kLargestFrameSide};
    StandIn::HostWorld* spare = frame.input.get();
    if (isPlainPngFile(frame.source)) {
        // A world a finished frame left is filled straight from the file when its size fits.
        bool filled = false;
        const RgbaImage image = readPngInto(frame.source, limit, spare ? spare->row(0) : nullptr,
                                            spare ? static_cast<std::size_t>(spare->rowbytes()) : 0,
                                            spare ? spare->width() : 0, spare ? spare->height() : 0, &filled);
        if (!filled) {
            frame.input = std::make_unique<StandIn::HostWorld>(image.width, image.height);
            frame.input->setFromRgba(image.pixels.data());
        }
        return true;
    }
    DecodedImage decoded = readImage(frame.source, limit);
    if (!decoded.note.empty() && !noted_) {
        std::fprintf(stderr, "solvane: %s\n", decoded.note.c_str());
        noted_ = true;
    }
    if (!spare || spare->width() != decoded.image.width || spare->height() != decoded.image.height) {
        frame.input = std::make_unique<StandIn::HostWorld>(decoded.image.width, decoded.image.height);
    }
    frame.input->setFromRgba(decoded.image.pixels.data());
    if (!decoded.extras.deep.empty() || !decoded.extras.iccProfile.empty()) {
        frame.extras = std::make_shared<const ImageExtras>(std::move(decoded.extras));
    }
    return true;
}

ImageFileSink::ImageFileSink(const std::string& pattern, ImageFormat format, const ImageWriteOptions& options)
    : pattern_(pattern), format_(format), options_(options)
{
}

void ImageFileSink::write(PipelineFrame& frame)
{
    const StandIn::HostWorld& world = *frame.output;
    ArgbFrame argb;
    argb.width = world.width();
    argb.height = world.height();
    argb.firstRow = world.row(0);
    argb.rowBytes = static_cast<std::size_t>(world.rowbytes());
    argb.extras = frame.extras.get();
    const std::string path = pattern_.path(frame.number);
    bool alphaDropped = false;
    writeImageAtomically(path, format_, argb, options_, &alphaDropped);
    if (alphaDropped && !alphaNoted_) {
        std::fprintf(stderr, "solvane: %s: JPEG holds no alpha; transparent pixels are composed over black\n",
                     path.c_str());
        alphaNoted_ = true;
    }
}

RawVideoSource::RawVideoSource(const std::string& name, int width, int height, long firstFrame)
    : name_(isStream(name) ? "standard input" : name), width_(width), height_(height), firstFrame_(firstFrame)
{
    if (isStream(name)) {
        StandIn::DiagnosticsToStderr::binaryStdin();
        file_ = stdin;
    } else if (!(file_ = std::fopen(name.c_str(), "rb"))) {
        throw std::runtime_error(name + ": cannot open: " + std::strerror(errno));
    }
    reader_ = std::make_unique<RawVideoReader>(file_, width_, height_, name_);
}

RawVideoSource::~RawVideoSource()
{
    reader_.reset();
    if (file_ && file_ != stdin) {
        std::fclose(file_);
    }
}

bool RawVideoSource::read(long index, PipelineFrame& frame)
{
    frame.number = firstFrame_ + index;
    frame.source = name_;
    // A frame's memory is taken only once its data begins to arrive.
    if (reader_->atEnd()) {
        return false;
    }
    if (!frame.input || frame.input->width() != width_ || frame.input->height() != height_) {
        frame.input = std::make_unique<StandIn::HostWorld>(width_, height_);
    }
    return reader_->read(*frame.input);
}

RawVideoSink::RawVideoSink(const std::string& name, std::FILE* standardOutput)
    : name_(isStream(name) ? "standard output" : name)
{
    if (isStream(name)) {
        if (!(stream_ = standardOutput)) {
            throw std::runtime_error("standard output: cannot open for frames");
        }
    } else {
        file_ = std::make_unique<OutputFile>(name);
        stream_ = file_->file();
    }
    std::setvbuf(stream_, nullptr, _IOFBF, 1 << 20);
    writer_ = std::make_unique<RawVideoWriter>(stream_, name_);
}

RawVideoSink::~RawVideoSink()
{
    writer_.reset();
    if (stream_ && !file_) {
        std::fclose(stream_);
    }
}

void RawVideoSink::write(PipelineFrame& frame) { writer_->write(*frame.output); }

void RawVideoSink::finish()
{
    if (file_) {
        file_->commit();
    } else if (std::fflush(stream_) != 0) {
        throw std::runtime_error(name_ + ": cannot write: " + std::strerror(errno));
    }
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
