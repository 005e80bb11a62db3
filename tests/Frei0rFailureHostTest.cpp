// The frei0r module when the effect cannot start, through the real clients: melt and
// GStreamer get the frames back unchanged with one message naming the cause (never a
// black or stale frame), GStreamer's registry keeps the element when it first scanned
// with the plug-in missing, and ffmpeg fails. solvane and the module say why OpenGL did
// not start (no EGL, an OpenGL older than 3.3).
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/PngImage.h"
#include "support/HostTestSupport.h"

using namespace Tamrin::Solvane;
namespace fs = std::filesystem;
namespace Support = Tamrin::Solvane::Test;

namespace {

bool installed(const std::string& program) { return Support::runCommand("command -v " + program + " >/dev/null") == 0; }

// Occurrences of `what` in `text`.
std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

class Frei0rFailureHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Several worktrees run the same tests on one machine: a folder of this run's own.
        const auto run = std::chrono::steady_clock::now().time_since_epoch().count();
        folder_ = fs::temp_directory_path() / ("solvane-f0rfail-" + std::to_string(run) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        std::ofstream(path("sample.profile"))
            << "description=640x400 square pixels\nframe_rate_num=25\nframe_rate_den=1\nwidth=640\nheight=400\n"
               "progressive=1\nsample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num=8\n"
               "display_aspect_den=5\ncolorspace=709\n";
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    // A client's command line in the test's folder with the build's module first, a registry of the test's own for
    // GStreamer, and a time limit.
    int client(const std::string& environment, const std::string& commandLine, std::string* output) const
    {
        return Support::runCommand("cd '" + folder_.string() + "' && export FREI0R_PATH='" +
                                       std::string(SOLVANE_BINARY_DIR) + "':/usr/lib/frei0r-1 GST_REGISTRY='" +
                                       path("gst-registry.bin") + "' && { " + environment + " timeout 120 " +
                                       commandLine + "; }",
                                   output);
    }

    std::string gstPipeline(const std::string& out) const
    {
        return "gst-launch-1.0 -q filesrc location='" + Support::sourcePath("examples/sample.png") +
               "' ! pngdec ! videoconvert ! video/x-raw,format=RGBA ! frei0r-filter-light-shafts center-x=0.65625 "
               "center-y=0.375 ! videoconvert ! pngenc ! filesink location=" +
               out;
    }

    fs::path folder_;
};

TEST_F(Frei0rFailureHostTest, MeltAndGStreamerPassFramesThroughAndFfmpegFailsWhenThePluginCannotStart)
{
    const std::vector<std::uint8_t> sample = Cli::readPng(Support::sourcePath("examples/sample.png")).pixels;
    std::string said;
    if (installed("melt")) {
        // Three frames, each the sample unchanged (before: the first all zero, the next ones stale), one message.
        EXPECT_EQ(client("SOLVANE_PLUGIN=/nonexistent SOLVANE_QUIET=1",
                         "melt -quiet -profile sample.profile '" + Support::sourcePath("examples/sample.png") +
                             "' in=0 out=2 -attach frei0r.ostrel_solvane -consumer avformat:m%02d.png real_time=-1 vcodec=png pix_fmt=rgba start_number=0",
                         &said),
                  0)
            << said;
        for (const char* frame : {"m00.png", "m01.png", "m02.png"}) {
            ASSERT_TRUE(fs::exists(path(frame))) << frame << ": " << said;
            EXPECT_TRUE(Support::sameBytes(Cli::readPng(path(frame)).pixels, sample)) << frame;
        }
        EXPECT_EQ(count(said, "/nonexistent: cannot open the plug-in file"), 1u) << said;
    }
    if (installed("gst-launch-1.0")) {
        // GStreamer scans its plug-ins on this first run, with the plug-in missing: the frame passes through, and the
        // element is in the registry for the run after the cause is fixed, which renders the effect.
        EXPECT_EQ(client("SOLVANE_PLUGIN=/nonexistent SOLVANE_QUIET=1", gstPipeline("broken.png"), &said), 0) << said;
        ASSERT_TRUE(fs::exists(path("broken.png"))) << said;
        EXPECT_TRUE(Support::sameBytes(Cli::readPng(path("broken.png")).pixels, sample));
        EXPECT_NE(said.find("cannot open the plug-in file"), std::string::npos) << said;
        EXPECT_EQ(client("SOLVANE_QUIET=1", gstPipeline("fixed.png"), &said), 0) << said;
        ASSERT_TRUE(fs::exists(path("fixed.png"))) << said;
        EXPECT_TRUE(Support::nearPixels(Cli::readPng(path("fixed.png")).pixels,
                                        Cli::readPng(Support::sourcePath("examples/sample-shafts.png")).pixels));
    }
    if (installed("ffmpeg")) {
        // ffmpeg stops when an instance cannot be made, and says so: exit non-zero, no picture.
        EXPECT_NE(client("SOLVANE_PLUGIN=/nonexistent SOLVANE_QUIET=1",
                         "ffmpeg -v error -y -i '" + Support::sourcePath("examples/sample.png") +
                             "' -vf frei0r=filter_name=ostrel_solvane -update 1 f.png",
                         &said),
                  0);
        EXPECT_FALSE(fs::exists(path("f.png")));
        EXPECT_NE(said.find("cannot open the plug-in file"), std::string::npos) << said;
    }
}

TEST_F(Frei0rFailureHostTest, AnOpenGlThatCannotStartIsExplained)
{
    const std::string solvane = "'" + Support::solvanePath() + "' render --quiet '" +
                                Support::sourcePath("examples/sample.png") + "' out.png";
    std::string said;
    EXPECT_EQ(client("__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent", solvane, &said), 1);
    EXPECT_NE(said.find("no EGL display could be opened"), std::string::npos) << said;
    EXPECT_EQ(client("MESA_GL_VERSION_OVERRIDE=2.1", solvane, &said), 1);
    EXPECT_NE(said.find("offers only version 2.1"), std::string::npos) << said;
    EXPECT_NE(said.find("where 3.3 is needed"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(path("out.png")));

    if (installed("ffmpeg")) {
        const std::string ffmpeg = "ffmpeg -v error -y -i '" + Support::sourcePath("examples/sample.png") +
                                   "' -vf frei0r=filter_name=ostrel_solvane -update 1 f.png";
        EXPECT_NE(client("__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent SOLVANE_QUIET=1", ffmpeg, &said), 0);
        EXPECT_NE(said.find("no EGL display could be opened"), std::string::npos) << said;
        EXPECT_EQ(said.find("SOLVANE_PLUGIN names"), std::string::npos) << "a hint at the wrong cause: " << said;
        client("MESA_GL_VERSION_OVERRIDE=2.1 SOLVANE_QUIET=1", ffmpeg, &said);
        EXPECT_EQ(count(said, "offers only version 2.1"), 1u) << said;
    }
}

} // namespace

#endif
