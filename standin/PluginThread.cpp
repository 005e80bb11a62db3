#include "standin/PluginThread.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

PluginThread::PluginThread() : thread_(&PluginThread::loop, this) {}

PluginThread::~PluginThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    jobArrived_.notify_one();
    thread_.join();
}

void PluginThread::run(const std::function<void()>& job)
{
    std::lock_guard<std::mutex> caller(callers_);
    std::unique_lock<std::mutex> lock(mutex_);
    job_ = &job;
    failure_ = nullptr;
    jobArrived_.notify_one();
    jobFinished_.wait(lock, [this] { return job_ == nullptr; });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void PluginThread::loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        jobArrived_.wait(lock, [this] { return job_ != nullptr || stopping_; });
        if (job_ == nullptr) {
            return;
        }
        lock.unlock();
        try {
            (*job_)();
        } catch (...) {
            failure_ = std::current_exception();
        }
        lock.lock();
        job_ = nullptr;
        jobFinished_.notify_one();
    }
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
