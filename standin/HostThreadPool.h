#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// Host threads that take the plug-in's commands in turn, as a host may send
// successive renders from different threads: one piece of work at a time, each on
// the next thread of the pool, the caller waiting until it is done. The threads live
// as long as the pool, so a plug-in that keeps state per thread (an OpenGL context)
// sees the same few threads again and again.
class HostThreadPool {
public:
    explicit HostThreadPool(int threads);
    ~HostThreadPool();

    HostThreadPool(const HostThreadPool&) = delete;
    HostThreadPool& operator=(const HostThreadPool&) = delete;

    // Runs the work on the next thread in turn and waits for it. An exception thrown
    // by the work is rethrown here.
    void run(const std::function<void()>& work);

    int size() const { return static_cast<int>(workers_.size()); }

private:
    struct Worker {
        std::thread thread;
        const std::function<void()>* work = nullptr;
        std::exception_ptr error;
        bool done = false;
    };
    void serve(Worker& worker);

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::size_t next_ = 0;
    bool stopping_ = false;
};

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
