#pragma once

#include "glcontext/ContextPlatform.h"

#include <cstdint>
#include <string>

namespace Tamrin {
namespace Solvane {

// EGL backend, without any display server. The process's EGL display stands for the window system: the EGL device
// that SOLVANE_EGL_DEVICE names, else the first hardware device, else Mesa's surfaceless platform (egldevices/).
// An 8×8 pbuffer stands for the hidden window, or no surface at all where the display has no pbuffer config but
// offers surfaceless contexts. The window-class name only names what is made.
// Owns its surface and context; changes no OpenGL state beyond the thread's current binding.
// The EGL handles (EGLDisplay, EGLConfig, EGLSurface, EGLContext) are all plain pointers, held here as such so that
// this header needs no EGL header.
class ContextPlatformEgl final : public ContextPlatform {
public:
    ContextPlatformEgl() = default;
    ~ContextPlatformEgl() override;

    ContextPlatformEgl(const ContextPlatformEgl&) = delete;
    ContextPlatformEgl& operator=(const ContextPlatformEgl&) = delete;

    static SavedBinding currentBinding();
    static void restoreBinding(const SavedBinding& saved);

    bool createSurface(const std::string& windowClassName) override;
    bool createPlainContext() override;
    const char* extensionString() override;
    const char* createContextExtensionName() const override;
    void storeVersionedContextEntry() override;
    bool hasVersionedContextEntry() const override;
    bool createVersionedContext(ContextPlatform& share, int majorVersion, int minorVersion) override;
    bool shareObjects(ContextPlatform& share) override;
    bool makeCurrent() override;
    void initializeBinding() override;
    void useBinding() override;
    void* nativeContext() const override;
    void* nativeSurface() const override;

private:
    bool createContext(void* shareContext, const int* attributes);

    std::string windowClassName_;
    void* display_ = nullptr;
    void* config_ = nullptr;
    void* surface_ = nullptr;
    void* context_ = nullptr;
    std::uintptr_t bindingHandle_ = 0; // glbinding's name for the context; 0 until the binding is initialized
};

} // namespace Solvane
} // namespace Tamrin
