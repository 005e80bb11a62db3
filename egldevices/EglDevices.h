#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {

// The environment variable that picks the EGL device the plug-in's contexts are made on: a device index as
// `solvane devices` lists it, a DRM device path (/dev/dri/renderD128, /dev/dri/card0, or a link to one), or
// "surfaceless" for Mesa's surfaceless platform. Unset or empty: the first hardware device, else the surfaceless
// platform. It picks the device that renders, never what is rendered.
constexpr const char* kEglDeviceVariable = "SOLVANE_EGL_DEVICE";

// The EGL device entry points, as looked up by name. Their types are EGL's own (checked where EGL's header is
// included), spelled with plain types so that this header needs no EGL header. A test replaces single entries to
// stand for a driver without the device extensions, a system without devices, or a device that does not open.
struct EglDeviceEntries {
    using QueryDevices = unsigned int (*)(std::int32_t maxDevices, void** devices, std::int32_t* count);
    using QueryDeviceString = const char* (*)(void* device, std::int32_t name);
    using GetPlatformDisplay = void* (*)(unsigned int platform, void* nativeDisplay, const std::int32_t* attributes);

    std::string clientExtensions;                 // EGL's client extension string
    QueryDevices queryDevices = nullptr;          // eglQueryDevicesEXT
    QueryDeviceString queryDeviceString = nullptr; // eglQueryDeviceStringEXT
    GetPlatformDisplay getPlatformDisplay = nullptr; // eglGetPlatformDisplayEXT

    // The entries of the EGL library the process is linked with.
    static EglDeviceEntries system();
};

// One EGL device as the device-query extension describes it.
struct EglDevice {
    int index = 0;               // its place in EGL's list, the number SOLVANE_EGL_DEVICE takes
    void* handle = nullptr;      // the EGLDeviceEXT
    bool software = false;       // the device reports "EGL_MESA_device_software" (Mesa's llvmpipe)
    std::string drmDeviceFile;   // EGL_DRM_DEVICE_FILE_EXT, empty where not reported
    std::string renderNodeFile;  // EGL_DRM_RENDER_NODE_FILE_EXT, empty where not reported
};

struct EglDeviceList {
    // Whether EGL enumerates devices and opens displays on them (device enumeration, device query, platform device).
    bool offered = false;
    std::vector<EglDevice> devices;
};

EglDeviceList enumerateEglDevices(const EglDeviceEntries& entries);

// The devices to try, in order, for the variable's value; after them comes the surfaceless platform.
struct EglDeviceChoice {
    std::vector<int> candidates;  // indices into the list's devices
    bool requested = false;       // the first candidate is the one the variable names
    std::string diagnostic;       // one line when the value names nothing usable; empty otherwise
};

// Pure: the user's device where the value names one; otherwise every hardware device in EGL's order. A value that
// names no device gets a diagnostic and the automatic choice. "surfaceless" tries no device.
EglDeviceChoice chooseEglDevice(const EglDeviceList& list, const char* request);

// The display every context of a process is made on, initialized, with the config its contexts use.
struct EglDisplayChoice {
    void* display = nullptr;   // EGLDisplay; null when nothing could be opened
    void* config = nullptr;    // EGLConfig
    bool pbuffer = false;      // the config makes pbuffers; otherwise contexts go current without a surface
    int device = -1;           // the device the display is on, or -1 for the surfaceless or default platform
    std::string platform;      // "device", "surfaceless" or "default"
    std::vector<std::string> diagnostics; // lines for the user: a value that names nothing, a device that failed
};

// Opens the display for the variable's value: the chosen devices in turn, then Mesa's surfaceless platform, then
// EGL's default display. A device fails when its display does not initialize, has no usable config or offers no
// versioned contexts; the next one is tried. Displays are never terminated: another user of the same device display
// (the host) would lose it.
EglDisplayChoice openEglDisplay(const char* request, const EglDeviceEntries& entries);

// The renderer string of an OpenGL context made on the display, or empty when none can be made. Leaves the calling
// thread's current binding as it found it.
std::string eglRendererString(void* display, void* config, bool pbuffer);

// glGetString(name) of a throwaway OpenGL context made on the display with these context attributes (an EGL_NONE
// ended list), on an 8x8 pbuffer where `pbuffer` is set, else surfaceless. False when the context cannot be made or
// made current; `text` is then untouched, and empty when the driver answers no string. Leaves the calling thread's
// bound API and current binding as it found them.
bool eglContextString(void* display, void* config, bool pbuffer, const int* contextAttributes, unsigned int name,
                      std::string& text);

// One line per device and the line saying which one the variable's value leads to, as `solvane devices` prints
// them. Opens each device's display and makes a context on it, to name its renderer.
std::string describeEglDevices(const char* request, const EglDeviceEntries& entries);

} // namespace Solvane
} // namespace Tamrin
