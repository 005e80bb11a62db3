#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/FramePattern.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// One of N equal, contiguous chunks of a frame range, as a render farm hands them
// out: chunk K of N (K from 1 to N), so an array task passes its own index.
struct FrameChunk {
    long index = 1;
    long count = 1;
};

// "K/N" with 1 <= K <= N <= 1000000; throws std::invalid_argument.
FrameChunk parseFrameChunk(const std::string& text);

// The frames of chunk K of N: the range cut at first + floor(i × count / N) for
// i = 0 .. N, so chunks differ in size by at most one frame, follow each other in
// order and together are the whole range. Empty (nullopt) where N is larger than
// the number of frames and this chunk has none.
std::optional<FrameRange> chunkOf(const FrameRange& range, const FrameChunk& chunk);

// Whether a frame's output is already there in full: a regular file (or a link to
// one) under its name. Outputs are written to a temporary file beside the target
// and renamed into place when complete, so a file under the target's own name is
// a finished frame; the temporary files have other names and never count.
bool outputIsComplete(const std::string& path);

// The frame numbers a sequence run renders, in order: the range, or its chunk, less
// the frames whose output `complete` finds already there when `skipExisting`.
std::vector<long> framesToRender(const FrameRange& range, const std::optional<FrameChunk>& chunk,
                                 bool skipExisting, const FramePattern& output,
                                 const std::function<bool(const std::string&)>& complete = outputIsComplete);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
