#include "egldevices/EglDevices.h"

// Keep X11's macros out: only EGL's own types are needed.
#ifndef EGL_NO_X11
#define EGL_NO_X11
#endif
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace Tamrin {
namespace Solvane {

static_assert(std::is_same<EglDeviceEntries::QueryDevices, PFNEGLQUERYDEVICESEXTPROC>::value,
              "eglQueryDevicesEXT's type");
static_assert(std::is_same<EglDeviceEntries::QueryDeviceString, PFNEGLQUERYDEVICESTRINGEXTPROC>::value,
              "eglQueryDeviceStringEXT's type");
static_assert(std::is_same<EglDeviceEntries::GetPlatformDisplay, PFNEGLGETPLATFORMDISPLAYEXTPROC>::value,
              "eglGetPlatformDisplayEXT's type");

namespace {

// EGL's limit on the devices asked for; more than any machine has.
constexpr EGLint maxDevices = 64;

// A whole name in a space-separated extension list: "EGL_EXT_device_query" must not match
// "EGL_EXT_device_query_name".
bool hasExtension(const char* extensions, const char* name)
{
    if (extensions == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(name);
    for (const char* found = std::strstr(extensions, name); found != nullptr; found = std::strstr(found + 1, name)) {
        const bool startsName = found == extensions || found[-1] == ' ';
        const bool endsName = found[length] == '\0' || found[length] == ' ';
        if (startsName && endsName) {
            return true;
        }
    }
    return false;
}

std::string deviceString(const EglDeviceEntries& entries, void* device, EGLint name)
{
    const char* text = entries.queryDeviceString(device, name);
    return text != nullptr ? text : "";
}

// The value as it may appear in a message: printable, and not longer than a path.
std::string printable(const char* value)
{
    std::string text;
    for (const char* c = value; *c != '\0' && text.size() < 256; ++c) {
        text += (*c >= ' ' && *c <= '~') ? *c : '?';
    }
    return text;
}

std::string requestPrefix(const char* request)
{
    return std::string(kEglDeviceVariable) + "=" + printable(request) + ": ";
}

// A device index as written by a user: decimal digits only.
bool parseIndex(const char* text, int& index)
{
    if (*text == '\0') {
        return false;
    }
    long value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
        value = value * 10 + (*c - '0');
        if (value > INT_MAX) {
            return false;
        }
    }
    index = static_cast<int>(value);
    return true;
}

// The file a path leads to, so that a link (/dev/dri/by-path/...) names the same device as its target.
std::string resolvedPath(const std::string& path)
{
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return path;
    }
    std::string result = resolved;
    std::free(resolved);
    return result;
}

bool namesDevice(const std::string& request, const EglDevice& device)
{
    const std::string wanted = resolvedPath(request);
    for (const std::string* file : {&device.renderNodeFile, &device.drmDeviceFile}) {
        if (!file->empty() && (*file == request || resolvedPath(*file) == wanted)) {
            return true;
        }
    }
    return false;
}

// The closest match to a 32-bit RGBA pixel format with a depth buffer: the first config of exactly 8 bits per
// colour channel, since EGL lists deeper colour formats first.
EGLConfig chooseConfig(EGLDisplay display, EGLint surfaceType)
{
    const EGLint attributes[] = {EGL_SURFACE_TYPE, surfaceType,
                                 EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                 EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                 EGL_DEPTH_SIZE, 8,
                                 EGL_NONE};
    EGLConfig configs[64] = {};
    EGLint count = 0;
    if (eglChooseConfig(display, attributes, configs, 64, &count) != EGL_TRUE || count < 1) {
        return nullptr;
    }
    for (EGLint i = 0; i < count; ++i) {
        EGLint red = 0, green = 0, blue = 0;
        eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &red);
        eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &green);
        eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &blue);
        if (red == 8 && green == 8 && blue == 8) {
            return configs[i];
        }
    }
    return configs[0];
}

