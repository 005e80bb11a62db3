// The OBS module in libobs, as OBS runs it: an image source with the filter on the
// output channel, the output frames taken as OBS hands them to its outputs. Runs
// under xvfb-run (libobs needs an X display). Each frame is compared with
// `solvane render` of the same picture and values.
#include <EGL/egl.h>
#include <gtest/gtest.h>
#include <obs-module.h>
#include <util/text-lookup.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "ObsHarness.h"
#include "cli/PngImage.h"
#include "support/HostTestSupport.h"

namespace Tamrin {
namespace Solvane {
namespace Test {

namespace {

// The output canvas; sources smaller than it are drawn at its top left, on black.
constexpr std::uint32_t kCanvasWidth = 160;
constexpr std::uint32_t kCanvasHeight = 96;

// Frames OBS holds in its pipeline before a change reaches its output. When rendering lags
// OBS repeats frames, so a change may take longer: settledMatch waits up to kPatienceFrames.
constexpr int kSettleFrames = 8;
constexpr int kPatienceFrames = 150;

// The project's tolerance for frames of llvmpipe against each other or a reference: a
// few bytes a frame may round one level apart (LightShaftRendererGLTest); here both
// sides come from the same plug-in on the same driver.
constexpr int kFrameTolerance = 2;

const char* const kFilterId = "ostrel_solvane_light_shafts";
const char* const kRefusedMessage = "did not render";

ObsRuntime* runtime = nullptr;

// A dark picture with a bright disc and bright bars, opaque, so that shafts show.
Cli::RgbaImage makePicture(int width, int height, int seed)
{
    Cli::RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(y) * width + x) * 4];
            const double dx = x - width * (0.3 + 0.05 * seed);
            const double dy = y - height * 0.4;
            const bool disc = dx * dx + dy * dy < (height * 0.15) * (height * 0.15);
            const bool bar = ((x / 7 + seed) % 5 == 0) && y > height * 0.6;
            p[0] = disc || bar ? 250 : static_cast<std::uint8_t>(20 + (x * 40) / width);
            p[1] = disc ? 230 : bar ? 200 : static_cast<std::uint8_t>(25 + (y * 50) / height);
            p[2] = disc ? 160 : bar ? 240 : 40;
            p[3] = 255;
        }
    }
    return image;
}

struct Values {
    double threshold = 40;
    double thresholdSmooth = 0;
    int shineLength = 2048;
    double exposure = 30;
    int quality = 2;
    bool rayOnly = false;
    double centerX = 62.5; // per cent of the source
    double centerY = 37.5;
};

void apply(obs_source_t* filter, const Values& values)
{
    obs_data_t* settings = obs_data_create();
    obs_data_set_double(settings, "threshold", values.threshold);
    obs_data_set_double(settings, "threshold_smoothness", values.thresholdSmooth);
    obs_data_set_int(settings, "shine_length", values.shineLength);
    obs_data_set_double(settings, "exposure", values.exposure);
    obs_data_set_int(settings, "quality", values.quality);
    obs_data_set_bool(settings, "ray_only", values.rayOnly);
    obs_data_set_double(settings, "center_x", values.centerX);
    obs_data_set_double(settings, "center_y", values.centerY);
    obs_source_update(filter, settings);
    obs_data_release(settings);
}

// `solvane render` of the picture with the same values.
Cli::RgbaImage solvaneRender(const std::string& input, const std::string& output, int width, int height,
                             const Values& values)
{
    const char* const qualities[] = {"", "high", "medium", "low"};
    std::ostringstream command;
    command << solvanePath() << " render " << input << " " << output << " --threshold " << values.threshold
            << " --threshold-smooth " << values.thresholdSmooth << " --shine-length " << values.shineLength
            << " --exposure " << values.exposure << " --quality " << qualities[values.quality] << " --center "
            << values.centerX / 100.0 * width << "," << values.centerY / 100.0 * height
            << (values.rayOnly ? " --ray-only" : "") << " --quiet";
    std::string said;
    const int status = runCommand(command.str(), &said);
    if (status != 0) {
        throw std::runtime_error("solvane render failed (" + std::to_string(status) + "): " + said);
    }
    return Cli::readPng(output);
}

