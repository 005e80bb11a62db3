// The GIMP plug-in as GIMP runs it: installed by `cmake --install --component gimp` into a temporary
// prefix, and called from Script-Fu in gimp-console-2.10's batch mode
// (scripts/gimp-batch.sh: a temporary home, the plug-in path narrowed to ours and
// GIMP's PNG loader, every run bounded in time). GIMP exits with 0 even when a batch
// command fails, so every case is judged by the file its script saves (or does not
// save), against `solvane render` of the same picture. Each test is one GIMP run, its
// cases each a batch command of their own, since GIMP's start-up is most of the time.

#include <gtest/gtest.h>

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/PngImage.h"
#include "support/HostTestSupport.h"
#include "support/PngTestFiles.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

// A PNG's samples as stored (16-bit ones kept), for checking what GIMP saved.
struct Samples {
    int width = 0, height = 0, channels = 0, depth = 0;
    std::vector<std::uint16_t> values;
    std::uint16_t at(int x, int y, int c) const
    {
        return values[(static_cast<std::size_t>(y) * width + x) * channels + c];
    }
};

Samples readSamples(const std::string& path)
{
    Samples samples;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        return samples;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Samples{};
    }
    png_init_io(png, file.get());
    png_read_png(png, info, PNG_TRANSFORM_EXPAND, nullptr);
    samples.width = static_cast<int>(png_get_image_width(png, info));
    samples.height = static_cast<int>(png_get_image_height(png, info));
    samples.channels = png_get_channels(png, info);
    samples.depth = png_get_bit_depth(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (int y = 0; y < samples.height; ++y) {
        for (int i = 0; i < samples.width * samples.channels; ++i) {
            samples.values.push_back(samples.depth == 16
                                         ? static_cast<std::uint16_t>(rows[y][2 * i] << 8 | rows[y][2 * i + 1])
                                         : rows[y][i]);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return samples;
}

// A picture with something to shine: a dark gradient, two bright discs and a bright
// bar; with alpha, a ramp from transparent to opaque across it.
std::vector<std::uint8_t> picture(int width, int height, bool alpha)
{
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool disc = (x - 50) * (x - 50) + (y - 40) * (y - 40) < 150 ||
                              (x - 120) * (x - 120) + (y - 70) * (y - 70) < 60;
            const bool bar = y > 10 && y < 16 && x > 70;
            rgba.push_back(static_cast<std::uint8_t>(disc ? 250 : bar ? 230 : 20 + x / 4));
            rgba.push_back(static_cast<std::uint8_t>(disc ? 240 : bar ? 200 : 30 + y / 3));
            rgba.push_back(static_cast<std::uint8_t>(disc ? 200 : bar ? 120 : 60));
            if (alpha) {
                rgba.push_back(static_cast<std::uint8_t>(x < 20 ? 0 : std::min(255, 40 + x * 2)));
            }
        }
    }
    return rgba;
}

void writePicture(const std::string& path, int width, int height, int bitDepth, bool alpha,
                  const std::vector<std::uint16_t>& samples)
{
    Support::PngFileSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitDepth = bitDepth;
    spec.colorType = alpha ? 6 : 2;
    spec.samples = samples;
    Support::writeBytes(path, Support::encodePngFile(spec));
}

constexpr int kWidth = 160;
constexpr int kHeight = 100;

class GimpPlugin : public ::testing::Test {
protected:
    // Each test in a folder of its own (ctest runs them side by side), with the plug-in installed there and the
    // pictures written.
    void SetUp() override
    {
        if (Support::runCommand("command -v gimp-console-2.10") != 0) {
            GTEST_SKIP() << "gimp-console-2.10 is not installed (scripts/setup.sh installs Debian's gimp)";
        }
        folder = std::string(SOLVANE_BINARY_DIR) + "/gimp-plugin/" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        prefix = folder + "/prefix";
        ASSERT_EQ(Support::runCommand("cmake --install " + std::string(SOLVANE_BINARY_DIR) +
                                          " --component gimp --prefix " + prefix,
                                      &log),
                  0)
            << log;

        const std::vector<std::uint8_t> rgba = picture(kWidth, kHeight, true);
        writePicture(folder + "/rgba.png", kWidth, kHeight, 8, true, {rgba.begin(), rgba.end()});
        // 16 bits a sample, each v × 257 moved by a little, so that 8 bits hold v and the low bits say whether a pixel
        // kept its own value.
        const std::vector<std::uint8_t> rgb = picture(kWidth, kHeight, false);
        std::vector<std::uint16_t> deep;
        for (std::size_t i = 0; i < rgb.size(); ++i) {
            const int moved = rgb[i] * 257 + static_cast<int>(i % 7) * 17 - 51;
            deep.push_back(static_cast<std::uint16_t>(std::clamp(moved, rgb[i] * 257 - 120, rgb[i] * 257 + 120)));
        }
        writePicture(folder + "/deep.png", kWidth, kHeight, 16, false, deep);
    }

