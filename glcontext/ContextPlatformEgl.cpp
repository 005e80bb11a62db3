#include "glcontext/ContextPlatformEgl.h"

// Keep X11's macros out: the backend needs EGL's own types only.
#ifndef EGL_NO_X11
#define EGL_NO_X11
#endif
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include "egldevices/EglDevices.h"

#include <glbinding/Binding.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {

namespace {

// The display and config every context of the process is made on; contexts can only share objects when they live
// on the same display with compatible configs. Opened once and never terminated: eglTerminate would pull the display
// from under contexts that other code (or the host) may still hold.
struct ProcessDisplay {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    bool pbuffer = false;
};

// Null when no display can be opened or it has no usable config; a later call tries again. The device is chosen
// once per process, by SOLVANE_EGL_DEVICE or else the first hardware device, and every context lives on its display.
// A value that cannot be followed falls back and gets one line among the plug-in's diagnostics on standard output.
const ProcessDisplay* processDisplay()
{
    static std::mutex lock;
    static ProcessDisplay opened;
    std::lock_guard<std::mutex> guard(lock);
    if (opened.display != EGL_NO_DISPLAY) {
        return &opened;
    }
    const EglDisplayChoice choice = openEglDisplay(std::getenv(kEglDeviceVariable), EglDeviceEntries::system());
    for (const std::string& line : choice.diagnostics) {
        std::cout << line << std::endl;
    }
    if (choice.display == nullptr) {
        return nullptr;
    }
    opened.config = choice.config;
    opened.pbuffer = choice.pbuffer;
    opened.display = choice.display;
    return &opened;
}

// Set once the display is known to create versioned contexts ("EGL_KHR_create_context"): the EGL counterpart of
// the stored wglCreateContextAttribsARB, which here is eglCreateContext itself taking the version attributes.
std::atomic<bool> versionedContextsOffered{false};

// EGL_KHR_debug labels carry the window-class name onto the surface and context, where debug output names them.
void label(EGLDisplay display, EGLenum type, void* object, const std::string& name)
{
    static const auto labelObject =
        reinterpret_cast<PFNEGLLABELOBJECTKHRPROC>(eglGetProcAddress("eglLabelObjectKHR"));
    if (labelObject != nullptr && object != nullptr) {
        // EGL keeps the pointer, not a copy: the name lives as long as the backend that owns the object.
        labelObject(display, type, object, const_cast<char*>(name.c_str()));
    }
}

// glbinding keeps a state for every context handle it is given (an entry per OpenGL function, about 70 KB) for the
// rest of the process, and cannot forget one safely (releaseContext lets the next context's state index run past its
// tables). Named by their EGL context, contexts made and destroyed over and over (a set-up and set-down per project
// opened, a context per new host thread) would grow it without end. So contexts are named by small numbers instead,
// each handed back when its context is destroyed and given to the next new one: glbinding then holds as many states
// as contexts ever lived at the same time. A reused state serves its new context as well as the old one: entry
// points resolve through libglvnd and are the same for every context of the process.
std::mutex& bindingHandleLock()
{
    static auto* lock = new std::mutex();
    return *lock;
}

std::vector<std::uintptr_t>& freeBindingHandles()
{
    static auto* handles = new std::vector<std::uintptr_t>();
    return *handles;
}

std::uintptr_t takeBindingHandle()
{
    static std::uintptr_t next = 1; // 0 is glbinding's name for "no context"
    std::lock_guard<std::mutex> guard(bindingHandleLock());
    std::vector<std::uintptr_t>& handles = freeBindingHandles();
    if (handles.empty()) {
        return next++;
    }
    const std::uintptr_t handle = handles.back();
    handles.pop_back();
    return handle;
}

void giveBackBindingHandle(std::uintptr_t handle)
{
    std::lock_guard<std::mutex> guard(bindingHandleLock());
    freeBindingHandles().push_back(handle);
}

} // namespace

ContextPlatformEgl::~ContextPlatformEgl()
{
    if (context_ != nullptr) {
        // Releasing acts on the context of the thread's bound API, which for our contexts is desktop OpenGL.
        eglBindAPI(EGL_OPENGL_API);
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display_, context_);
        context_ = nullptr;
    }
    if (bindingHandle_ != 0) {
        giveBackBindingHandle(bindingHandle_);
        bindingHandle_ = 0;
    }
    if (surface_ != nullptr) {
        eglDestroySurface(display_, surface_);
        surface_ = nullptr;
    }
}

SavedBinding ContextPlatformEgl::currentBinding()
{
    SavedBinding binding;
    binding.display = eglGetCurrentDisplay();
    binding.draw = eglGetCurrentSurface(EGL_DRAW);
    binding.read = eglGetCurrentSurface(EGL_READ);
    binding.context = eglGetCurrentContext();
    binding.api = static_cast<std::uint32_t>(eglQueryAPI());
    return binding;
}

