#include "egldevices/EglDiagnosis.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>

#include "egldevices/EglDevices.h"

namespace Tamrin {
namespace Solvane {

namespace {

// GL_VERSION of a context made on the display with these attributes; empty when it cannot be made or made current,
// "unknown" when the driver names none. Leaves the calling thread's binding as it found it.
std::string contextVersion(const EglDisplayChoice& chosen, const EGLint* attributes)
{
    constexpr unsigned int glVersion = 0x1F02; // GL_VERSION
    std::string version;
    if (!eglContextString(chosen.display, chosen.config, chosen.pbuffer, attributes, glVersion, version)) {
        return "";
    }
    return version.empty() ? "unknown" : version;
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