std::filesystem::path evidenceFolder;
int evidenceCount = 0;

// The canvas's top-left width × height pixels against an image of that size, and the rest
// transparent (OBS leaves colour there, the source's last column, with alpha 0). Colours are
// compared where the image is opaque, alpha everywhere.
// A frame that differs is written into the test's folder as actual-N.png.
struct Difference {
    int worst = 0;
    int worstX = 0;
    int worstY = 0;
    long differing = 0;
};

Difference difference(const ObsFrame& frame, const Cli::RgbaImage& expected)
{
    Difference result;
    int& worst = result.worst;
    int& worstX = result.worstX;
    int& worstY = result.worstY;
    long& differing = result.differing;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const std::uint8_t* actual = &frame.rgba[(static_cast<std::size_t>(y) * frame.width + x) * 4];
            const bool inside = x < expected.width && y < expected.height;
            static const std::uint8_t transparent[4] = {0, 0, 0, 0};
            const std::uint8_t* wanted =
                inside ? &expected.pixels[(static_cast<std::size_t>(y) * expected.width + x) * 4] : transparent;
            // OBS draws a source's straight alpha over its canvas (blending in linear light): where
            // the expected frame is not opaque (the rays alone), only the alpha is the filter's own.
            const bool colour = inside && wanted[3] == 255;
            for (int c = colour ? 0 : 3; c < 4; ++c) {
                const int delta = std::abs(int(actual[c]) - int(wanted[c]));
                differing += delta > 0 ? 1 : 0;
                if (delta > worst) {
                    worst = delta;
                    worstX = x;
                    worstY = y;
                }
            }
        }
    }
    return result;
}

bool matchesQuietly(const ObsFrame& frame, const Cli::RgbaImage& expected, int tolerance)
{
    return difference(frame, expected).worst <= tolerance;
}