void ContextPlatformEgl::restoreBinding(const SavedBinding& saved)
{
    const SavedBinding now = currentBinding();
    const bool sameSurfaces = now.display == saved.display && now.draw == saved.draw && now.read == saved.read;
    if (now.context != saved.context || !sameSurfaces) {
        if (saved.context == EGL_NO_CONTEXT) {
            // A release needs a valid display and acts on the bound API's context: use those of the current one.
            EGLint clientType = EGL_OPENGL_API;
            eglQueryContext(now.display, now.context, EGL_CONTEXT_CLIENT_TYPE, &clientType);
            eglBindAPI(static_cast<EGLenum>(clientType));
            eglMakeCurrent(now.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        } else {
            EGLint clientType = EGL_OPENGL_API;
            eglQueryContext(saved.display, saved.context, EGL_CONTEXT_CLIENT_TYPE, &clientType);
            eglBindAPI(static_cast<EGLenum>(clientType));
            eglMakeCurrent(saved.display, saved.draw, saved.read, saved.context);
        }
    }
    if (saved.api != EGL_NONE && static_cast<std::uint32_t>(eglQueryAPI()) != saved.api) {
        eglBindAPI(static_cast<EGLenum>(saved.api));
    }
}

bool ContextPlatformEgl::createSurface(const std::string& windowClassName)
{
    windowClassName_ = windowClassName;
    const ProcessDisplay* opened = processDisplay();
    if (opened == nullptr) {
        return false;
    }
    display_ = opened->display;
    config_ = opened->config;
    if (!opened->pbuffer) {
        return true;
    }
    const EGLint attributes[] = {EGL_WIDTH, 8, EGL_HEIGHT, 8, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display_, config_, attributes);
    if (surface_ == EGL_NO_SURFACE) {
        surface_ = nullptr;
        return false;
    }
    label(display_, EGL_OBJECT_SURFACE_KHR, surface_, windowClassName_);
    return true;
}

bool ContextPlatformEgl::createContext(void* shareContext, const int* attributes)
{
    // The bound API is per thread and decides the kind of context made: without this a thread makes OpenGL ES.
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        return false;
    }
    const EGLContext context = eglCreateContext(display_, config_, shareContext, attributes);
    if (context == EGL_NO_CONTEXT) {
        return false;
    }
    context_ = context;
    label(display_, EGL_OBJECT_CONTEXT_KHR, context_, windowClassName_);
    return true;
}

bool ContextPlatformEgl::createPlainContext()
{
    const EGLint attributes[] = {EGL_NONE};
    return createContext(EGL_NO_CONTEXT, attributes);
}

const char* ContextPlatformEgl::extensionString()
{
    return eglQueryString(display_, EGL_EXTENSIONS);
}

const char* ContextPlatformEgl::createContextExtensionName() const
{
    return "EGL_KHR_create_context";
}

void ContextPlatformEgl::storeVersionedContextEntry()
{
    versionedContextsOffered.store(true);
}

bool ContextPlatformEgl::hasVersionedContextEntry() const
{
    return versionedContextsOffered.load();
}

bool ContextPlatformEgl::createVersionedContext(ContextPlatform& share, int majorVersion, int minorVersion)
{
    if (!versionedContextsOffered.load()) {
        return false;
    }
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION_KHR, majorVersion,
                                 EGL_CONTEXT_MINOR_VERSION_KHR, minorVersion,
                                 EGL_NONE};
    return createContext(share.nativeContext(), attributes);
}

bool ContextPlatformEgl::shareObjects(ContextPlatform&)
{
    // EGL joins the share context's namespace when the context is created.
    return true;
}

bool ContextPlatformEgl::makeCurrent()
{
    eglBindAPI(EGL_OPENGL_API);
    return eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
}

void ContextPlatformEgl::initializeBinding()
{
    // glbinding's context-less overloads ask GLX for the current context, which is null under EGL, so every context
    // would count as one; a handle of its own per context keeps glbinding's per-context state apart per thread.
    // A reused handle is already known to glbinding, and initialize then returns without switching, hence the
    // explicit useContext.
    if (bindingHandle_ == 0) {
        bindingHandle_ = takeBindingHandle();
    }
    glbinding::Binding::initialize(static_cast<glbinding::ContextHandle>(bindingHandle_), true, false);
    glbinding::Binding::useContext(static_cast<glbinding::ContextHandle>(bindingHandle_));
}

void ContextPlatformEgl::useBinding()
{
    glbinding::Binding::useContext(static_cast<glbinding::ContextHandle>(bindingHandle_));
}

void* ContextPlatformEgl::nativeContext() const
{
    return context_;
}

void* ContextPlatformEgl::nativeSurface() const
{
    return surface_;
}

} // namespace Solvane
} // namespace Tamrin
