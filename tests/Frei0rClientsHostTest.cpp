// The frei0r module in the real clients, as Debian ships them: ffmpeg's frei0r
// filter on an image and on a clip whose centre the host animates, and MLT's melt.
// Each result is compared with what `solvane render` makes of the same image with
// the same values: the same plug-in on the same pixels, so the bytes are equal.
// The frei0r module exists for Linux only.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "cli/PngImage.h"
#include "support/HostTestSupport.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;
using Tamrin::Solvane::Test::sameBytes;

namespace {

const std::string kSample = "examples/sample.png"; // 640 × 400

bool installed(const std::string& program) { return Support::runCommand("command -v " + program) == 0; }

class Frei0rClientsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::string(SOLVANE_BINARY_DIR) + "/frei0r-clients/" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }

    // A command run from the repository root, with the build folder as the frei0r module path, named relative to
    // the root as the README names it.
    int run(const std::string& command, std::string* log)
    {
        const std::string build =
            std::filesystem::relative(SOLVANE_BINARY_DIR, Support::sourcePath("")).generic_string();
        return Support::runCommand(
            "cd " + Support::sourcePath("") + " && export FREI0R_PATH=" + build + " && " + command, log);
    }

    // The sample through `solvane render` with these options, as 8-bit RGBA.
    std::vector<std::uint8_t> solvane(const std::string& options)
    {
        const std::string output = folder + "/solvane-" + std::to_string(renders++) + ".png";
        std::string log;
        const std::string command =
            Support::solvanePath() + " render " + Support::sourcePath(kSample) + " " + output + " " + options;
        EXPECT_EQ(Support::runCommand(command, &log), 0) << log;
        return Cli::readPng(output).pixels;
    }

    // An MLT profile of the sample's own size with square pixels, so that MLT hands the frame over unscaled.
    std::string sampleProfile()
    {
        const std::string profile = folder + "/sample.profile";
        std::ofstream(profile) << "description=640x400 square pixels\nframe_rate_num=25\nframe_rate_den=1\n"
                                  "width=640\nheight=400\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                  "display_aspect_num=8\ndisplay_aspect_den=5\ncolorspace=709\n";
        return profile;
    }

    // Frames 0 to count - 1 that MLT's avformat consumer wrote as PATTERN (with %02d), compared each with
    // `solvane render` of the sample at the centre (in pixels) that frame should have.
    void expectFramesAtCentres(const std::string& pattern, const std::vector<std::pair<int, int>>& centres,
                               const std::string& options = "")
    {
        for (std::size_t i = 0; i < centres.size(); ++i) {
            char name[512];
            std::snprintf(name, sizeof name, pattern.c_str(), static_cast<int>(i));
            ASSERT_TRUE(std::filesystem::exists(name)) << name;
            const std::string centre =
                std::to_string(centres[i].first) + "," + std::to_string(centres[i].second);
            EXPECT_TRUE(sameBytes(Cli::readPng(name).pixels, solvane("--center " + centre + " " + options)))
                << "frame " << i << ", centre " << centre;
        }
    }

    std::string folder;
    int renders = 0;
};

