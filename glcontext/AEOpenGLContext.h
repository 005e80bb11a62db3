#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace Tamrin {
namespace Solvane {

class ContextPlatform;

// Raised by every failed step of a context's construction. Carries code 1 and no text; nothing is printed.
// The name is kept on purpose (docs/architecture.md), as are the host's published names of host/HostInterface.h.
struct AESDK_OpenGL_Fault {
    std::int32_t errorCode;
};

// One offscreen OpenGL context of the plug-in with the hidden surface that carries
// it. Made without a share, it is the shared context (a plain context, whose
// creation also finds the entry point for versioned contexts); made with one, it
// is a 3.3 thread context in the shared context's object namespace.
// Construction leaves the context current on the calling thread, bound to
// glbinding, and writes the identification block to standard output. A failed
// construction releases what it had acquired; if it had made its context
// current, the thread is left with none.
// Owns its ContextPlatform (window class, hidden surface, context); changes no
// OpenGL state beyond the thread's current binding.
class AEOpenGLContext {
public:
    explicit AEOpenGLContext(AEOpenGLContext* share);
    virtual ~AEOpenGLContext();

    AEOpenGLContext(const AEOpenGLContext&) = delete;
    AEOpenGLContext& operator=(const AEOpenGLContext&) = delete;

    // Makes this context current on the calling thread and points glbinding at it.
    void makeCurrent();

    const std::string& windowClassName() const;

    // A number that names this context for the life of the process; never reused.
    std::uint64_t serial() const;

    // Serial of the plug-in context made current on this thread by the plug-in,
    // or 0 when none is (set by construction and makeCurrent, cleared when the
    // guard gives the thread another context back and when a context is
    // destroyed, since teardown leaves the thread with no context current).
    static std::uint64_t currentSerial();
    static void clearCurrentSerial();

    ContextPlatform& platform();

private:
    friend class CurrentContextGuard;
    // Gives the thread back the record a guard saved along with the caller's binding.
    static void restoreCurrentSerial(std::uint64_t serial);

    void create(AEOpenGLContext* share);
    void createSharedContext();
    void createThreadContext(AEOpenGLContext& share);

    std::unique_ptr<ContextPlatform> platform_;
    std::string windowClassName_;
    std::uint64_t serial_ = 0;
};

} // namespace Solvane
} // namespace Tamrin
