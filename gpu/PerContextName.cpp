#include "gpu/PerContextName.h"

#include <glbinding/gl/gl.h>

#include <mutex>
#include <vector>

#include "glcontext/AEOpenGLContext.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

namespace {

struct PendingDelete {
    std::uint64_t serial;
    PerContextName::Kind kind;
    GLuint name;
};

// Names let go of while another context was current. Owners may be destroyed on
// one thread while a later render flushes on another, hence the lock. Both live
// until the process ends, so owners destroyed during static destruction can still queue.
std::mutex& pendingLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

std::vector<PendingDelete>& pendingDeletes()
{
    static auto* queue = new std::vector<PendingDelete>;
    return *queue;
}

void deleteName(PerContextName::Kind kind, GLuint name)
{
    if (kind == PerContextName::Kind::VertexArray) {
        glDeleteVertexArrays(1, &name);
    } else {
        glDeleteFramebuffers(1, &name);
    }
}

} // namespace

PerContextName::PerContextName(Kind kind) : kind_(kind) {}

PerContextName::~PerContextName()
{
    release();
}

GLuint PerContextName::get() const
{
    const auto found = names_.find(AEOpenGLContext::currentSerial());
    return found == names_.end() ? 0 : found->second;
}

void PerContextName::set(GLuint name)
{
    const std::uint64_t serial = AEOpenGLContext::currentSerial();
    if (name == 0) {
        names_.erase(serial);
    } else {
        names_[serial] = name;
    }
}

void PerContextName::release()
{
    if (names_.empty()) {
        return;
    }
    const std::uint64_t current = AEOpenGLContext::currentSerial();
    std::vector<PendingDelete> later;
    for (const auto& entry : names_) {
        if (entry.first == current) {
            deleteName(kind_, entry.second);
        } else {
            later.push_back({entry.first, kind_, entry.second});
        }
    }
    names_.clear();
    if (!later.empty()) {
        std::lock_guard<std::mutex> hold(pendingLock());
        auto& queue = pendingDeletes();
        queue.insert(queue.end(), later.begin(), later.end());
    }
}

void PerContextName::flushPendingDeletes()
{
    const std::uint64_t current = AEOpenGLContext::currentSerial();
    if (current == 0) {
        return;
    }
    std::vector<PendingDelete> due;
    {
        std::lock_guard<std::mutex> hold(pendingLock());
        auto& queue = pendingDeletes();
        auto keep = queue.begin();
        for (auto it = queue.begin(); it != queue.end(); ++it) {
            if (it->serial == current) {
                due.push_back(*it);
            } else {
                *keep++ = *it;
            }
        }
        queue.erase(keep, queue.end());
    }
    for (const auto& entry : due) {
        deleteName(entry.kind, entry.name);
    }
}

void PerContextName::forgetAllPending()
{
    std::lock_guard<std::mutex> hold(pendingLock());
    pendingDeletes().clear();
}

std::size_t PerContextName::pendingCount()
{
    std::lock_guard<std::mutex> hold(pendingLock());
    return pendingDeletes().size();
}

} // namespace Solvane
} // namespace Tamrin