// Initializes the display and picks its config: a pbuffer one, else one for surfaceless contexts.
bool completeDisplay(EGLDisplay display, EglDisplayChoice& choice)
{
    if (display == EGL_NO_DISPLAY || eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
        return false;
    }
    EGLConfig config = chooseConfig(display, EGL_PBUFFER_BIT);
    const bool pbuffer = config != nullptr;
    if (config == nullptr && hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        config = chooseConfig(display, 0);
    }
    if (config == nullptr) {
        return false;
    }
    choice.display = display;
    choice.config = config;
    choice.pbuffer = pbuffer;
    return true;
}

// A device's display, usable for the plug-in's contexts: it must also make versioned contexts, which the
// surfaceless platform is not asked for up front (a context's creation checks it, as it always has).
bool openDevice(const EglDeviceEntries& entries, const EglDevice& device, EglDisplayChoice& choice)
{
    const EGLDisplay display = entries.getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, device.handle, nullptr);
    EglDisplayChoice opened;
    if (!completeDisplay(display, opened)
        || !hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_create_context")) {
        return false;
    }
    choice.display = opened.display;
    choice.config = opened.config;
    choice.pbuffer = opened.pbuffer;
    choice.device = device.index;
    choice.platform = "device";
    return true;
}

bool openSurfaceless(const EglDeviceEntries& entries, EglDisplayChoice& choice)
{
    if (!hasExtension(entries.clientExtensions.c_str(), "EGL_MESA_platform_surfaceless")
        || entries.getPlatformDisplay == nullptr) {
        return false;
    }
    if (!completeDisplay(entries.getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr),
                         choice)) {
        return false;
    }
    choice.platform = "surfaceless";
    return true;
}

bool openDefault(EglDisplayChoice& choice)
{
    if (!completeDisplay(eglGetDisplay(EGL_DEFAULT_DISPLAY), choice)) {
        return false;
    }
    choice.platform = "default";
    return true;
}

std::string deviceColumn(const EglDevice& device)
{
    if (!device.renderNodeFile.empty()) {
        return device.renderNodeFile;
    }
    return device.drmDeviceFile.empty() ? "-" : device.drmDeviceFile;
}

std::string padded(const std::string& text, std::size_t width)
{
    return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

} // namespace

EglDeviceEntries EglDeviceEntries::system()
{
    EglDeviceEntries entries;
    const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    entries.clientExtensions = extensions != nullptr ? extensions : "";
    entries.queryDevices = reinterpret_cast<QueryDevices>(eglGetProcAddress("eglQueryDevicesEXT"));
    entries.queryDeviceString = reinterpret_cast<QueryDeviceString>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    entries.getPlatformDisplay = reinterpret_cast<GetPlatformDisplay>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    return entries;
}

EglDeviceList enumerateEglDevices(const EglDeviceEntries& entries)
{
    EglDeviceList list;
    const char* client = entries.clientExtensions.c_str();
    // EGL_EXT_device_base is the older name of enumeration and query together.
    const bool base = hasExtension(client, "EGL_EXT_device_base");
    list.offered = (base || hasExtension(client, "EGL_EXT_device_enumeration"))
        && (base || hasExtension(client, "EGL_EXT_device_query")) && hasExtension(client, "EGL_EXT_platform_device")
        && entries.queryDevices != nullptr && entries.queryDeviceString != nullptr
        && entries.getPlatformDisplay != nullptr;
    if (!list.offered) {
        return list;
    }
    EGLDeviceEXT handles[maxDevices] = {};
    EGLint count = 0;
    if (entries.queryDevices(maxDevices, handles, &count) != EGL_TRUE || count < 0) {
        return list;
    }
    for (EGLint i = 0; i < count && i < maxDevices; ++i) {
        EglDevice device;
        device.index = static_cast<int>(i);
        device.handle = handles[i];
        const std::string extensions = deviceString(entries, handles[i], EGL_EXTENSIONS);
        device.software = hasExtension(extensions.c_str(), "EGL_MESA_device_software");
        // Asked only where offered: a query of a name the device does not know leaves an EGL error behind.
        if (hasExtension(extensions.c_str(), "EGL_EXT_device_drm")) {
            device.drmDeviceFile = deviceString(entries, handles[i], EGL_DRM_DEVICE_FILE_EXT);
        }
        if (hasExtension(extensions.c_str(), "EGL_EXT_device_drm_render_node")) {
            device.renderNodeFile = deviceString(entries, handles[i], EGL_DRM_RENDER_NODE_FILE_EXT);
        }
        list.devices.push_back(device);
    }
    return list;
}

