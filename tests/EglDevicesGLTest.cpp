// EGL devices on this machine's EGL (Mesa's device platform: llvmpipe is listed as a software device), and the
// paths that must fall back to the surfaceless platform: no enumeration, no device, a device that will not open.
// Stand-ins for the device entry points present real devices under other descriptions (a "hardware" device that is
// really Mesa's software renderer), so the preference and the path choice run on displays that really open.
#if !defined(_WIN32)

#include "egldevices/EglDevices.h"
#include "support/GLTestContext.h"

#define EGL_NO_X11
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace Tamrin::Solvane;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The renderer every display of this process draws with, asked of the plug-in's own context (whichever driver the
// environment chose), so that no expectation names one.
std::string testRenderer()
{
    if (!Tamrin::Solvane::Test::makeTestContextCurrent()) {
        return "(no OpenGL)";
    }
    return reinterpret_cast<const char*>(gl::glGetString(gl::GL_RENDERER));
}

// The index of Mesa's software device in the system's list, or -1.
int softwareDeviceIndex(const EglDeviceList& list)
{
    for (const EglDevice& device : list.devices) {
        if (device.software) {
            return device.index;
        }
    }
    return -1;
}

// Devices described as a test wants them, each backed by a real device (or by none, to stand for one whose
// display does not open). Handles are small tokens; the stand-in for eglGetPlatformDisplayEXT maps them back.
struct StandInDevice {
    void* realHandle = nullptr; // null: its display cannot be opened
    std::string extensions;
    std::string renderNode;
};

EglDeviceEntries realEntries;
std::vector<StandInDevice> standInDevices;

void* token(std::size_t index)
{
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5000 + index));
}

const StandInDevice* standInFor(void* handle)
{
    for (std::size_t i = 0; i < standInDevices.size(); ++i) {
        if (token(i) == handle) {
            return &standInDevices[i];
        }
    }
    return nullptr;
}

unsigned int queryStandInDevices(std::int32_t maxDevices, void** devices, std::int32_t* count)
{
    *count = 0;
    for (std::size_t i = 0; i < standInDevices.size() && *count < maxDevices; ++i) {
        devices[(*count)++] = token(i);
    }
    return EGL_TRUE;
}

const char* queryStandInDeviceString(void* handle, std::int32_t name)
{
    const StandInDevice* device = standInFor(handle);
    if (device == nullptr) {
        return nullptr;
    }
    if (name == EGL_EXTENSIONS) {
        return device->extensions.c_str();
    }
    // The card file is answered whether or not the device offers EGL_EXT_device_drm, as a driver may: only a device
    // that lists the extension may be asked.
    return name == EGL_DRM_RENDER_NODE_FILE_EXT ? device->renderNode.c_str() : "/dev/dri/card-not-offered";
}

void* standInPlatformDisplay(unsigned int platform, void* nativeDisplay, const std::int32_t* attributes)
{
    if (platform != EGL_PLATFORM_DEVICE_EXT) {
        return realEntries.getPlatformDisplay(platform, nativeDisplay, attributes);
    }
    const StandInDevice* device = standInFor(nativeDisplay);
    if (device == nullptr || device->realHandle == nullptr) {
        return EGL_NO_DISPLAY;
    }
    return realEntries.getPlatformDisplay(platform, device->realHandle, attributes);
}

class EglDevicesGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        realEntries = EglDeviceEntries::system();
        system = enumerateEglDevices(realEntries);
        software = softwareDeviceIndex(system);
        if (!system.offered || software < 0) {
            GTEST_SKIP() << "this EGL lists no software device";
        }
        standInDevices.clear();
    }

    // The system's entries with the device queries answered by the stand-ins above.
    EglDeviceEntries standInEntries() const
    {
        EglDeviceEntries entries = realEntries;
        entries.queryDevices = queryStandInDevices;
        entries.queryDeviceString = queryStandInDeviceString;
        entries.getPlatformDisplay = standInPlatformDisplay;
        return entries;
    }

    StandInDevice softwareDevice() const
    {
        return {system.devices[static_cast<std::size_t>(software)].handle, "EGL_MESA_device_software", ""};
    }
    // llvmpipe under the description of a GPU's render node.
    StandInDevice hardwareDevice(const std::string& node) const
    {
        return {system.devices[static_cast<std::size_t>(software)].handle, "EGL_EXT_device_drm_render_node", node};
    }

    EglDeviceList system;
    int software = -1;
};

