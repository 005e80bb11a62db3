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

// The registry is never freed: contexts still registered when the library unloads are not destroyed, since the
// window system may already be gone by then, and they stay reachable (leak checkers do not report them); a late call
// during process exit finds a live registry.
struct Registry {
    std::unique_ptr<AEOpenGLContext> shared;
    std::map<std::int32_t, std::unique_ptr<AEOpenGLContext>> contexts;
    std::recursive_mutex lock;
};

std::atomic<std::int32_t> slotCounter{0};
thread_local std::int32_t threadSlot = -1;

Registry& registry()
{
    static auto* const held = new Registry();
    return *held;
}

} // namespace

void setUpSharedContext()
{
    // A set-up without set-down replaces the old one. It goes first: its teardown leaves the thread with no context,
    // and the new one must stay current.
    Registry& r = registry();
    r.shared.reset();
    r.shared = std::make_unique<AEOpenGLContext>(nullptr);
}

AEOpenGLContext* sharedContext()
{
    return registry().shared.get();
}

AEOpenGLContext* contextForThisThread()
{
    Registry& r = registry();
    std::lock_guard<std::recursive_mutex> lock(r.lock);
    if (threadSlot == -1) {
        threadSlot = slotCounter.fetch_add(1);
    }
    const auto found = r.contexts.find(threadSlot);
    if (found != r.contexts.end() && found->second != nullptr) {
        return found->second.get();
    }
    // Also reached by a thread that keeps its slot but lost its context (a global set-down and a new set-up, or a
    // failed creation): it gets a new one rather than nothing.
    auto context = std::make_unique<AEOpenGLContext>(r.shared.get());
    AEOpenGLContext* made = context.get();
    r.contexts[threadSlot] = std::move(context);
    return made;
}

void tearDownContexts()
{
    Registry& r = registry();
    for (auto& entry : r.contexts) {
        entry.second.reset();
    }
    r.contexts.clear();
    r.shared.reset();
}

} // namespace Solvane
} // namespace Tamrin
