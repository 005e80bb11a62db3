// The built frei0r module, ostrel_solvane.so, loaded and driven through its f0r_
// functions the way a frei0r host does: what it declares, its values, frames of
// several instances and host threads through the one loaded plug-in, refused
// frames, and a standard output that carries nothing but the host's own.
// The frei0r module exists for Linux only.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <dlfcn.h>

extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "standin/HostWorld.h"
#include "cli/PngImage.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::StandIn;
namespace Support = Tamrin::Solvane::Test;
using Tamrin::Solvane::Test::sameBytes;
using Tamrin::Solvane::Test::sameImage;

namespace {

std::string modulePath() { return std::string(SOLVANE_BINARY_DIR) + "/ostrel_solvane.so"; }

// A frame's pixels as the bytes they are in memory: frei0r's RGBA.
std::vector<std::uint8_t> bytesOf(const std::vector<uint32_t>& frame)
{
    std::vector<std::uint8_t> bytes(frame.size() * 4);
    std::memcpy(bytes.data(), frame.data(), bytes.size());
    return bytes;
}

// The module's functions, resolved by name as a host resolves them.
struct Frei0rModule {
    void* handle = nullptr;
    int (*init)() = nullptr;
    void (*deinit)() = nullptr;
    void (*pluginInfo)(f0r_plugin_info_t*) = nullptr;
    void (*paramInfo)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*construct)(unsigned int, unsigned int) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*setParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*getParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;

    template <typename T>
    void resolve(T& function, const char* name)
    {
        function = reinterpret_cast<T>(dlsym(handle, name));
        ASSERT_NE(function, nullptr) << name;
    }
    void load()
    {
        handle = dlopen(modulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        resolve(init, "f0r_init");
        resolve(deinit, "f0r_deinit");
        resolve(pluginInfo, "f0r_get_plugin_info");
        resolve(paramInfo, "f0r_get_param_info");
        resolve(construct, "f0r_construct");
        resolve(destruct, "f0r_destruct");
        resolve(setParam, "f0r_set_param_value");
        resolve(getParam, "f0r_get_param_value");
        resolve(update, "f0r_update");
    }
};

// A frame in frei0r's byte order (red, green, blue, alpha): bright spots on a dark ground, some transparent pixels.
std::vector<uint32_t> testFrame(int width, int height)
{
    std::vector<uint32_t> frame(static_cast<std::size_t>(width) * height);
    auto* bytes = reinterpret_cast<std::uint8_t*>(frame.data());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, bytes += 4) {
            const bool bright = (x / 6 + y / 5) % 4 == 0;
            bytes[0] = bright ? 250 : 30;
            bytes[1] = bright ? 230 : 40;
            bytes[2] = bright ? 180 : 60;
            bytes[3] = (x + y) % 11 == 0 ? 0 : 255;
        }
    }
    return frame;
}

// How many OpenGL contexts the plug-in made: it prints an identification block for each.
int contextsMade(const std::string& diagnostics)
{
    int count = 0;
    for (auto at = diagnostics.find("OpenGL Version"); at != std::string::npos;
         at = diagnostics.find("OpenGL Version", at + 1)) {
        ++count;
    }
    return count;
}

class Frei0rModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module.load();
        ASSERT_EQ(module.init(), 1);
    }
    void TearDown() override
    {
        for (f0r_instance_t instance : instances) {
            module.destruct(instance);
        }
        module.deinit();
        // The module stays loaded (it is linked not to unload); the plug-in was set down and unloaded above.
        dlclose(module.handle);
    }

    f0r_instance_t make(unsigned int width, unsigned int height)
    {
        f0r_instance_t instance = module.construct(width, height);
        EXPECT_NE(instance, nullptr);
        if (instance) {
            instances.push_back(instance);
        }
        return instance;
    }
    void drop(f0r_instance_t instance)
    {
        module.destruct(instance);
        instances.erase(std::find(instances.begin(), instances.end(), instance));
    }
    std::vector<uint32_t> render(f0r_instance_t instance, const std::vector<uint32_t>& in, double time = 0.0)
    {
        std::vector<uint32_t> out(in.size(), 0x5A5A5A5Au);
        module.update(instance, time, in.data(), out.data());
        return out;
    }
    double number(f0r_instance_t instance, int index)
    {
        double value = -1.0;
        module.getParam(instance, &value, index);
        return value;
    }

    Frei0rModule module;
    std::vector<f0r_instance_t> instances;
};

