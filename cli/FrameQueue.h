#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// A first-in first-out hand-over between two pipeline stages, holding at most a few
// items so that a fast stage waits for a slow one instead of filling memory.
// close(): no more items come; what is queued is still taken. abort(): stop now.
template <typename T>
class FrameQueue {
public:
    explicit FrameQueue(std::size_t capacity) : capacity_(capacity) {}

    // False when the queue was closed or aborted; the item is dropped then.
    bool push(T item)
    {
        std::unique_lock<std::mutex> guard(lock_);
        room_.wait(guard, [&] { return items_.size() < capacity_ || closed_ || aborted_; });
        if (closed_ || aborted_) {
            return false;
        }
        items_.push_back(std::move(item));
        ready_.notify_one();
        return true;
    }

    // False when nothing more will come.
    bool pop(T& item)
    {
        std::unique_lock<std::mutex> guard(lock_);
        ready_.wait(guard, [&] { return !items_.empty() || closed_ || aborted_; });
        if (aborted_ || items_.empty()) {
            return false;
        }
        item = std::move(items_.front());
        items_.pop_front();
        room_.notify_one();
        return true;
    }

    void close()
    {
        std::lock_guard<std::mutex> guard(lock_);
        closed_ = true;
        ready_.notify_all();
        room_.notify_all();
    }

    void abort()
    {
        std::lock_guard<std::mutex> guard(lock_);
        aborted_ = true;
        items_.clear();
        ready_.notify_all();
        room_.notify_all();
    }

private:
    std::size_t capacity_;
    std::mutex lock_;
    std::condition_variable ready_, room_;
    std::deque<T> items_;
    bool closed_ = false;
    bool aborted_ = false;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
