#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// One thread of a client's own on which every call into the plug-in runs, one
// job at a time, the caller waiting for each. Hosts call their modules from
// threads of their choosing that come and go (MLT renders on worker threads, OBS
// on its graphics thread with its own OpenGL context current); the plug-in keeps
// one OpenGL context for every thread that renders, until set-down. Running it on
// this thread alone keeps it at one context and one thread for its whole set-up to
// set-down, and leaves the calling thread's OpenGL state alone. Owns the thread,
// started by the constructor and joined by the destructor.
class PluginThread {
public:
    PluginThread();
    ~PluginThread();

    PluginThread(const PluginThread&) = delete;
    PluginThread& operator=(const PluginThread&) = delete;

    // Runs the job on the thread and returns when it has finished; an exception the
    // job throws is thrown again here.
    void run(const std::function<void()>& job);

private:
    void loop();

    std::mutex mutex_;
    std::condition_variable jobArrived_;
    std::condition_variable jobFinished_;
    const std::function<void()>* job_ = nullptr;
    std::exception_ptr failure_;
    bool stopping_ = false;
    std::mutex callers_; // one caller at a time hands over a job
    std::thread thread_;  // last: started once the members it uses exist
};

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
