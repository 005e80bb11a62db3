#pragma once

#include <cstdio>
#include <string>

#include "standin/HostWorld.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// Frames of raw video from a stream, as ffmpeg writes them with "-f rawvideo
// -pix_fmt argb": width × height pixels of 4 bytes, alpha, red, green, blue (the
// host's own order), rows top first, nothing between frames. Does not own the stream.
class RawVideoReader {
public:
    // `name` names the stream in messages ("standard input" or a file).
    RawVideoReader(std::FILE* stream, int width, int height, std::string name);

    // Reads the next frame into a world of the reader's size. False at the end of the
    // stream before a frame's first byte; throws std::runtime_error for a frame that
    // ends early (a short last frame is an error, not a silent drop) or a read error.
    bool read(StandIn::HostWorld& world);

    // Whether the stream ends before another frame's first byte: waits for that byte
    // and leaves it unread. Throws std::runtime_error for a read error.
    bool atEnd();

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t frameBytes() const { return static_cast<std::size_t>(width_) * height_ * 4; }

private:
    std::FILE* stream_;
    int width_, height_;
    std::string name_;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