EglDeviceChoice chooseEglDevice(const EglDeviceList& list, const char* request)
{
    EglDeviceChoice choice;
    const bool automatic = request == nullptr || *request == '\0';
    if (!automatic && std::strcmp(request, "surfaceless") == 0) {
        return choice;
    }
    if (!automatic && !list.offered) {
        choice.diagnostic = requestPrefix(request) + "EGL lists no devices here; using the surfaceless platform";
        return choice;
    }
    if (!automatic) {
        int index = -1;
        if (parseIndex(request, index)) {
            if (index < static_cast<int>(list.devices.size())) {
                choice.candidates.push_back(index);
            } else {
                choice.diagnostic = requestPrefix(request) + "no EGL device " + std::to_string(index) + " ("
                    + std::to_string(list.devices.size()) + " listed); choosing automatically";
            }
        } else if (request[0] == '/') {
            for (const EglDevice& device : list.devices) {
                if (namesDevice(request, device)) {
                    choice.candidates.push_back(device.index);
                    break;
                }
            }
            if (choice.candidates.empty()) {
                choice.diagnostic = requestPrefix(request) + "no EGL device has this DRM path; choosing automatically";
            }
        } else {
            choice.diagnostic = requestPrefix(request)
                + "not a device index, a DRM device path or \"surfaceless\"; choosing automatically";
        }
        choice.requested = !choice.candidates.empty();
    }
    for (const EglDevice& device : list.devices) {
        if (!device.software && (choice.candidates.empty() || device.index != choice.candidates.front())) {
            choice.candidates.push_back(device.index);
        }
    }
    return choice;
}

EglDisplayChoice openEglDisplay(const char* request, const EglDeviceEntries& entries)
{
    EglDisplayChoice choice;
    const EglDeviceList list = enumerateEglDevices(entries);
    const EglDeviceChoice candidates = chooseEglDevice(list, request);
    if (!candidates.diagnostic.empty()) {
        choice.diagnostics.push_back(candidates.diagnostic);
    }
    for (std::size_t i = 0; i < candidates.candidates.size(); ++i) {
        const int index = candidates.candidates[i];
        if (openDevice(entries, list.devices[static_cast<std::size_t>(index)], choice)) {
            return choice;
        }
        if (i == 0 && candidates.requested) {
            choice.diagnostics.push_back(requestPrefix(request) + "EGL device " + std::to_string(index)
                                         + " could not be opened; choosing automatically");
        }
    }
    // A failed attempt leaves the choice as it was: with no display when every one fails.
    if (!openSurfaceless(entries, choice)) {
        openDefault(choice);
    }
    return choice;
}