    // Script-Fu that loads IN, does BEFORE, calls the procedure with the values (after the drawable) and saves the
    // drawable as OUT; every name in the test's folder.
    std::string script(const std::string& in, const std::string& before, const std::string& values,
                       const std::string& out) const
    {
        return "(let* ((image (car (file-png-load RUN-NONINTERACTIVE " + quoted(in) +
               " \"in\"))) (drawable (car (gimp-image-get-active-drawable image)))) " + before +
               " (plug-in-ostrel-solvane RUN-NONINTERACTIVE image drawable " + values + ") " + save(out) + ")";
    }
    std::string save(const std::string& out) const
    {
        // The last 1: colour values of transparent pixels are saved too.
        return "(file-png-save2 RUN-NONINTERACTIVE image drawable " + quoted(out) + " \"out\" 0 9 0 0 0 0 0 0 1)";
    }
    std::string quoted(const std::string& name) const { return "\"" + folder + "/" + name + "\""; }

    // One GIMP run with the installed plug-in, each expression a batch command of its own; false when it ran out
    // of time. What GIMP said is in `log`.
    bool runGimp(const std::vector<std::string>& batch)
    {
        std::string command = kEnvironment + std::string("SOLVANE_GIMP_TIMEOUT=300 ") +
                              Support::sourcePath("scripts/gimp-batch.sh") + " " + prefix + "/lib/gimp/2.0/plug-ins";
        for (const std::string& expression : batch) {
            command += " '" + expression + "'";
        }
        const bool finished = Support::runCommand(command, &log) != 124;
        expectNoSanitizerReport();
        return finished;
    }

    // Built with the sanitizers (scripts/sanitize.sh), the GIMP plug-in's process stops at its first report (its
    // result then goes missing), and the report is in GIMP's output.
    void expectNoSanitizerReport() const
    {
        EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
        EXPECT_EQ(log.find("runtime error:"), std::string::npos) << log;
    }

    // The plug-in's diagnostics dropped; and, in a sanitized build, no leak check at the end of the GIMP plug-in's
    // process: GEGL and babl unload modules of theirs before it, so their allocations held until exit are reported
    // with stacks that cannot be named, let alone told from ours. (The stand-in host and the plug-in are checked
    // for leaks in this program's own process, by GimpPreview, and by solvane's tests.)
    static constexpr const char* kEnvironment =
        "SOLVANE_QUIET=1 ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" ";

    // `solvane render` of a file with the options, as 8-bit RGBA.
    Cli::RgbaImage solvane(const std::string& in, const std::string& options, const std::string& out) const
    {
        std::string output;
        EXPECT_EQ(Support::runCommand(Support::solvanePath() + " --quiet render " + folder + "/" + in + " " + folder +
                                          "/" + out + " " + options,
                                      &output),
                  0)
            << output;
        return Cli::readPng(folder + "/" + out);
    }

    std::string folder;
    std::string prefix;
    std::string log;
};

