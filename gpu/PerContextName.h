#pragma once

#include <glbinding/gl/types.h>

#include <cstdint>
#include <map>

namespace Tamrin {
namespace Solvane {

// The name of one OpenGL container object (a vertex array or a framebuffer) that
// its owner keeps per plug-in context: such objects are not shared between
// contexts, so a name made in one context means nothing, or something else, in
// another. Names are keyed by AEOpenGLContext::currentSerial().
//
// A name whose context is not current when the owner lets go of it cannot be
// deleted there; it is queued and deleted the next time its context is current
// (flushPendingDeletes), or dropped with the context itself.
class PerContextName {
public:
    enum class Kind { VertexArray, Framebuffer };

    explicit PerContextName(Kind kind);
    ~PerContextName();

    PerContextName(const PerContextName&) = delete;
    PerContextName& operator=(const PerContextName&) = delete;

    // The name for the current context, or 0 when none was made there.
    gl::GLuint get() const;
    // Records the name made in the current context.
    void set(gl::GLuint name);
    // Deletes the current context's name now, queues the others; all are forgotten.
    void release();

    // Deletes the queued names of the current context. Called after a plug-in
    // context has been made current.
    static void flushPendingDeletes();
    // Forgets every queued name: called once all contexts have been destroyed,
    // which took their container objects with them.
    static void forgetAllPending();
    static std::size_t pendingCount();

private:
    Kind kind_;
    std::map<std::uint64_t, gl::GLuint> names_;
};

} // namespace Solvane
} // namespace Tamrin
