// The built plug-in driven through its entry point by the substitute host, the
// way the compositing host drives it: commands, failures, and whole renders.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "standin/HostWorld.h"
#include "standin/PluginLibrary.h"
#include "standin/SubstituteHost.h"
#include "host/ParameterIndex.h"
#include "host/PiplResource.h"
#include "support/HostOwnContext.h"
#include "support/HostTestSupport.h"
#include "support/PluginHostFixture.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::StandIn;
using Tamrin::Solvane::Test::HostOwnContext;

using Tamrin::Solvane::Test::pixels;
using Tamrin::Solvane::Test::sameImage;

namespace {

// Leaves the calling thread with no OpenGL context current, and tells whether it has one.
#if defined(_WIN32)
void releaseCurrentContext() { wglMakeCurrent(nullptr, nullptr); }
bool anyContextCurrent() { return wglGetCurrentContext() != nullptr || wglGetCurrentDC() != nullptr; }
#else
void releaseCurrentContext() { eglMakeCurrent(eglGetCurrentDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT); }
bool anyContextCurrent() { return eglGetCurrentContext() != EGL_NO_CONTEXT; }
#endif

// A small layer with bright spots on a dark ground, and some transparent pixels.
void paintTestLayer(HostWorld& world)
{
    for (int y = 0; y < world.height(); ++y) {
        std::uint8_t* p = world.row(y);
        for (int x = 0; x < world.width(); ++x, p += 4) {
            const bool bright = (x / 6 + y / 5) % 4 == 0;
            p[0] = (x + y) % 11 == 0 ? 0 : 255;
            p[1] = bright ? 250 : 30;
            p[2] = bright ? 230 : 40;
            p[3] = bright ? 180 : 60;
        }
    }
}

class PluginHostTest : public Tamrin::Solvane::Test::PluginHostFixture {};

} // namespace

TEST_F(PluginHostTest, ResourceDescribesTheLoadedEffect)
{
    const PiplInfo& info = library->info();
    EXPECT_EQ(info.kind, "eFKT");
    EXPECT_EQ(info.name, "Ostrel Solvane");
    EXPECT_EQ(info.category, "Ostrel");
    EXPECT_EQ(info.matchName, "Ostrel_Solvane");
    EXPECT_EQ(info.entryPoint, "EntryPointFunc");
    EXPECT_EQ(info.hostInterfaceMajor, 13);
    EXPECT_EQ(info.hostInterfaceMinor, 27);
    EXPECT_EQ(PluginLibrary::readRegistrationResource(Tamrin::Solvane::Test::pluginPath()).size(), 290u);
}

TEST_F(PluginHostTest, AboutAndCommandsItDoesNotAnswer)
{
    std::string text;
    ASSERT_EQ(host->about(text), PF_Err_NONE);
    EXPECT_EQ(text, "Ostrel Solvane v1.0\rOstrel Solvane");
    EXPECT_EQ(host->suitesHeld(), 0);

    const PF_InData inBefore = host->inData();
    const PF_OutData outBefore = host->outData();
    for (PF_Cmd cmd : {2, 5, 6, 7, 8, 9, 10, 12, 13, 40, -1}) {
        EXPECT_EQ(host->command(cmd), PF_Err_NONE) << cmd;
    }
    EXPECT_EQ(std::memcmp(&inBefore, &host->inData(), sizeof inBefore), 0);
    EXPECT_EQ(std::memcmp(&outBefore, &host->outData(), sizeof outBefore), 0);
    EXPECT_EQ(host->suitesHeld(), 0);
}

TEST_F(PluginHostTest, GlobalSetUpWritesVersionAndFlags)
{
    host->outData().my_version = 7;
    host->outData().out_flags = -1;
    host->outData().out_flags2 = -1;
    host->faults.refusedSuites.insert(kPFAppSuite);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(host->globalSetUp(), PF_Err_BAD_CALLBACK_PARAM);
    // Version and flags come first; the failed table stops the set-up before any context.
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(host->outData().my_version, 0x80001u);
    EXPECT_EQ(host->outData().out_flags, 0);
    EXPECT_EQ(host->outData().out_flags2, 0);
    EXPECT_EQ(host->suitesHeld(), 0);

    host->faults.refusedSuites.clear();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(host->globalSetUp(), PF_Err_NONE);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("OpenGL Version:"), std::string::npos);
    EXPECT_EQ(host->globalSetDown(), PF_Err_NONE);
}

