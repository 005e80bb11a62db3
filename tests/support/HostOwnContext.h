#pragma once

// An OpenGL context of the host's own, made current before a command, to see that
// the plug-in gives it back. Header-only so that only the tests that want it pull in
// the window-system library. On Windows it is a plain WGL context on a hidden window
// of its own class.
#if defined(_WIN32)
#include "common/WindowsApi.h"
#else
#include <EGL/egl.h>
#include <EGL/eglext.h>
#endif

namespace Tamrin {
namespace Solvane {
namespace Test {

#if !defined(_WIN32)
class HostOwnContext {
public:
    HostOwnContext()
    {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        display_ = getPlatformDisplay ? getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr)
                                      : eglGetDisplay(EGL_DEFAULT_DISPLAY);
        eglInitialize(display_, nullptr, nullptr);
        eglBindAPI(EGL_OPENGL_API);
        const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLConfig config = nullptr;
        EGLint count = 0;
        eglChooseConfig(display_, attributes, &config, 1, &count);
        const EGLint size[] = {EGL_WIDTH, 4, EGL_HEIGHT, 4, EGL_NONE};
        surface_ = eglCreatePbufferSurface(display_, config, size);
        context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, nullptr);
    }
    ~HostOwnContext()
    {
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display_, context_);
        eglDestroySurface(display_, surface_);
    }
    HostOwnContext(const HostOwnContext&) = delete;
    HostOwnContext& operator=(const HostOwnContext&) = delete;

    static constexpr bool available() { return true; }
    bool makeCurrent() { return eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE; }
    bool isCurrent() const
    {
        return eglGetCurrentContext() == context_ && eglGetCurrentSurface(EGL_DRAW) == surface_ &&
               eglGetCurrentSurface(EGL_READ) == surface_;
    }

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLSurface surface_ = EGL_NO_SURFACE;
    EGLContext context_ = EGL_NO_CONTEXT;
};
#else
class HostOwnContext {
public:
    HostOwnContext()
    {
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        // Registered by the first one made; it stays for the rest of the process.
        RegisterClassExA(&windowClass);
        window_ = CreateWindowExA(0, kClassName, "host", 0, 0, 0, 4, 4, nullptr, nullptr, nullptr, nullptr);
        deviceContext_ = window_ ? GetDC(window_) : nullptr;
        PIXELFORMATDESCRIPTOR descriptor = {};
        descriptor.nSize = sizeof descriptor;
        descriptor.nVersion = 1;
        descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
        descriptor.iPixelType = PFD_TYPE_RGBA;
        descriptor.cColorBits = 32;
        const int format = deviceContext_ ? ChoosePixelFormat(deviceContext_, &descriptor) : 0;
        if (format != 0 && SetPixelFormat(deviceContext_, format, &descriptor)) {
            context_ = wglCreateContext(deviceContext_);
        }
    }
    ~HostOwnContext()
    {
        if (context_ && wglGetCurrentContext() == context_) {
            wglMakeCurrent(nullptr, nullptr);
        }
        if (context_) {
            wglDeleteContext(context_);
        }
        if (deviceContext_) {
            ReleaseDC(window_, deviceContext_);
        }
        if (window_) {
            DestroyWindow(window_);
        }
    }
    HostOwnContext(const HostOwnContext&) = delete;
    HostOwnContext& operator=(const HostOwnContext&) = delete;

    static constexpr bool available() { return true; }
    bool makeCurrent() { return context_ && wglMakeCurrent(deviceContext_, context_) != FALSE; }
    bool isCurrent() const { return wglGetCurrentContext() == context_ && wglGetCurrentDC() == deviceContext_; }

private:
    static constexpr const char* kClassName = "SolvaneTestHostWindow";
    HWND window_ = nullptr;
    HDC deviceContext_ = nullptr;
    HGLRC context_ = nullptr;
};
#endif

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