::testing::AssertionResult matches(const ObsFrame& frame, const Cli::RgbaImage& expected, int tolerance)
{
    const auto [worst, worstX, worstY, differing] = difference(frame, expected);
    if (worst <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    const std::string written = (evidenceFolder / ("actual-" + std::to_string(evidenceCount++) + ".png")).string();
    try {
        Cli::writePngAtomically(written, Cli::RgbaImage{frame.width, frame.height, frame.rgba});
    } catch (const std::exception&) {
    }
    return ::testing::AssertionFailure() << written << ": " << differing << " bytes differ, the most by " << worst << " levels at ("
                                         << worstX << ", " << worstY << ")";
}

// The first output frame, from kSettleFrames on, that matches; or the last one tried, and why not.
::testing::AssertionResult settledMatch(const Cli::RgbaImage& expected, int tolerance, ObsFrame* frame = nullptr)
{
    ObsFrame latest = runtime->frameAfter(kSettleFrames);
    for (int i = 0; i < kPatienceFrames; ++i) {
        latest = runtime->frameAfter(1);
        if (matchesQuietly(latest, expected, tolerance)) {
            break;
        }
    }
    if (frame) {
        *frame = latest;
    }
    return matches(latest, expected, tolerance);
}

// The changes a filter chain makes to OBS's own OpenGL context, seen by a filter placed
// outside ours: the EGL context, display and surfaces current on OBS's graphics thread
// before the chain renders against after it. (Bindings made through OBS's graphics calls,
// which OBS tracks itself, may differ, as after any filter.)
struct ContextProbe {
    std::atomic<int> frames{0};
    std::atomic<int> changed{0};
    std::atomic<bool> outsideOurs{false};
};
ContextProbe probe;

struct GlState {
    EGLContext context;
    EGLDisplay display;
    EGLSurface draw;
    EGLSurface read;
    bool operator==(const GlState& other) const
    {
        return context == other.context && display == other.display && draw == other.draw && read == other.read;
    }
};

GlState currentGlState()
{
    return GlState{eglGetCurrentContext(), eglGetCurrentDisplay(), eglGetCurrentSurface(EGL_DRAW),
                   eglGetCurrentSurface(EGL_READ)};
}

void registerProbe()
{
    obs_source_info info = {};
    info.id = "solvane_test_context_probe";
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO;
    info.get_name = [](void*) { return "Context probe"; };
    info.create = [](obs_data_t*, obs_source_t* context) -> void* { return context; };
    info.destroy = [](void*) {};
    info.video_render = [](void* data, gs_effect_t*) {
        auto* context = static_cast<obs_source_t*>(data);
        obs_source_t* target = obs_filter_get_target(context);
        probe.outsideOurs = target && std::string(obs_source_get_id(target)) == kFilterId;
        const GlState before = currentGlState();
        obs_source_skip_video_filter(context);
        const GlState after = currentGlState();
        ++probe.frames;
        if (!(before == after) || after.context == EGL_NO_CONTEXT) {
            ++probe.changed;
        }
    };
    obs_register_source(&info);
}

class ObsFilterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(runtime, nullptr);
        folder = std::filesystem::temp_directory_path() /
                 ("solvane-obs-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
        evidenceFolder = folder;
    }
    void TearDown() override
    {
        obs_set_output_source(0, nullptr);
        if (filter) {
            obs_source_filter_remove(source, filter);
            obs_source_release(filter);
        }
        if (source) {
            obs_source_release(source);
        }
        if (HasFailure()) {
            // The pictures, the expected frames and the frames OBS gave stay for a person to look at.
            std::printf("frames kept in %s\n", folder.string().c_str());
            return;
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    std::string picture(const std::string& name, int width, int height, int seed)
    {
        const std::string path = (folder / name).string();
        Cli::writePngAtomically(path, makePicture(width, height, seed));
        return path;
    }

    void show(const std::string& path, const Values& values)
    {
        source = showImage(path);
        filter = obs_source_create_private(kFilterId, "Light Shafts", nullptr);
        ASSERT_NE(filter, nullptr);
        apply(filter, values);
        obs_source_filter_add(source, filter);
    }

    void showFile(const std::string& path)
    {
        obs_data_t* settings = obs_data_create();
        obs_data_set_string(settings, "file", path.c_str());
        obs_source_update(source, settings);
        obs_data_release(settings);
    }

    std::filesystem::path folder;
    obs_source_t* source = nullptr;
    obs_source_t* filter = nullptr;
};

} // namespace

// Several values through OBS and through `solvane render`: the same frames, and OBS's
// own OpenGL context current and its bindings unchanged around the filter every frame.
TEST_F(ObsFilterTest, FramesEqualSolvaneRenderAndLeaveObsContextAlone)
{
    const std::string input = picture("picture.png", kCanvasWidth, kCanvasHeight, 0);
    Values first;
    show(input, first);
    obs_source_t* contextProbe = obs_source_create_private("solvane_test_context_probe", "Probe", nullptr);
    ASSERT_NE(contextProbe, nullptr);
    obs_source_filter_add(source, contextProbe);

    Values rayOnly;
    rayOnly.rayOnly = true;
    rayOnly.quality = 1;
    rayOnly.exposure = 60;
    Values offScreen;
    offScreen.centerX = -50;
    offScreen.centerY = 25;
    offScreen.quality = 3;
    offScreen.threshold = 70;
    offScreen.thresholdSmooth = 20;
    offScreen.shineLength = 60;
    int index = 0;
    for (const Values& values : {first, rayOnly, offScreen}) {
        SCOPED_TRACE("values " + std::to_string(index));
        apply(filter, values);
        const Cli::RgbaImage expected = solvaneRender(
            input, (folder / ("expected" + std::to_string(index++) + ".png")).string(), kCanvasWidth, kCanvasHeight,
            values);
        ObsFrame frame;
        EXPECT_TRUE(settledMatch(expected, kFrameTolerance, &frame));
        EXPECT_FALSE(matches(frame, Cli::readPng(input), 8)) << "the frame shows no effect";
    }
    EXPECT_TRUE(probe.outsideOurs.load());
    EXPECT_GT(probe.frames.load(), 0);
    EXPECT_EQ(probe.changed.load(), 0);
    EXPECT_EQ(runtime->logCount(kRefusedMessage), 0);
    obs_source_filter_remove(source, contextProbe);
    obs_source_release(contextProbe);
}

// A source that changes size, smaller and back, then in its height alone and in its width alone, is followed from
// one frame to the next.
TEST_F(ObsFilterTest, FollowsASourceThatChangesSize)
{
    const std::string large = picture("large.png", kCanvasWidth, kCanvasHeight, 1);
    const std::string small = picture("small.png", 120, 70, 2);
    const std::string shorter = picture("shorter.png", kCanvasWidth, 70, 3);
    const std::string narrower = picture("narrower.png", 120, kCanvasHeight, 4);
    const Values values;
    show(large, values);
    int index = 0;
    for (const auto& [path, width, height] : {std::tuple<std::string, int, int>{large, kCanvasWidth, kCanvasHeight},
                                               {small, 120, 70},
                                               {large, kCanvasWidth, kCanvasHeight},
                                               {shorter, kCanvasWidth, 70},
                                               {large, kCanvasWidth, kCanvasHeight},
                                               {narrower, 120, kCanvasHeight}}) {
        SCOPED_TRACE(path);
        showFile(path);
        const Cli::RgbaImage expected =
            solvaneRender(path, (folder / ("expected" + std::to_string(index++) + ".png")).string(), width, height,
                          values);
        EXPECT_TRUE(settledMatch(expected, kFrameTolerance));
    }
}

// A disabled filter leaves the source as it is.
TEST_F(ObsFilterTest, DisabledFilterShowsTheInput)
{
    const std::string input = picture("picture.png", kCanvasWidth, kCanvasHeight, 3);
    show(input, Values());
    obs_source_set_enabled(filter, false);
    EXPECT_TRUE(settledMatch(Cli::readPng(input), 0));
    obs_source_set_enabled(filter, true);
    EXPECT_FALSE(matches(runtime->frameAfter(kSettleFrames), Cli::readPng(input), 8));
}

// A frame the plug-in refuses (a ray box beyond the OpenGL limit: 16384 pixels wide with the
// light far to its left, at High quality) passes through unchanged, with one line in OBS's log however many
// frames come; the next frame of a size it draws is rendered again.
TEST_F(ObsFilterTest, RefusedFrameSizePassesThroughWithOneMessage)
{
    const int before = runtime->logCount(kRefusedMessage);
    const std::string wide = picture("wide.png", 16384, 8, 4);
    Values values;
    values.centerX = -50;
    values.centerY = 50;
    values.quality = 1;
    show(wide, values);
    const Cli::RgbaImage input = Cli::readPng(wide);
    Cli::RgbaImage visible;
    visible.width = kCanvasWidth;
    visible.height = input.height;
    for (int y = 0; y < input.height; ++y) {
        const auto row = input.pixels.begin() + static_cast<std::ptrdiff_t>(y) * input.width * 4;
        visible.pixels.insert(visible.pixels.end(), row, row + kCanvasWidth * 4);
    }
    EXPECT_TRUE(settledMatch(visible, 0));
    runtime->frameAfter(kSettleFrames);
    EXPECT_EQ(runtime->logCount(kRefusedMessage) - before, 1);

    const std::string drawn = picture("drawn.png", kCanvasWidth, kCanvasHeight, 0);
    showFile(drawn);
    EXPECT_TRUE(settledMatch(solvaneRender(drawn, (folder / "expected.png").string(), kCanvasWidth, kCanvasHeight,
                                           values),
                             kFrameTolerance));
}

// The filter's texts as OBS shows them: each property named from the module's locale in
// English, and every English text also in Simplified Chinese, translated.
TEST(ObsFilterTexts, PropertiesHaveEnglishAndChineseNames)
{
    EXPECT_STREQ(obs_source_get_display_name(kFilterId), "Light Shafts (Ostrel Solvane)");
    obs_properties_t* properties = obs_get_source_properties(kFilterId);
    ASSERT_NE(properties, nullptr);
    int count = 0;
    for (obs_property_t* p = obs_properties_first(properties); p; obs_property_next(&p)) {
        const std::string name = obs_property_name(p);
        const char* description = obs_property_description(p);
        ASSERT_NE(description, nullptr) << name;
        EXPECT_STRNE(description, "") << name;
        // A key missing from the locale file shows as the key itself.
        EXPECT_EQ(std::string(description).find_first_of("._"), std::string::npos) << name << ": " << description;
        ++count;
    }
    obs_properties_destroy(properties);
    EXPECT_EQ(count, 8);

    obs_module_t* module = obs_get_module("ostrel-solvane");
    ASSERT_NE(module, nullptr);
    lookup_t* english = obs_module_load_locale(module, "en-US", "en-US");
    lookup_t* chinese = obs_module_load_locale(module, "en-US", "zh-CN");
    ASSERT_NE(english, nullptr);
    ASSERT_NE(chinese, nullptr);
    for (const char* key : {"LightShafts", "Threshold", "ThresholdSmooth", "Threshold.Description", "Exposure", "ShineLength", "Quality",
                            "Quality.High", "Quality.Medium", "Quality.Low", "RayOnly", "CenterX", "CenterY"}) {
        const char* inEnglish = nullptr;
        const char* inChinese = nullptr;
        EXPECT_TRUE(text_lookup_getstr(english, key, &inEnglish)) << key;
        EXPECT_TRUE(text_lookup_getstr(chinese, key, &inChinese)) << key;
        if (inEnglish && inChinese) {
            EXPECT_STRNE(inEnglish, inChinese) << key;
        }
    }
    text_lookup_destroy(english);
    text_lookup_destroy(chinese);
}

// Without the plug-in (ctest runs this case alone as ObsFilterWithoutPluginTest, with
// SOLVANE_PLUGIN naming a file that is not there): the filter says so once in OBS's log,
// naming the file, and frames pass through unchanged.
TEST_F(ObsFilterTest, WithoutThePluginFramesPassThroughAndTheLogSaysWhy)
{
    const char* configured = std::getenv("SOLVANE_PLUGIN");
    if (!configured || std::filesystem::exists(configured)) {
        GTEST_SKIP() << "runs with SOLVANE_PLUGIN naming a missing file";
    }
    const std::string input = picture("picture.png", kCanvasWidth, kCanvasHeight, 5);
    show(input, Values());
    EXPECT_TRUE(settledMatch(Cli::readPng(input), 0));
    EXPECT_EQ(runtime->logCount("the plug-in could not be loaded"), 1);
    EXPECT_EQ(runtime->logCount(configured), 1);
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    int status = 1;
    try {
        Tamrin::Solvane::Test::ObsRuntime obs(Tamrin::Solvane::Test::kCanvasWidth,
                                              Tamrin::Solvane::Test::kCanvasHeight, 30);
        Tamrin::Solvane::Test::registerProbe();
        Tamrin::Solvane::Test::runtime = &obs;
        status = RUN_ALL_TESTS();
        Tamrin::Solvane::Test::runtime = nullptr;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return status;
}