TEST_F(Frei0rClientsTest, FfmpegFilterGivesTheImageSolvaneRenders)
{
    if (!installed("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed (scripts/setup.sh installs it)";
    }
    // The README's command, with its output in the test's folder.
    std::string log;
    const std::string readme = folder + "/shafts.png";
    ASSERT_EQ(run("ffmpeg -v error -y -i " + kSample +
                      " -vf \"frei0r=filter_name=ostrel_solvane:filter_params=0.5|0|0.65625|0.375|1|0.1|0.5|n\""
                      " -update 1 " + readme,
                  &log),
              0)
        << log;
    EXPECT_TRUE(sameBytes(Cli::readPng(readme).pixels, solvane("--center 420,150")));

    // Every parameter away from its default, booleans as ffmpeg writes them.
    const std::string changed = folder + "/changed.png";
    ASSERT_EQ(run("ffmpeg -v error -y -i " + kSample +
                      " -vf \"frei0r=filter_name=ostrel_solvane:filter_params=0.3|0.2|0.25|0.4|0.5|0.6|0|y\""
                      " -update 1 " + changed,
                  &log),
              0)
        << log;
    EXPECT_TRUE(sameBytes(Cli::readPng(changed).pixels,
                          solvane("--threshold 30 --threshold-smooth 20 --center 160,160 --shine-length 1024 "
                                  "--exposure 60 --quality high --ray-only")));
}

TEST_F(Frei0rClientsTest, FfmpegClipWithAnimatedCentreIsStableAndCleanOnStandardOutput)
{
    if (!installed("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed (scripts/setup.sh installs it)";
    }
    // ffmpeg's sendcmd moves the centre between frames (25 per second): frames 0-1 left, 2-3 middle, 4-5 right.
    const std::string commands = folder + "/centre.cmd";
    std::ofstream(commands) << "0.00 frei0r filter_params '0.5|0|0.25|0.5|1|0.1|0.5|n';\n"
                               "0.07 frei0r filter_params '0.5|0|0.5|0.5|1|0.1|0.5|n';\n"
                               "0.15 frei0r filter_params '0.5|0|0.75|0.5|1|0.1|0.5|n';\n";
    // Raw frames on ffmpeg's standard output, where the plug-in's diagnostics must not land.
    const std::string clip = folder + "/clip.rgba";
    std::string log;
    ASSERT_EQ(run("(ffmpeg -v error -loop 1 -i " + kSample + " -frames:v 6 -vf \"sendcmd=f=" + commands +
                      ",frei0r=filter_name=ostrel_solvane:filter_params=0.5|0|0.5|0.5|1|0.1|0.5|n\""
                      " -f rawvideo -pix_fmt rgba - > " + clip + ")",
                  &log),
              0)
        << log;
    std::ifstream file(clip, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::size_t frameBytes = 640 * 400 * 4;
    ASSERT_EQ(bytes.size(), 6 * frameBytes) << log;
    auto frame = [&](int index) {
        return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(index * frameBytes),
                                         bytes.begin() + static_cast<std::ptrdiff_t>((index + 1) * frameBytes));
    };

    EXPECT_TRUE(sameBytes(frame(0), frame(1)));
    EXPECT_TRUE(sameBytes(frame(2), frame(3)));
    EXPECT_TRUE(sameBytes(frame(4), frame(5)));
    EXPECT_FALSE(sameBytes(frame(0), frame(2)));
    EXPECT_FALSE(sameBytes(frame(2), frame(4)));
    EXPECT_TRUE(sameBytes(frame(0), solvane("--center 160,200")));
    EXPECT_TRUE(sameBytes(frame(2), solvane("--center 320,200")));
    EXPECT_TRUE(sameBytes(frame(4), solvane("--center 480,200")));
}

TEST_F(Frei0rClientsTest, MeltRendersThroughTheModule)
{
    if (!installed("melt")) {
        GTEST_SKIP() << "melt is not installed (scripts/setup.sh installs it)";
    }
    const std::string profile = sampleProfile();
    const std::string output = folder + "/melt.png";
    std::string log;
    ASSERT_EQ(run("melt -silent -profile " + profile + " " + kSample +
                      " in=0 out=0 -attach frei0r.ostrel_solvane Threshold=0.3 'Ray Only=1'"
                      " -consumer avformat:" + output + " vcodec=png pix_fmt=rgba update=1",
                  &log),
              0)
        << log;
    ASSERT_TRUE(std::filesystem::exists(output)) << log;
    EXPECT_TRUE(sameBytes(Cli::readPng(output).pixels, solvane("--threshold 30 --ray-only")));

    // With its default profile (720 × 576) MLT makes a filter at the image's size, closes it and unloads the module
    // without f0r_deinit, then loads it again for one at the profile's size: the plug-in must come through that.
    const std::string scaled = folder + "/melt-scaled.png";
    ASSERT_EQ(run("melt -silent " + kSample + " in=0 out=0 -attach frei0r.ostrel_solvane -consumer avformat:" +
                      scaled + " vcodec=png pix_fmt=rgba update=1",
                  &log),
              0)
        << log;
    const Cli::RgbaImage image = Cli::readPng(scaled);
    EXPECT_EQ(image.width, 720);
    EXPECT_EQ(image.height, 576);
}

TEST_F(Frei0rClientsTest, MeltKeyframesMoveTheCentreOffTheFrame)
{
    if (!installed("melt")) {
        GTEST_SKIP() << "melt is not installed (scripts/setup.sh installs it)";
    }
    // MLT animates doubles only: the centre as two keyframed doubles, starting a quarter of the width left of
    // the frame. Linear keys: x = -0.25 + 0.25 * frame, y = 0.25 + 0.0625 * frame, exact in pixels.
    std::string log;
    ASSERT_EQ(run("melt -silent -profile " + sampleProfile() + " " + kSample +
                      " in=0 out=4 -attach frei0r.ostrel_solvane 'Center X=0=-0.25;4=0.75' 'Center Y=0=0.25;4=0.5'"
                      " 'Ray Only=1' -consumer avformat:" + folder + "/melt%02d.png vcodec=png pix_fmt=rgba"
                      " start_number=0",
                  &log),
              0)
        << log;
    expectFramesAtCentres(folder + "/melt%02d.png", {{-160, 100}, {0, 125}, {160, 150}, {320, 175}, {480, 200}},
                          "--ray-only");
}

TEST_F(Frei0rClientsTest, QuietEnvironmentSilencesThePluginInTheClients)
{
    if (!installed("melt") || !installed("ffmpeg")) {
        GTEST_SKIP() << "melt or ffmpeg is not installed (scripts/setup.sh installs them)";
    }
    // melt -query makes an instance, so the plug-in is set up and makes a context.
    const std::string query = "melt -query filter=frei0r.ostrel_solvane";
    std::string log;
    ASSERT_EQ(run(query, &log), 0) << log;
    EXPECT_NE(log.find("OpenGL Version"), std::string::npos) << log;
    ASSERT_EQ(run("SOLVANE_QUIET=1 " + query, &log), 0) << log;
    EXPECT_EQ(log.find("OpenGL"), std::string::npos) << log;
    EXPECT_NE(log.find("Center X"), std::string::npos) << log;

    // ffmpeg -v error prints nothing at all for a good run.
    ASSERT_EQ(run("SOLVANE_QUIET=1 ffmpeg -v error -y -i " + kSample +
                      " -vf frei0r=filter_name=ostrel_solvane -update 1 " + folder + "/quiet.png",
                  &log),
              0)
        << log;
    EXPECT_EQ(log, "");
    EXPECT_TRUE(sameBytes(Cli::readPng(folder + "/quiet.png").pixels, solvane("")));
}

} // namespace

#endif