TEST_F(EglDevicesGLTest, TheSystemsDevicesAreDescribedByTheirOwnExtensions)
{
    // Mesa's software device offers the render-node query but has no node. Nothing is asked that a device does not
    // offer: such a query would leave an EGL error behind.
    enumerateEglDevices(realEntries);
    EXPECT_EQ(eglGetError(), EGL_SUCCESS);
    for (const EglDevice& device : system.devices) {
        const std::string extensions = realEntries.queryDeviceString(device.handle, EGL_EXTENSIONS);
        EXPECT_EQ(device.software, contains(extensions, "EGL_MESA_device_software")) << extensions;
        if (device.software) {
            EXPECT_TRUE(device.renderNodeFile.empty());
            EXPECT_TRUE(device.drmDeviceFile.empty());
        }
    }

    // Extension names are matched whole: "EGL_EXT_device_drm_render_node" does not offer "EGL_EXT_device_drm".
    standInDevices = {softwareDevice(), hardwareDevice("/dev/dri/renderD128")};
    const EglDeviceList described = enumerateEglDevices(standInEntries());
    ASSERT_EQ(described.devices.size(), 2u);
    EXPECT_TRUE(described.devices[0].software);
    EXPECT_FALSE(described.devices[1].software);
    EXPECT_EQ(described.devices[1].renderNodeFile, "/dev/dri/renderD128");
    EXPECT_EQ(described.devices[1].drmDeviceFile, "");
}

TEST_F(EglDevicesGLTest, TheChosenDisplayIsTheFirstHardwareDeviceOrElseTheSurfacelessPlatform)
{
    const EglDisplayChoice automatic = openEglDisplay(nullptr, realEntries);
    const EglDeviceChoice rule = chooseEglDevice(system, nullptr);
    ASSERT_NE(automatic.display, nullptr);
    EXPECT_TRUE(automatic.diagnostics.empty());
    if (rule.candidates.empty()) {
        EXPECT_EQ(automatic.platform, "surfaceless");
        EXPECT_EQ(automatic.device, -1);
    } else {
        EXPECT_EQ(automatic.device, rule.candidates.front());
    }

    const EglDisplayChoice surfaceless = openEglDisplay("surfaceless", realEntries);
    EXPECT_EQ(surfaceless.platform, "surfaceless");
    EXPECT_TRUE(surfaceless.diagnostics.empty());
    EXPECT_FALSE(eglRendererString(surfaceless.display, surfaceless.config, surfaceless.pbuffer).empty());

    // The software device by its index: a display of its own, rendering with the same driver.
    const EglDisplayChoice chosen = openEglDisplay(std::to_string(software).c_str(), realEntries);
    EXPECT_EQ(chosen.platform, "device");
    EXPECT_EQ(chosen.device, software);
    EXPECT_TRUE(chosen.diagnostics.empty());
    EXPECT_NE(chosen.display, surfaceless.display);
    EXPECT_TRUE(chosen.pbuffer);
    EXPECT_EQ(eglRendererString(chosen.display, chosen.config, chosen.pbuffer), testRenderer());
}

TEST_F(EglDevicesGLTest, AHardwareDeviceIsPreferredAndAPathOrIndexPicksAnother)
{
    standInDevices = {softwareDevice(), hardwareDevice("/dev/dri/renderD128"), hardwareDevice("/dev/dri/renderD129")};
    const EglDeviceEntries entries = standInEntries();

    EXPECT_EQ(openEglDisplay(nullptr, entries).device, 1);
    EXPECT_EQ(openEglDisplay("/dev/dri/renderD129", entries).device, 2);
    const EglDisplayChoice software0 = openEglDisplay("0", entries);
    EXPECT_EQ(software0.device, 0);
    EXPECT_EQ(software0.platform, "device");
    EXPECT_TRUE(openEglDisplay("2", entries).diagnostics.empty());
    EXPECT_EQ(openEglDisplay("surfaceless", entries).platform, "surfaceless");
}

