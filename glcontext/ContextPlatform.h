#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Tamrin {
namespace Solvane {

// A thread's whole current OpenGL binding as the window system names it. On EGL: the display, the draw and read
// surfaces, the context and the client API bound on the thread. On WGL: the device context (in `draw`) and the
// rendering context; the other fields stay null.
struct SavedBinding {
    void* display = nullptr;
    void* draw = nullptr;
    void* read = nullptr;
    void* context = nullptr;
    std::uint32_t api = 0;

    bool operator==(const SavedBinding& other) const;
    bool operator!=(const SavedBinding& other) const { return !(*this == other); }
};

// The window-system steps behind one AEOpenGLContext: the private window class, the hidden surface that carries the
// context, the context itself, making it current and binding glbinding to it. AEOpenGLContext holds the logic that
// does not depend on the window system (order, the two kinds, the extension test, the attribute list, the faults);
// a backend only performs single steps and reports whether each one worked.
//
// Contract for every backend:
// - No step throws and none writes to any stream; a step that fails returns false (or null) and keeps whatever it
//   had acquired before, so that the destructor can release it. The one exception: the EGL backend's first
//   createSurface of a process writes a line to standard output when SOLVANE_EGL_DEVICE names a device it cannot
//   use (see egldevices/).
// - The destructor releases everything still held, in this order: makes no context current on the calling thread and
//   deletes the rendering context; releases the device context; destroys the hidden window (surface); withdraws the
//   window class. It is also the clean-up of a construction that stopped half way. It never throws.
// - Apart from making contexts current (makeCurrent, the destructor and restoreBinding), no step changes OpenGL state.
// - The process-wide versioned-context entry is written only by storeVersionedContextEntry and read by
//   createVersionedContext.
// The backend is chosen once, by create(), for the operating system the library is built for.
class ContextPlatform {
public:
    using Factory = std::function<std::unique_ptr<ContextPlatform>()>;

    // The backend of this operating system (or the one a test installed with setFactoryForTest).
    static std::unique_ptr<ContextPlatform> create();
    // The backend of this operating system, never a test's.
    static std::unique_ptr<ContextPlatform> createNative();
    // Test seam: makes create() use the given factory; an empty one restores the native backend.
    // Kept in the plug-in on purpose (docs/architecture.md): the tests link the plug-in's own library.
    static void setFactoryForTest(Factory factory);

    // The calling thread's current binding, and making a saved one current again (outcome not examined).
    static SavedBinding currentBinding();
    static void restoreBinding(const SavedBinding& saved);

    virtual ~ContextPlatform();

    // Registers the window class under the given name and creates the hidden surface with its device context and
    // pixel format. On EGL: opens the process's display, picks the config and makes the 8×8 surface.
    virtual bool createSurface(const std::string& windowClassName) = 0;

    // Shared-context path: a plain context that requests no version.
    virtual bool createPlainContext() = 0;
    // The window-system extension string, read with this context current; null when it cannot be read.
    virtual const char* extensionString() = 0;
    // The extension that offers versioned contexts, searched for as a plain substring of extensionString().
    virtual const char* createContextExtensionName() const = 0;
    // Looks up and stores the process-wide entry that creates versioned contexts.
    virtual void storeVersionedContextEntry() = 0;
    virtual bool hasVersionedContextEntry() const = 0;

    // Thread-context path: a context of the given version with no profile mask and no flags, through the stored
    // entry. On EGL it shares objects with `share` from its creation; on WGL shareObjects does that afterwards, and
    // is called before the new context is first made current.
    virtual bool createVersionedContext(ContextPlatform& share, int majorVersion, int minorVersion) = 0;
    virtual bool shareObjects(ContextPlatform& share) = 0;

    // Makes this context current on the calling thread with its surface.
    virtual bool makeCurrent() = 0;
    // Binds glbinding to this context once, just after its creation, with lazy entry-point lookup.
    virtual void initializeBinding() = 0;
    // Points glbinding at this context after it was made current.
    virtual void useBinding() = 0;

    // The window-system handles, for comparison with a thread's binding.
    virtual void* nativeContext() const = 0;
    virtual void* nativeSurface() const = 0;
};

} // namespace Solvane
} // namespace Tamrin