TEST_F(PluginHostTest, RenderGivesTheHostItsContextBackAndStaysInTheWorld)
{
    setUpEffect();
    HostWorld input(37, 23);
    paintTestLayer(input);
    HostWorld output(37, 23);

    HostOwnContext hostContext;
    ASSERT_TRUE(hostContext.makeCurrent());
    EXPECT_EQ(host->render(input, output), PF_Err_NONE);
    EXPECT_TRUE(hostContext.isCurrent());
    EXPECT_TRUE(output.paddingIntact());
    EXPECT_TRUE(input.paddingIntact());
    EXPECT_NE(pixels(output), std::vector<std::uint8_t>(37 * 23 * 4, 0));
    EXPECT_EQ(host->suitesHeld(), 0);
    EXPECT_EQ(host->handlesAlive(), 0);
    EXPECT_EQ(host->checkoutsOpen(), 0);

    // With no context of its own current, the host is left with none.
    releaseCurrentContext();
    EXPECT_EQ(host->render(input, output), PF_Err_NONE);
    EXPECT_FALSE(anyContextCurrent());
    EXPECT_EQ(host->globalSetDown(), PF_Err_NONE);
}

TEST_F(PluginHostTest, FailedRenderLeavesTheOutputAndRecovers)
{
    setUpEffect();
    HostWorld input(16, 9);
    paintTestLayer(input);
    HostWorld output(16, 9);
    output.fill(0x5C);
    const auto untouched = pixels(output);

    HostOwnContext hostContext;
    ASSERT_TRUE(hostContext.makeCurrent());
    host->faults.failHandleAllocation = true;
    EXPECT_EQ(host->render(input, output), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(hostContext.isCurrent());
    EXPECT_TRUE(sameImage("output-against-untouched", output, untouched));
    host->faults.failHandleAllocation = false;

    host->faults.refusedSuites.insert(kPFHandleSuite);
    EXPECT_EQ(host->render(input, output), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(hostContext.isCurrent());
    EXPECT_TRUE(sameImage("output-against-untouched", output, untouched));
    EXPECT_EQ(host->suitesHeld(), 0);
    host->faults.refusedSuites.clear();

    // A checkout that fails still draws the frame with the last values.
    host->faults.failCheckoutIndex = kParamThreshold;
    EXPECT_EQ(host->render(input, output), PF_Err_NONE);
    host->faults.failCheckoutIndex = -1;
    const auto rendered = pixels(output);
    EXPECT_NE(rendered, untouched);
    EXPECT_EQ(host->render(input, output), PF_Err_NONE);
    EXPECT_TRUE(sameImage("output-against-rendered", output, rendered));
    EXPECT_EQ(host->globalSetDown(), PF_Err_NONE);
}

TEST_F(PluginHostTest, FramesBeyondTheLimitsAreRefusedAndEmptyOnesAreNothing)
{
    setUpEffect();
    {
        HostWorld input(20000, 1);
        HostWorld output(20000, 1);
        output.fill(0x33);
        EXPECT_EQ(host->render(input, output), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(output.row(0)[0], 0x33);
    }
    HostWorld empty(0, 0);
    HostWorld emptyOut(0, 0);
    EXPECT_EQ(host->render(empty, emptyOut), PF_Err_NONE);
    HostWorld one(1, 1);
    one.fill(0xFF);
    HostWorld oneOut(1, 1);
    EXPECT_EQ(host->render(one, oneOut), PF_Err_NONE);
    EXPECT_TRUE(oneOut.paddingIntact());
    EXPECT_EQ(host->globalSetDown(), PF_Err_NONE);
}

TEST_F(PluginHostTest, EveryThreadRendersTheSameFrame)
{
    setUpEffect();
    host->setPoint(kParamCenter, 5.5, 30.0);
    HostWorld input(41, 27);
    paintTestLayer(input);
    HostWorld first(41, 27);
    HostWorld second(41, 27);
    HostWorld third(41, 27);

    ::testing::internal::CaptureStdout();
    ASSERT_EQ(host->render(input, first), PF_Err_NONE);
    const std::string firstRender = ::testing::internal::GetCapturedStdout();
    PF_Err otherThread = -1;
    std::string secondRender;
    std::thread worker([&] {
        ::testing::internal::CaptureStdout();
        otherThread = host->render(input, second);
        secondRender = ::testing::internal::GetCapturedStdout();
    });
    worker.join();
    ASSERT_EQ(otherThread, PF_Err_NONE);
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(host->render(input, third), PF_Err_NONE);
    const std::string thirdRender = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(pixels(first), pixels(second));
    EXPECT_EQ(pixels(first), pixels(third));
    // Each thread announces its own context once, on its first render.
    EXPECT_NE(firstRender.find("OpenGL Version:"), std::string::npos);
    EXPECT_NE(secondRender.find("OpenGL Version:"), std::string::npos);
    EXPECT_EQ(thirdRender, "");
    EXPECT_EQ(host->globalSetDown(), PF_Err_NONE);
}

TEST_F(PluginHostTest, SetDownAndSetUpAgainInOneLoad)
{
    HostWorld input(24, 16);
    paintTestLayer(input);
    HostWorld before(24, 16);
    HostWorld after(24, 16);
    setUpEffect();
    ASSERT_EQ(host->render(input, before), PF_Err_NONE);
    ASSERT_EQ(host->globalSetDown(), PF_Err_NONE);
    setUpEffect();
    ASSERT_EQ(host->render(input, after), PF_Err_NONE);
    EXPECT_EQ(pixels(before), pixels(after));
    EXPECT_EQ(host->globalSetDown(), PF_Err_NONE);
    // A set-down with nothing set up does not crash either.
    EXPECT_EQ(host->globalSetDown(), PF_Err_NONE);
}

TEST(SolvaneCommand, AboutInfoAndClearErrors)
{
    using Tamrin::Solvane::Test::runCommand;
    const std::string solvane = Tamrin::Solvane::Test::solvanePath();
    std::string output;
    ASSERT_EQ(runCommand(solvane + " about", &output), 0);
    EXPECT_EQ(output, "Ostrel Solvane v1.0\nOstrel Solvane\n");

    ASSERT_EQ(runCommand(solvane + " info", &output), 0);
    EXPECT_NE(output.find("match name:       Ostrel_Solvane"), std::string::npos);
    EXPECT_NE(output.find("entry point:      EntryPointFunc"), std::string::npos);

    EXPECT_EQ(runCommand(solvane + " info no-such-file.aex", &output), 1);
    EXPECT_NE(output.find("cannot open"), std::string::npos);
    EXPECT_EQ(runCommand(solvane + " --plugin " + solvane + " about", &output), 1);
    EXPECT_NE(output.find("no registration resource"), std::string::npos);
    EXPECT_EQ(runCommand(solvane + " frobnicate", &output), 2);
}

#if !defined(_WIN32)
TEST(PluginFile, CarriesTheResourceAndExportsOnlyTheEntryPoint)
{
    const std::string plugin = Tamrin::Solvane::Test::pluginPath();
    const Tamrin::Solvane::Test::ScratchFolder folder;
    const std::string extracted = folder / "pipl.bin";
    std::string output;
    ASSERT_EQ(Tamrin::Solvane::Test::runCommand("objcopy -O binary --only-section=.pipl " + plugin + " " + extracted,
                                                &output),
              0)
        << output;
    std::FILE* file = std::fopen(extracted.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<std::uint8_t> bytes(400);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    std::remove(extracted.c_str());
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(Pipl::kBytes.begin(), Pipl::kBytes.end()));

    ASSERT_EQ(Tamrin::Solvane::Test::runCommand("nm -D --defined-only " + plugin, &output), 0);
    EXPECT_NE(output.find(" T EntryPointFunc\n"), std::string::npos);
    EXPECT_EQ(output.find('\n'), output.size() - 1) << "more than one symbol exported:\n" << output;
}
#else
TEST(PluginFile, CarriesTheResourceAndExportsOnlyTheEntryPoint)
{
    const std::string plugin = Tamrin::Solvane::Test::pluginPath();
    EXPECT_EQ(PluginLibrary::readRegistrationResource(plugin),
              std::vector<std::uint8_t>(Pipl::kBytes.begin(), Pipl::kBytes.end()));

    // The names in the export directory of the loaded image.
    HMODULE module = LoadLibraryA(plugin.c_str());
    ASSERT_NE(module, nullptr);
    const auto* base = reinterpret_cast<const std::uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (directory.VirtualAddress != 0) {
        const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
        const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            names.emplace_back(reinterpret_cast<const char*>(base + nameOffsets[i]));
        }
        EXPECT_EQ(exports->NumberOfFunctions, 1u);
    }
    EXPECT_EQ(names, std::vector<std::string>{"EntryPointFunc"});
    FreeLibrary(module);
}
#endif

TEST_F(PluginHostTest, SecondSetUpWithoutSetDownStartsClean)
{
    HostWorld input(24, 16);
    paintTestLayer(input);
    HostWorld before(24, 16);
    HostWorld after(24, 16);
    setUpEffect();
    ASSERT_EQ(host->render(input, before), PF_Err_NONE);
    setUpEffect(); // no set-down in between
    // A thread that has not rendered before gets a context in the new set-up's
    // share group, where the objects of the first set-up do not exist.
    PF_Err result = -1;
    std::thread([&] { result = host->render(input, after); }).join();
    ASSERT_EQ(result, PF_Err_NONE);
    EXPECT_EQ(pixels(before), pixels(after));
    EXPECT_EQ(host->globalSetDown(), PF_Err_NONE);
}
