#include "cli/RawVideoReader.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace Cli {

RawVideoReader::RawVideoReader(std::FILE* stream, int width, int height, std::string name)
    : stream_(stream), width_(width), height_(height), name_(std::move(name))
{
    if (width < 1 || height < 1) {
        throw std::invalid_argument("raw video needs a frame size of at least 1x1");
    }
}

bool RawVideoReader::atEnd()
{
    const int byte = std::getc(stream_);
    if (byte == EOF) {
        if (std::ferror(stream_)) {
            throw std::runtime_error(name_ + ": cannot read: " + std::strerror(errno));
        }
        return true;
    }
    std::ungetc(byte, stream_);
    return false;
}

bool RawVideoReader::read(StandIn::HostWorld& world)
{
    if (world.width() != width_ || world.height() != height_) {
        throw std::logic_error("raw video read into a world of another size");
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    std::size_t got = 0;
    for (int y = 0; y < height_; ++y) {
        const std::size_t n = std::fread(world.row(y), 1, rowBytes, stream_);
        got += n;
        if (n == rowBytes) {
            continue;
        }
        if (std::ferror(stream_)) {
            throw std::runtime_error(name_ + ": cannot read: " + std::strerror(errno));
        }
        if (got == 0) {
            return false;
        }
        throw std::runtime_error(name_ + ": the stream ends inside a frame: " + std::to_string(got) + " of " +
                                 std::to_string(frameBytes()) + " bytes (" + std::to_string(width_) + "x" +
                                 std::to_string(height_) + " ARGB)");
    }
    return true;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
