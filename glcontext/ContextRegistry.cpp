#include "glcontext/ContextRegistry.h"

#include "glcontext/AEOpenGLContext.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace Tamrin {
namespace Solvane {

namespace {

// Owning raw pointers on purpose: contexts still registered when the library unloads are not destroyed, since the
// window system may already be gone by then. The map is never freed either, so that such contexts stay reachable
// (leak checkers do not report them) and a late call during process exit finds a live map.
AEOpenGLContext* shared = nullptr;
std::atomic<std::int32_t> slotCounter{0};
thread_local std::int32_t threadSlot = -1;

std::map<std::int32_t, AEOpenGLContext*>& registry()
{
    static auto* contexts = new std::map<std::int32_t, AEOpenGLContext*>();
    return *contexts;
}

std::recursive_mutex& registryLock()
{
    static auto* lock = new std::recursive_mutex();
    return *lock;
}

} // namespace

void setUpSharedContext()
{
    // A set-up without set-down replaces the old one. It goes first: its teardown leaves the thread with no context,
    // and the new one must stay current.
    delete shared;
    shared = nullptr;
    shared = new AEOpenGLContext(nullptr);
}

AEOpenGLContext* sharedContext()
{
    return shared;
}

AEOpenGLContext* contextForThisThread()
{
    std::lock_guard<std::recursive_mutex> lock(registryLock());
    if (threadSlot == -1) {
        threadSlot = slotCounter.fetch_add(1);
    }
    auto& contexts = registry();
    const auto found = contexts.find(threadSlot);
    if (found != contexts.end() && found->second != nullptr) {
        return found->second;
    }
    // Also reached by a thread that keeps its slot but lost its context (a global set-down and a new set-up, or a
    // failed creation): it gets a new one rather than nothing.
    auto context = std::make_unique<AEOpenGLContext>(shared);
    contexts[threadSlot] = context.get();
    return context.release();
}

void tearDownContexts()
{
    auto& contexts = registry();
    for (auto& entry : contexts) {
        delete entry.second;
        entry.second = nullptr;
    }
    contexts.clear();
    delete shared;
    shared = nullptr;
}

} // namespace Solvane
} // namespace Tamrin
