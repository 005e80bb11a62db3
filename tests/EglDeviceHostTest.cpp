// The device choice as a user meets it: `solvane devices`, and SOLVANE_EGL_DEVICE read by the plug-in when it opens
// its display. Whatever the value, the render is the published sample, byte for byte, and a value that names no
// device costs one line and nothing else.
#if !defined(_WIN32)

#include "cli/PngImage.h"
#include "egldevices/EglDevices.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

// The renderer an identification block in the log names ("OpenGL Renderer: ..."), or "" where there is none.
std::string rendererIn(const std::string& log)
{
    const std::string label = "OpenGL Renderer: ";
    const std::size_t at = log.find(label);
    if (at == std::string::npos) {
        return "";
    }
    const std::size_t start = at + label.size();
    return log.substr(start, log.find('\n', start) - start);
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

int linesContaining(const std::string& text, const std::string& part)
{
    std::istringstream lines(text);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        count += contains(line, part) ? 1 : 0;
    }
    return count;
}

class EglDeviceHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const EglDeviceList list = enumerateEglDevices(EglDeviceEntries::system());
        hardware = !chooseEglDevice(list, nullptr).candidates.empty();
        for (const EglDevice& device : list.devices) {
            if (device.software) {
                software = std::to_string(device.index);
                break;
            }
        }
        if (software.empty()) {
            GTEST_SKIP() << "this EGL lists no software device";
        }
        scratch = std::make_unique<Support::ScratchFolder>();
        folder = scratch->str();
    }

    // `solvane` with the variable set to `value` (unset when null).
    int solvane(const char* value, const std::string& arguments, std::string* output)
    {
        const std::string environment = value == nullptr ? "env -u SOLVANE_EGL_DEVICE "
                                                         : std::string("env SOLVANE_EGL_DEVICE='") + value + "' ";
        return Support::runCommand(environment + Support::solvanePath() + " " + arguments, output);
    }

    std::string software;
    bool hardware = false; // the automatic choice is a hardware device, whose driver need not round as Mesa's do
    std::unique_ptr<Support::ScratchFolder> scratch;
    std::string folder;
};

TEST_F(EglDeviceHostTest, EveryValueRendersThePublishedSampleAndOnlyABadOneSaysSo)
{
    const Cli::RgbaImage published = Cli::readPng(Support::sourcePath("examples/sample-shafts.png"));
    const std::string device = software;
    const char* unset = nullptr;
    std::string softwareRenderer;
    for (const char* value : {"surfaceless", unset, device.c_str(), "gpu", "/dev/dri/none"}) {
        const std::string label = value == nullptr ? "(unset)" : value;
        const std::string output = folder + "/shafts.png";
        std::filesystem::remove(output);
        std::string log;
        ASSERT_EQ(solvane(value, "render --verbose " + Support::sourcePath("examples/sample.png") + " " + output +
                                     " --center 420,150",
                          &log),
                  0)
            << label << "\n" << log;
        const bool bad = value != nullptr && (std::string(value) == "gpu" || std::string(value) == "/dev/dri/none");
        EXPECT_EQ(linesContaining(log, "SOLVANE_EGL_DEVICE"), bad ? 1 : 0) << label << "\n" << log;
        const bool automatic = value == nullptr || bad;
        const std::string renderer = rendererIn(log);
        if (value != nullptr && std::string(value) == "surfaceless") {
            EXPECT_FALSE(renderer.empty()) << log;
            softwareRenderer = renderer;
        }
        if (automatic && hardware) {
            // A hardware device, chosen automatically, renders with a driver of its own.
            EXPECT_NE(renderer, softwareRenderer) << label << "\n" << log;
            continue;
        }
        // Mesa's software drivers render the published sample within one level of the llvmpipe render it was made
        // with, on a dozen pixels at most (zink: none to a few; softpipe: about 0.05 %).
        EXPECT_TRUE(Support::nearImage("shafts-" + label, Cli::readPng(output), published, 1, 0.001));
        // Every path that takes no hardware device renders with the driver of the surfaceless platform.
        EXPECT_EQ(renderer, softwareRenderer) << label << "\n" << log;
    }
}

TEST_F(EglDeviceHostTest, DevicesListsTheDevicesAndTheChoice)
{
    std::string listing;
    ASSERT_EQ(solvane(nullptr, "devices", &listing), 0) << listing;
    EXPECT_TRUE(contains(listing, "  " + software + "      software  -")) << listing;
    EXPECT_EQ(linesContaining(listing, "chosen: "), 1) << listing;

    ASSERT_EQ(solvane(software.c_str(), "devices", &listing), 0) << listing;
    EXPECT_TRUE(contains(listing, "* " + software + "      software")) << listing;
    EXPECT_TRUE(contains(listing, "chosen: device " + software + " (software)")) << listing;

    ASSERT_EQ(solvane("/dev/dri/none", "devices", &listing), 0) << listing;
    EXPECT_EQ(linesContaining(listing, "SOLVANE_EGL_DEVICE=/dev/dri/none: no EGL device has this DRM path"), 1)
        << listing;

    EXPECT_EQ(solvane(nullptr, "devices 0", &listing), 2) << listing;
    EXPECT_TRUE(contains(listing, "devices: expected no arguments")) << listing;
    ASSERT_EQ(solvane(nullptr, "help", &listing), 0);
    EXPECT_TRUE(contains(listing, "  devices ")) << listing;
}

} // namespace

#endif
