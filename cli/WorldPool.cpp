#include "cli/WorldPool.h"

#include <iterator>

namespace Tamrin {
namespace Solvane {
namespace Cli {

std::unique_ptr<StandIn::HostWorld> WorldPool::take(int width, int height)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto it = worlds_.rbegin(); it != worlds_.rend(); ++it) {
            if ((*it)->width() == width && (*it)->height() == height) {
                std::unique_ptr<StandIn::HostWorld> world = std::move(*it);
                worlds_.erase(std::next(it).base());
                return world;
            }
        }
    }
    return std::make_unique<StandIn::HostWorld>(width, height);
}

std::unique_ptr<StandIn::HostWorld> WorldPool::takeAny()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (worlds_.empty()) {
        return nullptr;
    }
    std::unique_ptr<StandIn::HostWorld> world = std::move(worlds_.back());
    worlds_.pop_back();
    return world;
}

void WorldPool::give(std::unique_ptr<StandIn::HostWorld> world)
{
    if (!world) {
        return;
    }
    std::unique_ptr<StandIn::HostWorld> dropped;
    std::lock_guard<std::mutex> guard(lock_);
    if (capacity_ == 0) {
        return;
    }
    if (worlds_.size() == capacity_) {
        // Freed after the lock is let go (declared before the guard).
        dropped = std::move(worlds_.front());
        worlds_.erase(worlds_.begin());
    }
    worlds_.push_back(std::move(world));
}

std::size_t WorldPool::kept() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return worlds_.size();
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
