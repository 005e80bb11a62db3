// The render command's argument parser on arbitrary arguments (the bytes split at zero bytes): the options, their
// keyframes, frame ranges, frame rates and frame-number patterns. A parsed job or a std::invalid_argument (a usage
// error) are the only outcomes; every keyframed value is finite, and every frame of a range has a file name.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/FramePattern.h"
#include "cli/RenderJob.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace Tamrin::Solvane::Cli;
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    try {
        const RenderJob job("plugin", args);
        for (const auto& [index, track] : job.renderOptions().keyframes) {
            (void)index;
            for (const double frame : {-1.0e9, -1.0, 0.0, 0.5, 7.0, 1.0e9}) {
                for (const double value : track.valueAt(frame)) {
                    if (!std::isfinite(value)) {
                        __builtin_trap();
                    }
                }
            }
        }
        if (job.jobOptions().frames) {
            const FrameRange range = *job.jobOptions().frames;
            for (const std::string& name : args) {
                try {
                    const FramePattern pattern(name);
                    pattern.path(range.first);
                    pattern.path(range.last);
                } catch (const std::invalid_argument&) {
                }
            }
        }
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
