#include "glcontext/ContextPlatformWgl.h"

#include <glbinding/Binding.h>

#include <atomic>

namespace Tamrin {
namespace Solvane {

namespace {

// The WGL_ARB_create_context entry point and its attribute names, as the extension publishes them.
using CreateContextAttribsArb = HGLRC(WINAPI*)(HDC deviceContext, HGLRC shareContext, const int* attributes);
using GetExtensionsStringArb = const char*(WINAPI*)(HDC deviceContext);
constexpr int contextMajorVersionArb = 0x2091;
constexpr int contextMinorVersionArb = 0x2092;

// Stored by the shared-context path and used by every later thread context; null at load.
std::atomic<CreateContextAttribsArb> createContextAttribs{nullptr};

// wglGetProcAddress hands back a generic function pointer; the cast through void* names the real signature.
template <typename Function>
Function procAddress(const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(wglGetProcAddress(name)));
}

// Single-buffered 32-bit RGBA with an 8-bit depth buffer; every other field zero (main plane, no alpha, accumulation,
// stencil or auxiliary bits).
PIXELFORMATDESCRIPTOR pixelFormatDescriptor()
{
    PIXELFORMATDESCRIPTOR descriptor = {};
    descriptor.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = 32;
    descriptor.cDepthBits = 8;
    return descriptor;
}

} // namespace

ContextPlatformWgl::~ContextPlatformWgl()
{
    if (renderingContext_ != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(renderingContext_);
        renderingContext_ = nullptr;
    }
    if (deviceContext_ != nullptr) {
        ReleaseDC(window_, deviceContext_);
        deviceContext_ = nullptr;
    }
    // Windows refuses to withdraw a class while a window of it exists. DestroyWindow only works on the thread that
    // made the window; a window left behind by another thread goes when that thread ends.
    if (window_ != nullptr) {
        DestroyWindow(window_);
        window_ = nullptr;
    }
    if (classRegistered_) {
        UnregisterClassA(windowClassName_.c_str(), nullptr);
        classRegistered_ = false;
    }
}

SavedBinding ContextPlatformWgl::currentBinding()
{
    SavedBinding binding;
    binding.draw = wglGetCurrentDC();
    binding.context = wglGetCurrentContext();
    return binding;
}

void ContextPlatformWgl::restoreBinding(const SavedBinding& saved)
{
    if (wglGetCurrentContext() != saved.context || wglGetCurrentDC() != saved.draw) {
        wglMakeCurrent(static_cast<HDC>(saved.draw), static_cast<HGLRC>(saved.context));
    }
}

bool ContextPlatformWgl::createSurface(const std::string& windowClassName)
{
    windowClassName_ = windowClassName;

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = windowClassName_.c_str();
    windowClass.hIconSm = nullptr;
    if (RegisterClassExA(&windowClass) == 0) {
        return false;
    }
    classRegistered_ = true;

    window_ = CreateWindowExA(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, windowClassName_.c_str(), "OpenGL-using FBOs in AE",
                              0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
    if (window_ == nullptr) {
        return false;
    }

    // Not examined: a missing device context makes the pixel format choice fail.
    deviceContext_ = GetDC(window_);

    const PIXELFORMATDESCRIPTOR descriptor = pixelFormatDescriptor();
    const int pixelFormat = ChoosePixelFormat(deviceContext_, &descriptor);
    if (pixelFormat == 0) {
        return false;
    }
    return SetPixelFormat(deviceContext_, pixelFormat, &descriptor) != FALSE;
}

bool ContextPlatformWgl::createPlainContext()
{
    renderingContext_ = wglCreateContext(deviceContext_);
    return renderingContext_ != nullptr;
}

const char* ContextPlatformWgl::extensionString()
{
    const auto getExtensionsString = procAddress<GetExtensionsStringArb>("wglGetExtensionsStringARB");
    if (getExtensionsString == nullptr) {
        return nullptr;
    }
    return getExtensionsString(deviceContext_);
}

const char* ContextPlatformWgl::createContextExtensionName() const
{
    return "WGL_ARB_create_context";
}

void ContextPlatformWgl::storeVersionedContextEntry()
{
    createContextAttribs.store(procAddress<CreateContextAttribsArb>("wglCreateContextAttribsARB"));
}

bool ContextPlatformWgl::hasVersionedContextEntry() const
{
    return createContextAttribs.load() != nullptr;
}

bool ContextPlatformWgl::createVersionedContext(ContextPlatform&, int majorVersion, int minorVersion)
{
    const CreateContextAttribsArb createContext = createContextAttribs.load();
    if (createContext == nullptr) {
        return false;
    }
    // Sharing comes afterwards, through wglShareLists.
    majorVersion_ = majorVersion;
    minorVersion_ = minorVersion;
    const int attributes[] = {contextMajorVersionArb, majorVersion, contextMinorVersionArb, minorVersion, 0};
    renderingContext_ = createContext(deviceContext_, nullptr, attributes);
    return renderingContext_ != nullptr;
}

bool ContextPlatformWgl::shareObjects(ContextPlatform& share)
{
    const auto shared = static_cast<HGLRC>(share.nativeContext());
    if (wglShareLists(shared, renderingContext_) != FALSE) {
        return true;
    }
    return recreateSharing(shared);
}

// wglShareLists may be refused (Wine refuses it once the new context has been current) where sharing from creation
// still works. The context is then made again with the same attributes and the share given, and takes the old one's
// place, also as the thread's current context if the old one was that.
bool ContextPlatformWgl::recreateSharing(HGLRC shared)
{
    const CreateContextAttribsArb createContext = createContextAttribs.load();
    if (createContext == nullptr || shared == nullptr || renderingContext_ == nullptr || majorVersion_ == 0) {
        return false;
    }
    const int attributes[] = {contextMajorVersionArb, majorVersion_, contextMinorVersionArb, minorVersion_, 0};
    const HGLRC replacement = createContext(deviceContext_, shared, attributes);
    if (replacement == nullptr) {
        return false;
    }
    if (wglGetCurrentContext() == renderingContext_ && wglMakeCurrent(deviceContext_, replacement) == FALSE) {
        wglDeleteContext(replacement);
        return false;
    }
    wglDeleteContext(renderingContext_);
    renderingContext_ = replacement;
    return true;
}

bool ContextPlatformWgl::makeCurrent()
{
    return wglMakeCurrent(deviceContext_, renderingContext_) != FALSE;
}

void ContextPlatformWgl::initializeBinding()
{
    glbinding::Binding::initialize(false);
    // initialize returns early, without switching, for a handle it has seen before, and Windows may hand a new
    // context the handle of a deleted one.
    glbinding::Binding::useCurrentContext();
}

void ContextPlatformWgl::useBinding()
{
    glbinding::Binding::useCurrentContext();
}

void* ContextPlatformWgl::nativeContext() const
{
    return renderingContext_;
}

void* ContextPlatformWgl::nativeSurface() const
{
    return deviceContext_;
}

} // namespace Solvane
} // namespace Tamrin
