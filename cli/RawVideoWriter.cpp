#include "cli/RawVideoWriter.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace Cli {

RawVideoWriter::RawVideoWriter(std::FILE* stream, std::string name) : stream_(stream), name_(std::move(name)) {}

void RawVideoWriter::write(const StandIn::HostWorld& world)
{
    const std::size_t rowBytes = static_cast<std::size_t>(world.width()) * 4;
    for (int y = 0; y < world.height(); ++y) {
        if (std::fwrite(world.row(y), 1, rowBytes, stream_) != rowBytes) {
            throw std::runtime_error(name_ + ": cannot write: " + std::strerror(errno));
        }
    }
    if (std::fflush(stream_) != 0) {
        throw std::runtime_error(name_ + ": cannot write: " + std::strerror(errno));
    }
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
