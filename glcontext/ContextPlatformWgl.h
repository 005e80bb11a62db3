#pragma once

#include "glcontext/ContextPlatform.h"

#include "common/WindowsApi.h"

#include <string>

namespace Tamrin {
namespace Solvane {

// WGL backend: a window class private to one context, a hidden 8×8 window that only carries the drawing surface,
// its device context with a single-buffered 32-bit RGBA pixel format, and the rendering context on it.
// Owns the class, window, device context and rendering context; changes no OpenGL state beyond the thread's current
// binding.
class ContextPlatformWgl final : public ContextPlatform {
public:
    ContextPlatformWgl() = default;
    ~ContextPlatformWgl() override;

    ContextPlatformWgl(const ContextPlatformWgl&) = delete;
    ContextPlatformWgl& operator=(const ContextPlatformWgl&) = delete;

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
    bool recreateSharing(HGLRC shared);

    std::string windowClassName_;
    bool classRegistered_ = false;
    HWND window_ = nullptr;
    HDC deviceContext_ = nullptr;
    HGLRC renderingContext_ = nullptr;
    // The version a versioned context was asked for (0: a plain context), for making it again with a share.
    int majorVersion_ = 0;
    int minorVersion_ = 0;
};

} // namespace Solvane
} // namespace Tamrin
