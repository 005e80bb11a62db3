#include "standin/HostThreadPool.h"

#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

HostThreadPool::HostThreadPool(int threads)
{
    if (threads < 1) {
        throw std::invalid_argument("a host thread pool needs at least one thread");
    }
    for (int i = 0; i < threads; ++i) {
        workers_.push_back(std::make_unique<Worker>());
    }
    try {
        for (auto& worker : workers_) {
            Worker* w = worker.get();
            w->thread = std::thread([this, w] { serve(*w); });
        }
    } catch (...) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (auto& worker : workers_) {
            if (worker->thread.joinable()) {
                worker->thread.join();
            }
        }
        throw;
    }
}

HostThreadPool::~HostThreadPool()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& worker : workers_) {
        worker->thread.join();
    }
}

void HostThreadPool::run(const std::function<void()>& work)
{
    std::unique_lock<std::mutex> guard(lock_);
    Worker& worker = *workers_[next_];
    next_ = (next_ + 1) % workers_.size();
    worker.work = &work;
    worker.done = false;
    worker.error = nullptr;
    changed_.notify_all();
    changed_.wait(guard, [&] { return worker.done; });
    worker.work = nullptr;
    if (worker.error) {
        std::rethrow_exception(worker.error);
    }
}

void HostThreadPool::serve(Worker& worker)
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [&] { return stopping_ || (worker.work != nullptr && !worker.done); });
        if (worker.work == nullptr || worker.done) {
            return; // stopping with nothing to do
        }
        const std::function<void()>* work = worker.work;
        guard.unlock();
        std::exception_ptr error;
        try {
            (*work)();
        } catch (...) {
            error = std::current_exception();
        }
        guard.lock();
        worker.error = error;
        worker.done = true;
        changed_.notify_all();
    }
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
