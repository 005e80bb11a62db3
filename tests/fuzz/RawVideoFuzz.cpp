// The raw-video reader on an arbitrary stream: the first two bytes give the frame size (1 to 64 pixels a side), the
// rest is the stream. Every frame is read whole, or the stream ends cleanly between frames, or a std::runtime_error
// says it ends inside one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "cli/RawVideoReader.h"
#include "standin/HostWorld.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace Tamrin::Solvane;
    if (size < 3) {
        return 0;
    }
    const int width = data[0] % 64 + 1;
    const int height = data[1] % 64 + 1;
    std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data + 2), size - 2, "rb");
    if (!stream) {
        return 0;
    }
    Cli::RawVideoReader reader(stream, width, height, "input");
    StandIn::HostWorld world(width, height, static_cast<int>(data[0] % 3) * 4);
    std::size_t frames = 0;
    try {
        while (reader.read(world)) {
            ++frames;
            if (!world.paddingIntact()) {
                __builtin_trap();
            }
        }
        if (frames * reader.frameBytes() != size - 2) {
            __builtin_trap(); // a clean end must come exactly after the last whole frame
        }
    } catch (const std::runtime_error&) {
        if ((size - 2) % reader.frameBytes() == 0) {
            __builtin_trap(); // only a partial last frame is an error
        }
    }
    std::fclose(stream);
    return 0;
}
