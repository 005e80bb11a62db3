// The rule that picks the EGL device from SOLVANE_EGL_DEVICE, on device lists made by hand: hardware before
// software, the user's index or DRM path first, and every value that names nothing answered by one line and the
// automatic choice.
#if !defined(_WIN32)

#include "egldevices/EglDevices.h"
#include "support/Workbench.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using Tamrin::Solvane::chooseEglDevice;
using Tamrin::Solvane::EglDevice;
using Tamrin::Solvane::EglDeviceChoice;
using Tamrin::Solvane::EglDeviceList;

namespace {

EglDevice device(int index, bool software, const std::string& renderNode = "", const std::string& card = "")
{
    EglDevice made;
    made.index = index;
    made.software = software;
    made.renderNodeFile = renderNode;
    made.drmDeviceFile = card;
    return made;
}

// Mesa's software device first, as Mesa lists it, then two hardware devices.
EglDeviceList mixedList()
{
    EglDeviceList list;
    list.offered = true;
    list.devices = {device(0, true), device(1, false, "/dev/dri/renderD128", "/dev/dri/card0"),
                    device(2, false, "/dev/dri/renderD129", "/dev/dri/card1")};
    return list;
}

TEST(EglDeviceChoiceTest, WithoutAValueHardwareDevicesComeInEglsOrderAndSoftwareNever)
{
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        const EglDeviceChoice choice = chooseEglDevice(mixedList(), unset);
        EXPECT_EQ(choice.candidates, (std::vector<int>{1, 2}));
        EXPECT_FALSE(choice.requested);
        EXPECT_TRUE(choice.diagnostic.empty()) << choice.diagnostic;
    }
    // Only a software device, as on a machine without a GPU: no device is tried, the surfaceless platform serves.
    EglDeviceList software;
    software.offered = true;
    software.devices = {device(0, true)};
    EXPECT_TRUE(chooseEglDevice(software, nullptr).candidates.empty());
    // No device enumeration at all, and no value: quietly the surfaceless platform.
    const EglDeviceChoice none = chooseEglDevice(EglDeviceList{}, nullptr);
    EXPECT_TRUE(none.candidates.empty());
    EXPECT_TRUE(none.diagnostic.empty());
}

TEST(EglDeviceChoiceTest, TheUsersDeviceComesFirstThenTheOtherHardwareDevicesOnce)
{
    const EglDeviceChoice software = chooseEglDevice(mixedList(), "0");
    EXPECT_EQ(software.candidates, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(software.requested);
    EXPECT_TRUE(software.diagnostic.empty());

    EXPECT_EQ(chooseEglDevice(mixedList(), "2").candidates, (std::vector<int>{2, 1}));
    EXPECT_EQ(chooseEglDevice(mixedList(), "/dev/dri/renderD129").candidates, (std::vector<int>{2, 1}));
    EXPECT_EQ(chooseEglDevice(mixedList(), "/dev/dri/card1").candidates, (std::vector<int>{2, 1}));
    EXPECT_EQ(chooseEglDevice(mixedList(), "/dev/dri/card0").candidates, (std::vector<int>{1, 2}));

    const EglDeviceChoice surfaceless = chooseEglDevice(mixedList(), "surfaceless");
    EXPECT_TRUE(surfaceless.candidates.empty());
    EXPECT_TRUE(surfaceless.diagnostic.empty());
}

TEST(EglDeviceChoiceTest, APathNamesItsDeviceThroughLinks)
{
    // Users name render nodes by their stable links (/dev/dri/by-path/...); a file and a link to it stand in here.
    const Tamrin::Solvane::Test::ScratchFolder scratch;
    const std::filesystem::path& folder = scratch.path();
    std::ofstream(folder / "renderD128").put('x');
    std::filesystem::create_symlink(folder / "renderD128", folder / "pci-0000:01:00.0-render");
    EglDeviceList list = mixedList();
    list.devices[2].renderNodeFile = (folder / "renderD128").string();
    const EglDeviceChoice choice = chooseEglDevice(list, (folder / "pci-0000:01:00.0-render").c_str());
    EXPECT_EQ(choice.candidates, (std::vector<int>{2, 1}));
    EXPECT_TRUE(choice.requested);
}

TEST(EglDeviceChoiceTest, AValueThatNamesNothingGivesOneLineAndTheAutomaticChoice)
{
    for (const char* bad : {"3", "99999999999", "-1", "1x", " 1", "gpu", "/dev/dri/renderD200", "Surfaceless"}) {
        const EglDeviceChoice choice = chooseEglDevice(mixedList(), bad);
        EXPECT_EQ(choice.candidates, (std::vector<int>{1, 2})) << bad;
        EXPECT_FALSE(choice.requested) << bad;
        EXPECT_EQ(choice.diagnostic.find(std::string("SOLVANE_EGL_DEVICE=") + bad + ": "), 0u) << choice.diagnostic;
        EXPECT_EQ(choice.diagnostic.find('\n'), std::string::npos) << choice.diagnostic;
    }
    EXPECT_NE(chooseEglDevice(mixedList(), "3").diagnostic.find("3 listed"), std::string::npos);
    // A value that cannot be printed as it is does not reach the terminal as it is.
    const EglDeviceChoice control = chooseEglDevice(mixedList(), "\x1b[2J");
    EXPECT_EQ(control.diagnostic.find('\x1b'), std::string::npos) << control.diagnostic;
    // With no enumeration, any device value is one line and the surfaceless platform.
    const EglDeviceChoice unlisted = chooseEglDevice(EglDeviceList{}, "0");
    EXPECT_TRUE(unlisted.candidates.empty());
    EXPECT_NE(unlisted.diagnostic.find("surfaceless"), std::string::npos) << unlisted.diagnostic;
}

// Through libglvnd a GPU's own EGL library lists its devices beside Mesa's: hardware devices before the software
// one, one that reports no DRM file at all (as NVIDIA's may), one that reports only its card file. Only a machine with
// a GPU lists these; the choice must still take the first hardware device and find each by index or by file.
TEST(EglDeviceChoiceTest, AVendorsDevicesWithoutRenderNodesAreChosenByOrderIndexAndCardFile)
{
    EglDeviceList list;
    list.offered = true;
    list.devices = {device(0, false), device(1, false, "", "/dev/dri/card1"), device(2, true)};
    const EglDeviceChoice automatic = chooseEglDevice(list, nullptr);
    EXPECT_EQ(automatic.candidates, (std::vector<int>{0, 1}));
    EXPECT_TRUE(automatic.diagnostic.empty()) << automatic.diagnostic;
    EXPECT_EQ(chooseEglDevice(list, "1").candidates, (std::vector<int>{1, 0}));
    EXPECT_EQ(chooseEglDevice(list, "/dev/dri/card1").candidates, (std::vector<int>{1, 0}));
    EXPECT_EQ(chooseEglDevice(list, "2").candidates, (std::vector<int>{2, 0, 1}));
    // A device without files is never matched by an empty or missing path.
    const EglDeviceChoice missing = chooseEglDevice(list, "/dev/dri/renderD128");
    EXPECT_EQ(missing.candidates, (std::vector<int>{0, 1}));
    EXPECT_FALSE(missing.requested);
    EXPECT_FALSE(missing.diagnostic.empty());
}

} // namespace

#endif