TEST_F(Frei0rModuleTest, DescribesAFilterWithEightParameters)
{
    f0r_plugin_info_t info{};
    module.pluginInfo(&info);
    // The name hosts show and search (GStreamer's element and its long name, Pitivi's list); the explanation names
    // the effect's maker.
    EXPECT_STREQ(info.name, "Light Shafts");
    EXPECT_EQ(std::string(info.explanation).rfind("Ostrel Solvane light shafts: ", 0), 0u) << info.explanation;
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    EXPECT_EQ(info.major_version, 1);
    EXPECT_EQ(info.minor_version, 0);
    ASSERT_EQ(info.num_params, 8);

    const char* names[] = {"Threshold", "Threshold Smooth", "Center X", "Center Y", "Shine Length", "Exposure",
                           "Quality", "Ray Only"};
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t param{};
        module.paramInfo(&param, i);
        EXPECT_STREQ(param.name, names[i]);
        ASSERT_NE(param.explanation, nullptr);
    }
    f0r_param_info_t beyond{"untouched", -1, nullptr};
    module.paramInfo(&beyond, 8);
    module.paramInfo(&beyond, -1);
    EXPECT_STREQ(beyond.name, "untouched");
}

TEST_F(Frei0rModuleTest, InstanceStartsAtTheDeclaredDefaultsAndKeepsWhatTheHostSets)
{
    // The values themselves are checked against the plug-in's declaration in Frei0rParametersTest.
    f0r_instance_t instance = make(64, 48);
    ASSERT_NE(instance, nullptr);
    const double defaults[] = {0.5, 0.0, 0.5, 0.5, 1.0, 0.1, 0.5, 0.0};
    for (int i = 0; i < 8; ++i) {
        EXPECT_DOUBLE_EQ(number(instance, i), defaults[i]) << i;
    }

    double threshold = 0.3;
    module.setParam(instance, &threshold, 0);
    double centerX = -0.25;
    double centerY = 1.25;
    module.setParam(instance, &centerX, 2);
    module.setParam(instance, &centerY, 3);
    // A render leaves the values as they were, and another instance has values of its own.
    render(instance, testFrame(64, 48));
    EXPECT_DOUBLE_EQ(number(instance, 0), 0.3);
    EXPECT_DOUBLE_EQ(number(instance, 2), -0.25);
    EXPECT_DOUBLE_EQ(number(instance, 3), 1.25);
    EXPECT_DOUBLE_EQ(number(make(32, 32), 0), 0.5);
}

TEST_F(Frei0rModuleTest, RendersTheFrameSolvaneRenders)
{
    const std::string input = Support::sourcePath("examples/sample.png");
    const Cli::RgbaImage image = Cli::readPng(input);
    f0r_instance_t instance = make(static_cast<unsigned>(image.width), static_cast<unsigned>(image.height));
    ASSERT_NE(instance, nullptr);
    // Other values than the ffmpeg test's: low quality, shafts over the frame, a centre near a corner.
    const double values[] = {0.4, 0.1, 0.8, 0.2, 0.25, 0.9, 1.0, 0.0};
    for (int i = 0; i < 8; ++i) {
        double value = values[i];
        module.setParam(instance, &value, i);
    }

    std::vector<uint32_t> in(image.pixels.size() / 4);
    std::memcpy(in.data(), image.pixels.data(), image.pixels.size());
    const std::vector<uint32_t> before = in;
    const std::vector<uint32_t> out = render(instance, in, 2.5);
    EXPECT_TRUE(sameBytes(in, before));

    const Support::ScratchFolder folder;
    const std::string expected = folder / "expected.png";
    const std::string command = Support::solvanePath() + " render " + input + " " + expected +
                                " --threshold 40 --threshold-smooth 10 --center 512,80 --shine-length 512"
                                " --exposure 90 --quality low";
    std::string log;
    ASSERT_EQ(Support::runCommand(command, &log), 0) << log;
    const Cli::RgbaImage reference = Cli::readPng(expected);
    ASSERT_EQ(reference.pixels.size(), image.pixels.size());
    EXPECT_TRUE(sameImage("module", image.width, image.height, bytesOf(out), reference.pixels));
}