TEST_F(GimpPlugin, RgbaLayerEqualsSolvaneRenderWithTheSameValuesRepeatedFloatAndRayOnlyToo)
{
    const std::string values = "40 10 30 20 1500 30 1";
    ASSERT_TRUE(runGimp({
        script("rgba.png", "", values + " 0", "rgba-out.png"),
        script("rgba.png", "", values + " 1", "rgba-rays.png"),
        // 32-bit float with linear light: converted there and back to 8 bits around the call.
        "(let* ((image (car (file-png-load RUN-NONINTERACTIVE " + quoted("rgba.png") + " \"in\"))) (drawable (car "
        "(gimp-image-get-active-drawable image)))) (gimp-image-convert-precision image PRECISION-FLOAT-LINEAR) "
        "(plug-in-ostrel-solvane RUN-NONINTERACTIVE image drawable " + values + " 0) (gimp-image-convert-precision "
        "image PRECISION-U8-GAMMA) " + save("float-out.png") + ")",
        // The last values (from a run on a copy) again, as Filters > Repeat does.
        "(let* ((image (car (file-png-load RUN-NONINTERACTIVE " + quoted("rgba.png") + " \"in\"))) (drawable (car "
        "(gimp-image-get-active-drawable image))) (copy (car (gimp-image-duplicate image)))) (plug-in-ostrel-solvane "
        "RUN-NONINTERACTIVE copy (car (gimp-image-get-active-drawable copy)) " + values + " 0) (plug-in-ostrel-solvane "
        "RUN-WITH-LAST-VALS image drawable 0 0 0 0 0 0 0 0) " + save("repeat-out.png") + ")",
    })) << log;

    const std::string options = "--threshold 40 --threshold-smooth 10 --center 30,20 --shine-length 1500 "
                                "--exposure 30 --quality high";
    const Cli::RgbaImage expected = solvane("rgba.png", options, "rgba-expected.png");
    const Cli::RgbaImage actual = Cli::readPng(folder + "/rgba-out.png");
    ASSERT_EQ(actual.width, kWidth) << log;
    EXPECT_TRUE(Support::sameBytes(actual.pixels, expected.pixels));
    EXPECT_NE(actual.pixels, Cli::readPng(folder + "/rgba.png").pixels);

    const Cli::RgbaImage linear = Cli::readPng(folder + "/float-out.png");
    ASSERT_EQ(linear.width, kWidth) << log;
    EXPECT_TRUE(Support::sameBytes(linear.pixels, expected.pixels)) << "through a linear 32-bit float image";

    const Cli::RgbaImage repeated = Cli::readPng(folder + "/repeat-out.png");
    ASSERT_EQ(repeated.width, kWidth) << log;
    EXPECT_TRUE(Support::sameBytes(repeated.pixels, expected.pixels)) << "the last values repeated";

    const Cli::RgbaImage rays = Cli::readPng(folder + "/rgba-rays.png");
    ASSERT_EQ(rays.width, kWidth) << log;
    EXPECT_TRUE(Support::sameBytes(rays.pixels, solvane("rgba.png", options + " --ray-only", "rays-expected.png").pixels));
}

TEST_F(GimpPlugin, DialogOpensWithTheLastValuesAndOkAppliesThem)
{
    for (const char* program : {"gimp-2.10", "xvfb-run", "xdotool"}) {
        if (Support::runCommand(std::string("command -v ") + program) != 0) {
            GTEST_SKIP() << program << " is not installed (scripts/setup.sh installs it)";
        }
    }
    // GIMP with its user interface on a virtual display: a run on a copy leaves its values as the last ones, the
    // dialog opens with them, and Return presses OK; then the image is saved.
    const std::string batch =
        "(let* ((image (car (file-png-load RUN-NONINTERACTIVE " + quoted("rgba.png") + " \"in\"))) (drawable (car "
        "(gimp-image-get-active-drawable image))) (copy (car (gimp-image-duplicate image)))) (plug-in-ostrel-solvane "
        "RUN-NONINTERACTIVE copy (car (gimp-image-get-active-drawable copy)) 40 10 30 20 1500 30 1 0) "
        "(plug-in-ostrel-solvane RUN-INTERACTIVE image drawable 50 0 0 0 2048 10 2 0) " + save("dialog-out.png") + ")";
    Support::writeFile(folder + "/dialog.sh",
                       "#!/usr/bin/env bash\n" + std::string(kEnvironment) + "SOLVANE_GIMP_TIMEOUT=120 " +
                           Support::sourcePath("scripts/gimp-batch.sh") +
                           " --gui " + prefix + "/lib/gimp/2.0/plug-ins '" + batch + "' > " + folder +
                           "/gimp.log 2>&1 &\n"
                           "gimp=$!\n"
                           "for _ in $(seq 1 100); do\n"
                           "  sleep 1\n"
                           "  window=$(xdotool search --name '^Light Shafts \\(Ostrel Solvane\\)' | head -1)\n"
                           "  if [ -n \"$window\" ]; then sleep 2; xdotool key --window \"$window\" Return; break; fi\n"
                           "done\n"
                           "wait \"$gimp\"\n");
    std::string output;
    Support::runCommand("timeout 200 xvfb-run -a bash " + folder + "/dialog.sh", &output);
    log = Support::readFile(folder + "/gimp.log");
    expectNoSanitizerReport();
    const Cli::RgbaImage expected =
        solvane("rgba.png", "--threshold 40 --threshold-smooth 10 --center 30,20 --shine-length 1500 --exposure 30 "
                            "--quality high", "dialog-expected.png");
    const Cli::RgbaImage actual = Cli::readPng(folder + "/dialog-out.png");
    ASSERT_EQ(actual.width, kWidth) << output << log;
    EXPECT_TRUE(Support::sameBytes(actual.pixels, expected.pixels));
}

