#include "egldevices/EglDiagnosis.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>

#include "egldevices/EglDevices.h"

namespace Tamrin {
namespace Solvane {

namespace {

// GL_VERSION of a context made on the display with these attributes; empty when it cannot be made or made current.
// Leaves the calling thread's binding as it found it.
std::string contextVersion(const EglDisplayChoice& chosen, const EGLint* attributes)
{
    const EGLenum savedApi = eglQueryAPI();
    eglBindAPI(EGL_OPENGL_API);
    const EGLDisplay savedDisplay = eglGetCurrentDisplay();
    const EGLSurface savedDraw = eglGetCurrentSurface(EGL_DRAW);
    const EGLSurface savedRead = eglGetCurrentSurface(EGL_READ);
    const EGLContext savedContext = eglGetCurrentContext();

    std::string version;
    const EGLContext context = eglCreateContext(chosen.display, chosen.config, EGL_NO_CONTEXT, attributes);
    EGLSurface surface = EGL_NO_SURFACE;
    if (context != EGL_NO_CONTEXT && chosen.pbuffer) {
        const EGLint surfaceAttributes[] = {EGL_WIDTH, 8, EGL_HEIGHT, 8, EGL_NONE};
        surface = eglCreatePbufferSurface(chosen.display, chosen.config, surfaceAttributes);
    }
    if (context != EGL_NO_CONTEXT && (surface != EGL_NO_SURFACE || !chosen.pbuffer) &&
        eglMakeCurrent(chosen.display, surface, surface, context) == EGL_TRUE) {
        using GetString = const unsigned char* (*)(unsigned int);
        constexpr unsigned int glVersion = 0x1F02; // GL_VERSION
        const auto getString = reinterpret_cast<GetString>(eglGetProcAddress("glGetString"));
        const unsigned char* text = getString != nullptr ? getString(glVersion) : nullptr;
        version = text != nullptr ? reinterpret_cast<const char*>(text) : "unknown";
        eglMakeCurrent(chosen.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (surface != EGL_NO_SURFACE) {
        eglDestroySurface(chosen.display, surface);
    }
    if (context != EGL_NO_CONTEXT) {
        eglDestroyContext(chosen.display, context);
    }
    if (savedContext != EGL_NO_CONTEXT) {
        eglMakeCurrent(savedDisplay, savedDraw, savedRead, savedContext);
    }
    eglBindAPI(savedApi);
    return version;
}

} // namespace

std::string diagnoseOpenGl(const char* request, const EglDeviceEntries& entries)
{
    const EglDisplayChoice chosen = openEglDisplay(request, entries);
    if (chosen.display == nullptr) {
        char code[32];
        std::snprintf(code, sizeof code, "0x%X", static_cast<unsigned int>(eglGetError()));
        return std::string("no EGL display could be opened (EGL error ") + code +
               "): no OpenGL driver answered through EGL; check that Mesa's or the GPU's EGL driver is installed "
               "(libegl-mesa0) and that __EGL_VENDOR_LIBRARY_FILENAMES, if set, names it";
    }
    if (chosen.config == nullptr) {
        return "the EGL display (" + chosen.platform + " platform) has no config for offscreen OpenGL";
    }
    const EGLint core33[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3, EGL_NONE};
    if (!contextVersion(chosen, core33).empty()) {
        return std::string();
    }
    const EGLint plain[] = {EGL_NONE};
    const std::string offered = contextVersion(chosen, plain);
    if (offered.empty()) {
        return "the EGL display (" + chosen.platform + " platform) makes no OpenGL context";
    }
    return "the OpenGL driver offers only version " + offered + ", where 3.3 is needed";
}

} // namespace Solvane
} // namespace Tamrin