TEST_F(Frei0rModuleTest, InstancesOfTwoSizesShareOnePlugin)
{
    const auto frameA = testFrame(64, 48);
    const auto frameB = testFrame(40, 24);
    testing::internal::CaptureStderr();
    f0r_instance_t a = make(64, 48);
    f0r_instance_t b = make(40, 24);
    ASSERT_TRUE(a && b);
    const auto a1 = render(a, frameA);
    const auto b1 = render(b, frameB);
    const auto a2 = render(a, frameA);
    drop(a);
    const auto b2 = render(b, frameB);
    const std::string diagnostics = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(sameImage("a-again", 64, 48, bytesOf(a2), bytesOf(a1)));
    EXPECT_TRUE(sameImage("b-again", 40, 24, bytesOf(b2), bytesOf(b1)));
    EXPECT_FALSE(sameBytes(a1, frameA));
    EXPECT_FALSE(sameBytes(b1, frameB));
    // One set-up (the shared context) and one render thread, whatever the sizes.
    EXPECT_EQ(contextsMade(diagnostics), 2) << diagnostics;
}

TEST_F(Frei0rModuleTest, HostThreadsRenderThroughOneRenderThread)
{
    const auto frame = testFrame(48, 40);
    testing::internal::CaptureStderr();
    f0r_instance_t first = make(48, 40);
    ASSERT_NE(first, nullptr);
    const auto expected = render(first, frame);

    // frei0r lets each instance be driven by its own thread, at the same time as the others.
    std::vector<f0r_instance_t> own;
    for (int i = 0; i < 3; ++i) {
        own.push_back(make(48, 40));
        ASSERT_NE(own.back(), nullptr);
    }
    std::vector<std::vector<uint32_t>> results(own.size() * 2);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < own.size(); ++i) {
        threads.emplace_back([&, i] {
            results[2 * i] = render(own[i], frame);
            results[2 * i + 1] = render(own[i], frame, 0.04);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_TRUE(sameImage("thread-render-" + std::to_string(i), 48, 40, bytesOf(results[i]), bytesOf(expected)));
    }
    EXPECT_EQ(contextsMade(diagnostics), 2) << diagnostics;
}

TEST_F(Frei0rModuleTest, RefusedFramePassesThroughAndSaysWhyOnce)
{
    // Wider than llvmpipe's largest texture: the plug-in refuses it before drawing.
    const int width = 20000;
    const int height = 8;
    const auto frame = testFrame(width, height);
    testing::internal::CaptureStderr();
    f0r_instance_t instance = make(width, height);
    ASSERT_NE(instance, nullptr);
    EXPECT_TRUE(sameImage("refused", width, height, bytesOf(render(instance, frame)), bytesOf(frame)));
    EXPECT_TRUE(sameImage("refused-again", width, height, bytesOf(render(instance, frame)), bytesOf(frame)));
    std::vector<uint32_t> inPlace = frame;
    module.update(instance, 0.0, inPlace.data(), inPlace.data());
    EXPECT_TRUE(sameImage("refused-in-place", width, height, bytesOf(inPlace), bytesOf(frame)));
    const std::string diagnostics = testing::internal::GetCapturedStderr();

    const std::string message = "ostrel_solvane: the plug-in did not render a 20000x8 frame: bad callback parameter";
    const auto first = diagnostics.find(message);
    ASSERT_NE(first, std::string::npos) << diagnostics;
    EXPECT_EQ(diagnostics.find(message, first + 1), std::string::npos) << diagnostics;
    EXPECT_NE(diagnostics.find("pass through unchanged"), std::string::npos);

    // The plug-in goes on with frames it can draw.
    f0r_instance_t small = make(16, 16);
    const auto smallFrame = testFrame(16, 16);
    EXPECT_FALSE(sameBytes(render(small, smallFrame), smallFrame));
}

TEST_F(Frei0rModuleTest, StandardOutputCarriesNothingOfThePlugin)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::printf("host before|");
    f0r_instance_t instance = make(32, 24);
    render(instance, testFrame(32, 24));
    std::printf("host after");
    drop(instance);
    const std::string output = testing::internal::GetCapturedStdout();
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    EXPECT_EQ(output, "host before|host after");
    // The plug-in's identification blocks went to standard error instead.
    EXPECT_EQ(contextsMade(diagnostics), 2) << diagnostics;
}