TEST_F(GimpPlugin, SelectionIsChangedInsideAndKeptOutsideWithTheWholeLayerShiningIn)
{
    ASSERT_TRUE(runGimp({script("rgba.png",
                                "(gimp-context-set-feather FALSE) (gimp-context-set-antialias FALSE) "
                                "(gimp-image-select-rectangle image CHANNEL-OP-REPLACE 40 30 60 40)",
                                "50 0 150 90 2048 40 2 0", "selection-out.png")}))
        << log;
    // The centre is below and right of the selection, with the disc at (120, 70) outside it between the two: its
    // shafts reach into the selection only from a render of the whole layer.
    const Cli::RgbaImage expected = solvane("rgba.png", "--center 150,90 --exposure 40", "selection-expected.png");
    const Cli::RgbaImage input = Cli::readPng(folder + "/rgba.png");
    const Cli::RgbaImage actual = Cli::readPng(folder + "/selection-out.png");
    ASSERT_EQ(actual.width, kWidth) << log;
    int inside = 0, outside = 0, changedInside = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * kWidth + x) * 4;
            const bool in = x >= 40 && x < 100 && y >= 30 && y < 70;
            const auto& want = in ? expected.pixels : input.pixels;
            const bool same = std::equal(&actual.pixels[at], &actual.pixels[at] + 4, &want[at]);
            (in ? inside : outside) += same ? 0 : 1;
            changedInside += in && !std::equal(&actual.pixels[at], &actual.pixels[at] + 4, &input.pixels[at]);
        }
    }
    EXPECT_EQ(inside, 0) << "pixels inside the selection that are not the render's";
    EXPECT_EQ(outside, 0) << "pixels outside the selection that changed";
    EXPECT_GT(changedInside, 500);
}

// The 16-bit picture, whole or through a selection, and the same as 32-bit float: every pixel the shafts leave alone
// keeps its own value, the others take the 8-bit render; outside a selection nothing changes.
TEST_F(GimpPlugin, SixteenBitLayerIsWrittenBackAtItsPrecisionKeepingWhatTheShaftsLeftAlone)
{
    const std::string select = "(gimp-context-set-feather FALSE) (gimp-context-set-antialias FALSE) "
                               "(gimp-image-select-rectangle image CHANNEL-OP-REPLACE 30 20 100 60)";
    ASSERT_TRUE(runGimp({script("deep.png", "", "50 0 80 50 2048 40 2 0", "deep-out.png"),
                         script("deep.png", select, "50 0 80 50 2048 40 2 0", "deep-selection-out.png"),
                         script("deep.png", "(gimp-image-convert-precision image PRECISION-FLOAT-GAMMA) " + select,
                                "50 0 80 50 2048 40 2 0", "float-selection-out.png")}))
        << log;
    // What GIMP's conversion to 8 bits gives: each sample rounded, which is the picture's own 8-bit value.
    const std::vector<std::uint8_t> rgb = picture(kWidth, kHeight, false);
    std::vector<std::uint8_t> rgba;
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
    }
    writePicture(folder + "/deep8.png", kWidth, kHeight, 8, true, {rgba.begin(), rgba.end()});
    const Cli::RgbaImage expected = solvane("deep8.png", "--center 80,50 --exposure 40", "deep-expected.png");
    const Samples input = readSamples(folder + "/deep.png");
    for (const char* name : {"deep-out.png", "deep-selection-out.png", "float-selection-out.png"}) {
        SCOPED_TRACE(name);
        const bool selection = std::string(name) != "deep-out.png";
        const Samples actual = readSamples(folder + "/" + name);
        ASSERT_EQ(actual.width, kWidth) << log;
        EXPECT_EQ(actual.depth, 16);
        ASSERT_EQ(actual.channels, 3);
        int wrong = 0, kept = 0, changed = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const std::size_t at = (static_cast<std::size_t>(y) * kWidth + x) * 4;
                const bool inside = !selection || (x >= 30 && x < 130 && y >= 20 && y < 80);
                const bool untouched =
                    !inside || std::equal(&expected.pixels[at], &expected.pixels[at] + 3, &rgba[at]);
                for (int c = 0; c < 3; ++c) {
                    const int want = untouched ? input.at(x, y, c) : expected.pixels[at + c] * 257;
                    // The float image is saved back to 16 bits by GIMP: a changed pixel may round one step apart.
                    const int allowed = untouched || std::string(name) != "float-selection-out.png" ? 0 : 1;
                    wrong += std::abs(actual.at(x, y, c) - want) > allowed;
                }
                (inside && untouched ? kept : changed) += inside ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(kept, 100);
        EXPECT_GT(changed, 1000);
    }
}

