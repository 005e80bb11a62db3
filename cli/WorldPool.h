#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "standin/HostWorld.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// Host worlds that a pipeline has finished with, kept for the next frames, so that a
// sequence allocates (and the host zero-fills) its worlds once rather than twice per
// frame. A world handed out again holds an earlier frame's pixels: every stage that
// takes one writes all of its pixels. Safe to use from the pipeline's threads at once.
class WorldPool {
public:
    explicit WorldPool(std::size_t capacity = 6) : capacity_(capacity) {}

    // A kept world of this size, or a new one when none is kept.
    std::unique_ptr<StandIn::HostWorld> take(int width, int height);

    // The world kept last, whatever its size, or null: for a stage that learns the
    // size only as it reads.
    std::unique_ptr<StandIn::HostWorld> takeAny();

    // Keeps the world for later (null is ignored); beyond the capacity the oldest kept
    // one is freed.
    void give(std::unique_ptr<StandIn::HostWorld> world);

    std::size_t kept() const;

private:
    mutable std::mutex lock_;
    std::size_t capacity_;
    std::vector<std::unique_ptr<StandIn::HostWorld>> worlds_;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
