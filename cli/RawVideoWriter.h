#pragma once

#include <cstdio>
#include <string>

#include "standin/HostWorld.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// Frames of raw video onto a stream, in the layout RawVideoReader reads: the
// world's pixels without its row padding, each frame flushed whole so that a
// program reading the other end of a pipe gets it at once. Does not own the stream.
class RawVideoWriter {
public:
    RawVideoWriter(std::FILE* stream, std::string name);

    // Throws std::runtime_error when the stream takes less than the whole frame (the
    // reading program has gone, the disk is full).
    void write(const StandIn::HostWorld& world);

private:
    std::FILE* stream_;
    std::string name_;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