TEST_F(GimpPlugin, OffsetLayerTakesTheCentreInImagePixels)
{
    // The picture as a layer offset by (37, 21) in a larger image; the centre (130, 90) of the layer is
    // (167, 111) in the image.
    ASSERT_TRUE(runGimp({"(let* ((image (car (gimp-image-new 260 180 RGB))) (drawable (car (gimp-file-load-layer "
                         "RUN-NONINTERACTIVE image " + quoted("rgba.png") + ")))) (gimp-image-insert-layer image "
                         "drawable 0 0) (gimp-layer-set-offsets drawable 37 21) (plug-in-ostrel-solvane "
                         "RUN-NONINTERACTIVE image drawable 50 0 167 111 2048 40 2 0) " + save("offset-out.png") +
                         ")"}))
        << log;
    const Cli::RgbaImage expected = solvane("rgba.png", "--center 130,90 --exposure 40", "offset-expected.png");
    const Cli::RgbaImage actual = Cli::readPng(folder + "/offset-out.png");
    ASSERT_EQ(actual.width, kWidth) << log;
    EXPECT_TRUE(Support::sameBytes(actual.pixels, expected.pixels));
}

TEST_F(GimpPlugin, IndexedGreyOutOfRangeAndUndrawableAreRefusedWithAMessageAndNothingSaved)
{
    const std::string values = "50 0 80 50 2048 40 2 0";
    ASSERT_TRUE(runGimp({
        script("rgba.png", "(gimp-image-convert-indexed image CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE 64 "
                           "FALSE FALSE \"\")",
               values, "indexed-out.png"),
        script("rgba.png", "(gimp-image-convert-grayscale image)", values, "grey-out.png"),
        script("rgba.png", "", "150 0 80 50 2048 40 2 0", "range-out.png"),
        // Wider than the plug-in can draw (16384 pixels): the plug-in's refusal, not a layer left as it was.
        "(let* ((image (car (gimp-image-new 16400 4 RGB))) (drawable (car (gimp-layer-new image 16400 4 RGB-IMAGE "
        "\"wide\" 100 LAYER-MODE-NORMAL)))) (gimp-image-insert-layer image drawable 0 0) (plug-in-ostrel-solvane "
        "RUN-NONINTERACTIVE image drawable " + values + ") " + save("wide-out.png") + ")",
        // What GIMP will not let a plug-in write, and what is no layer: each refused up front, by name.
        script("rgba.png", "(let ((group (car (gimp-layer-group-new image)))) (gimp-image-insert-layer image group 0 "
                           "0) (gimp-image-reorder-item image drawable group 0) (set! drawable group))",
               values, "group-out.png"),
        script("rgba.png", "(gimp-item-set-lock-content drawable TRUE)", values, "locked-out.png"),
        script("rgba.png", "(let ((mask (car (gimp-layer-create-mask drawable ADD-MASK-WHITE)))) "
                           "(gimp-layer-add-mask drawable mask) (set! drawable mask))",
               values, "mask-out.png"),
        script("rgba.png", "(set! drawable (car (gimp-channel-new image 160 100 \"c\" 50 (quote (0 0 0))))) "
                           "(gimp-image-insert-channel image drawable 0 0)",
               values, "channel-out.png"),
        script("rgba.png", "", values, "rgba-out.png"),
    })) << log;
    for (const char* refused : {"group-out.png", "locked-out.png", "mask-out.png", "channel-out.png"}) {
        EXPECT_FALSE(std::filesystem::exists(folder + "/" + refused)) << refused;
    }
    EXPECT_NE(log.find("this is a layer group"), std::string::npos) << log;
    EXPECT_NE(log.find("its pixels are locked"), std::string::npos) << log;
    EXPECT_NE(log.find("this is a layer mask"), std::string::npos) << log;
    EXPECT_NE(log.find("this is a channel"), std::string::npos) << log;
    EXPECT_EQ(log.find("gimp-drawable-merge-shadow"), std::string::npos) << "GIMP refused a write: " << log;
    EXPECT_FALSE(std::filesystem::exists(folder + "/indexed-out.png"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/grey-out.png"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/range-out.png"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/wide-out.png"));
    EXPECT_NE(log.find("this one is indexed"), std::string::npos) << log;
    EXPECT_NE(log.find("this one is grayscale"), std::string::npos) << log;
    EXPECT_NE(log.find("the threshold must be from 0 to 100 per cent, not 150"), std::string::npos) << log;
    EXPECT_NE(log.find("did not render the 16400x4 layer"), std::string::npos) << log;
    // The case that should succeed did save: the run itself was sound.
    EXPECT_TRUE(std::filesystem::exists(folder + "/rgba-out.png")) << log;
}

} // namespace