TEST_F(EglDevicesGLTest, EveryFailureFallsBackToTheSurfacelessPlatform)
{
    // No device entry points, or a client that does not offer the platform-device extension.
    EglDeviceEntries noQuery = realEntries;
    noQuery.queryDevices = nullptr;
    EglDeviceEntries noPlatform = realEntries;
    noPlatform.clientExtensions = "EGL_EXT_device_enumeration EGL_EXT_device_query EGL_MESA_platform_surfaceless";
    for (const EglDeviceEntries& entries : {noQuery, noPlatform}) {
        EXPECT_FALSE(enumerateEglDevices(entries).offered);
        const EglDisplayChoice quiet = openEglDisplay(nullptr, entries);
        EXPECT_EQ(quiet.platform, "surfaceless");
        EXPECT_TRUE(quiet.diagnostics.empty());
        const EglDisplayChoice asked = openEglDisplay("0", entries);
        EXPECT_EQ(asked.platform, "surfaceless");
        EXPECT_EQ(asked.diagnostics.size(), 1u);
    }

    // Enumeration that finds no device.
    const EglDeviceEntries empty = standInEntries();
    EXPECT_EQ(openEglDisplay(nullptr, empty).platform, "surfaceless");
    const EglDisplayChoice missing = openEglDisplay("0", empty);
    EXPECT_EQ(missing.platform, "surfaceless");
    ASSERT_EQ(missing.diagnostics.size(), 1u);
    EXPECT_TRUE(contains(missing.diagnostics[0], "no EGL device 0 (0 listed)")) << missing.diagnostics[0];

    // A hardware device whose display does not open: quietly passed over when chosen automatically, one line when
    // the user chose it; the next hardware device, else the surfaceless platform.
    const StandInDevice unopenable{nullptr, "EGL_EXT_device_drm_render_node", "/dev/dri/renderD128"};
    standInDevices = {softwareDevice(), unopenable};
    const EglDeviceEntries broken = standInEntries();
    const EglDisplayChoice passedOver = openEglDisplay(nullptr, broken);
    EXPECT_EQ(passedOver.platform, "surfaceless");
    EXPECT_TRUE(passedOver.diagnostics.empty());
    const EglDisplayChoice refused = openEglDisplay("/dev/dri/renderD128", broken);
    EXPECT_EQ(refused.platform, "surfaceless");
    ASSERT_EQ(refused.diagnostics.size(), 1u);
    EXPECT_TRUE(contains(refused.diagnostics[0], "EGL device 1 could not be opened")) << refused.diagnostics[0];

    standInDevices.push_back(hardwareDevice("/dev/dri/renderD129"));
    const EglDisplayChoice next = openEglDisplay("1", standInEntries());
    EXPECT_EQ(next.device, 2);
    EXPECT_EQ(next.diagnostics.size(), 1u);
}

TEST_F(EglDevicesGLTest, ARendererQueryLeavesTheThreadsContextAsItWas)
{
    const EglDisplayChoice chosen = openEglDisplay(std::to_string(software).c_str(), realEntries);
    ASSERT_NE(chosen.display, nullptr);
    eglMakeCurrent(eglGetCurrentDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    EXPECT_FALSE(eglRendererString(chosen.display, chosen.config, chosen.pbuffer).empty());
    EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);

    // A plug-in context on the surfaceless display stays current across a query on another display.
    ASSERT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent());
    const EGLContext context = eglGetCurrentContext();
    const EGLSurface surface = eglGetCurrentSurface(EGL_DRAW);
    const EGLDisplay display = eglGetCurrentDisplay();
    EXPECT_FALSE(eglRendererString(chosen.display, chosen.config, chosen.pbuffer).empty());
    EXPECT_EQ(eglGetCurrentContext(), context);
    EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), surface);
    EXPECT_EQ(eglGetCurrentDisplay(), display);
    EXPECT_EQ(eglQueryAPI(), static_cast<EGLenum>(EGL_OPENGL_API));
}

TEST_F(EglDevicesGLTest, TheListingMarksTheDeviceThatWouldBeChosen)
{
    const std::string index = std::to_string(software);
    const std::string automatic = describeEglDevices(nullptr, realEntries);
    EXPECT_TRUE(contains(automatic, "  " + index + "      software  -")) << automatic;
    EXPECT_TRUE(contains(automatic, testRenderer())) << automatic;
    if (chooseEglDevice(system, nullptr).candidates.empty()) {
        EXPECT_TRUE(contains(automatic, "chosen: the surfaceless platform (")) << automatic;
        EXPECT_FALSE(contains(automatic, "\n* ")) << automatic;
    }

    const std::string picked = describeEglDevices(index.c_str(), realEntries);
    EXPECT_TRUE(contains(picked, "\n* " + index + "      software")) << picked;
    EXPECT_TRUE(contains(picked, "chosen: device " + index + " (software) as SOLVANE_EGL_DEVICE=" + index + " asks"))
        << picked;

    const std::string bad = describeEglDevices("gpu", realEntries);
    EXPECT_TRUE(contains(bad, "SOLVANE_EGL_DEVICE=gpu: not a device index")) << bad;

    standInDevices = {softwareDevice(), hardwareDevice("/dev/dri/renderD128")};
    const std::string preferred = describeEglDevices(nullptr, standInEntries());
    EXPECT_TRUE(contains(preferred, "* 1      hardware  /dev/dri/renderD128   " + testRenderer())) << preferred;
    EXPECT_TRUE(contains(preferred, "chosen: device 1 (hardware), the first hardware device that opens")) << preferred;

    standInDevices[1].realHandle = nullptr;
    const std::string unopened = describeEglDevices(nullptr, standInEntries());
    EXPECT_TRUE(contains(unopened, "  1      hardware  /dev/dri/renderD128   (cannot be opened)")) << unopened;
    EXPECT_TRUE(contains(unopened, "chosen: the surfaceless platform (")) << unopened;
    EXPECT_TRUE(contains(unopened, "no hardware device opens")) << unopened;
}

} // namespace

#endif