TEST_F(Frei0rModuleTest, QuietEnvironmentDropsThePluginsDiagnostics)
{
    // SOLVANE_QUIET is read when the plug-in is set up: by the first instance once no f0r_init is open.
    module.deinit();
    auto run = [&](const char* quiet, std::string& output, std::string& diagnostics) {
        setenv("SOLVANE_QUIET", quiet, 1);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        std::printf("host before|");
        f0r_instance_t instance = make(32, 24);
        const auto frame = testFrame(32, 24);
        EXPECT_FALSE(sameBytes(render(instance, frame), frame));
        std::printf("host after");
        drop(instance);
        output = testing::internal::GetCapturedStdout();
        diagnostics = testing::internal::GetCapturedStderr();
        unsetenv("SOLVANE_QUIET");
    };
    std::string output;
    std::string diagnostics;
    run("1", output, diagnostics);
    EXPECT_EQ(output, "host before|host after");
    EXPECT_EQ(diagnostics, "");
    // "0" and an empty value are not a request for quiet.
    for (const char* loud : {"0", ""}) {
        run(loud, output, diagnostics);
        EXPECT_EQ(output, "host before|host after");
        EXPECT_EQ(contextsMade(diagnostics), 2) << loud;
    }
    ASSERT_EQ(module.init(), 1);
}

TEST_F(Frei0rModuleTest, PluginStaysLoadedFromInitToDeinit)
{
    testing::internal::CaptureStderr();
    f0r_instance_t first = make(16, 16);
    render(first, testFrame(16, 16));
    drop(first);
    // Within f0r_init and f0r_deinit a new instance finds the plug-in set up, with its render thread.
    f0r_instance_t second = make(24, 16);
    render(second, testFrame(24, 16));
    drop(second);
    EXPECT_EQ(contextsMade(testing::internal::GetCapturedStderr()), 2);

    // After f0r_deinit, the last instance sets it down: the next one sets it up again.
    module.deinit();
    testing::internal::CaptureStderr();
    f0r_instance_t third = make(16, 16);
    render(third, testFrame(16, 16));
    drop(third);
    EXPECT_EQ(contextsMade(testing::internal::GetCapturedStderr()), 2);
    ASSERT_EQ(module.init(), 1);
}

TEST_F(Frei0rModuleTest, BadCallsAndAMissingPluginDoNoHarm)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(module.construct(0, 16), nullptr);
    EXPECT_EQ(module.construct(16, 0), nullptr);
    module.destruct(nullptr);
    module.update(nullptr, 0.0, nullptr, nullptr);
    module.pluginInfo(nullptr);
    module.paramInfo(nullptr, 0);

    f0r_instance_t instance = make(16, 16);
    ASSERT_NE(instance, nullptr);
    module.update(instance, 0.0, nullptr, nullptr);
    module.setParam(instance, nullptr, 0);
    module.getParam(instance, nullptr, 0);
    double value = 0.7;
    module.setParam(instance, &value, 9);
    module.getParam(instance, &value, -3);
    EXPECT_DOUBLE_EQ(value, 0.7);
    drop(instance);
    module.deinit();

    // Without the plug-in there is no instance, and the reason names where it was looked for.
    setenv("SOLVANE_PLUGIN", "no-such-folder/OstrelSolvane.aex", 1);
    EXPECT_EQ(module.construct(16, 16), nullptr);
    unsetenv("SOLVANE_PLUGIN");
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    EXPECT_NE(diagnostics.find("ostrel_solvane: cannot start the effect: no-such-folder/OstrelSolvane.aex"),
              std::string::npos)
        << diagnostics;
    EXPECT_NE(diagnostics.find("SOLVANE_PLUGIN"), std::string::npos);
    ASSERT_EQ(module.init(), 1);
}

} // namespace

#endif