bool eglContextString(void* display, void* config, bool pbuffer, const int* contextAttributes, unsigned int name,
                      std::string& text)
{
    // The current context is asked for under the API it is made with, which is the one bound while it works.
    const EGLenum savedApi = eglQueryAPI();
    eglBindAPI(EGL_OPENGL_API);
    const EGLDisplay savedDisplay = eglGetCurrentDisplay();
    const EGLSurface savedDraw = eglGetCurrentSurface(EGL_DRAW);
    const EGLSurface savedRead = eglGetCurrentSurface(EGL_READ);
    const EGLContext savedContext = eglGetCurrentContext();

    bool made = false;
    const EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    EGLSurface surface = EGL_NO_SURFACE;
    if (context != EGL_NO_CONTEXT && pbuffer) {
        const EGLint surfaceAttributes[] = {EGL_WIDTH, 8, EGL_HEIGHT, 8, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
    }
    if (context != EGL_NO_CONTEXT && (surface != EGL_NO_SURFACE || !pbuffer)
        && eglMakeCurrent(display, surface, surface, context) == EGL_TRUE) {
        using GetString = const unsigned char* (*)(unsigned int);
        const auto getString = reinterpret_cast<GetString>(eglGetProcAddress("glGetString"));
        const unsigned char* answer = getString != nullptr ? getString(name) : nullptr;
        text = answer != nullptr ? reinterpret_cast<const char*>(answer) : "";
        made = true;
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (surface != EGL_NO_SURFACE) {
        eglDestroySurface(display, surface);
    }
    if (context != EGL_NO_CONTEXT) {
        eglDestroyContext(display, context);
    }
    if (savedContext != EGL_NO_CONTEXT) {
        eglMakeCurrent(savedDisplay, savedDraw, savedRead, savedContext);
    }
    eglBindAPI(savedApi);
    return made;
}

std::string eglRendererString(void* display, void* config, bool pbuffer)
{
    constexpr unsigned int glRenderer = 0x1F01; // GL_RENDERER
    const EGLint contextAttributes[] = {EGL_NONE};
    std::string renderer;
    eglContextString(display, config, pbuffer, contextAttributes, glRenderer, renderer);
    return renderer;
}

std::string describeEglDevices(const char* request, const EglDeviceEntries& entries)
{
    const EglDeviceList list = enumerateEglDevices(entries);
    const EglDisplayChoice chosen = openEglDisplay(request, entries);
    std::string text;
    if (!list.offered) {
        text += "EGL offers no device enumeration here\n";
    } else if (list.devices.empty()) {
        text += "EGL lists no devices\n";
    } else {
        text += "  " + padded("index", 7) + padded("kind", 10) + padded("DRM device", 22) + "renderer\n";
        for (const EglDevice& device : list.devices) {
            EglDisplayChoice opened;
            std::string renderer = "(cannot be opened)";
            if (openDevice(entries, device, opened)) {
                renderer = eglRendererString(opened.display, opened.config, opened.pbuffer);
                if (renderer.empty()) {
                    renderer = "(no OpenGL context)";
                }
            }
            text += (device.index == chosen.device ? "* " : "  ") + padded(std::to_string(device.index), 7)
                + padded(device.software ? "software" : "hardware", 10) + padded(deviceColumn(device), 22)
                + renderer + "\n";
        }
    }
    for (const std::string& line : chosen.diagnostics) {
        text += line + "\n";
    }
    const bool requested = request != nullptr && *request != '\0';
    const std::string asked = std::string("as ") + kEglDeviceVariable + "=" + (requested ? printable(request) : "")
        + " asks";
    const std::string unset = std::string(kEglDeviceVariable) + " is not set";
    if (chosen.display == nullptr) {
        text += "chosen: none, no EGL display can be opened\n";
    } else if (chosen.device >= 0) {
        const EglDevice& device = list.devices[static_cast<std::size_t>(chosen.device)];
        text += "chosen: device " + std::to_string(chosen.device) + " (" + (device.software ? "software" : "hardware")
            + ")";
        const bool followed = chosen.diagnostics.empty() && requested;
        text += followed ? " " + asked + "\n" : ", the first hardware device that opens\n";
    } else {
        const std::string renderer = eglRendererString(chosen.display, chosen.config, chosen.pbuffer);
        text += "chosen: the " + chosen.platform + " platform" + (renderer.empty() ? "" : " (" + renderer + ")");
        if (requested && std::strcmp(request, "surfaceless") == 0) {
            text += " " + asked + "\n";
        } else {
            bool hardware = false;
            for (const EglDevice& device : list.devices) {
                hardware = hardware || !device.software;
            }
            text += hardware ? ", no hardware device opens" : ", no hardware device";
            text += requested ? "\n" : " (" + unset + ")\n";
        }
    }
    return text;
}

} // namespace Solvane
} // namespace Tamrin
