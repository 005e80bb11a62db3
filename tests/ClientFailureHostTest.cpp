// Every client's road into the plug-in when something on it is wrong, through the real programs: a plug-in path that
// is a folder, a FIFO or empty is refused at once with its reason (before: a hang, or the default plug-in loaded), the
// driver's log of a program that does not build reaches the message under ffmpeg, melt and GStreamer, and an
// installed solvane run from elsewhere than its bin/ folder finds its plug-in.
#if !defined(_WIN32)

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

bool installed(const std::string& program) { return Support::runCommand("command -v " + program + " >/dev/null") == 0; }

class ClientFailureHostTest : public ::testing::Test {
protected:
    // A command in the scratch folder with the build's frei0r module first, a GStreamer registry of its own, and a
    // time limit that turns a hang into a failure.
    int run(const std::string& commandLine, std::string* output) const
    {
        return Support::runCommand("cd '" + scratch.str() + "' && export FREI0R_PATH='" +
                                       std::string(SOLVANE_BINARY_DIR) + "':/usr/lib/frei0r-1 GST_REGISTRY='" +
                                       scratch / "gst-registry.bin" + "' && timeout 60 " + commandLine,
                                   output);
    }

    std::string sample() const { return "'" + Support::sourcePath("examples/sample.png") + "'"; }

    // A copy of the plug-in whose vertex shader declares its output under another name: it no longer compiles.
    std::string brokenPlugin() const
    {
        std::string bytes = Support::readFile(Support::pluginPath());
        const std::string declared = "out vec2 uv;";
        for (std::size_t at = bytes.find(declared); at != std::string::npos; at = bytes.find(declared, at)) {
            bytes.replace(at, 12, "out vec2 ux;");
        }
        Support::writeFile(scratch / "broken.aex", bytes);
        return scratch / "broken.aex";
    }

    Support::ScratchFolder scratch{"solvane-client-failure"};
};

TEST_F(ClientFailureHostTest, APluginPathThatIsAFolderFifoOrEmptyIsRefusedAtOnceWithItsReason)
{
    ASSERT_EQ(mkfifo((scratch / "fifo.aex").c_str(), 0600), 0);
    const std::string solvane = "'" + Support::solvanePath() + "'";
    std::string said;
    EXPECT_EQ(run(solvane + " --plugin fifo.aex params", &said), 1) << said;
    EXPECT_NE(said.find("fifo.aex: is not a regular file"), std::string::npos) << said;
    EXPECT_EQ(run(solvane + " --plugin . params", &said), 1) << said;
    EXPECT_NE(said.find(".: is a directory"), std::string::npos) << said;
    EXPECT_EQ(run(solvane + " info fifo.aex", &said), 1) << said;
    EXPECT_NE(said.find("is not a regular file"), std::string::npos) << said;
    // An empty path is a mistake of the command line, not the installed plug-in.
    EXPECT_EQ(run(solvane + " --plugin '' params", &said), 2) << said;
    EXPECT_NE(said.find("--plugin: empty path"), std::string::npos) << said;
    EXPECT_EQ(run(solvane + " --plugin= render " + sample() + " out.png", &said), 2) << said;
    EXPECT_FALSE(std::filesystem::exists(scratch / "out.png"));

    if (installed("ffmpeg")) {
        // ffmpeg stops with the reason instead of waiting on the FIFO for good.
        const std::string ffmpeg = "ffmpeg -v error -y -i " + sample() +
                                   " -vf frei0r=filter_name=ostrel_solvane -update 1 f.png";
        EXPECT_NE(run("env SOLVANE_PLUGIN=fifo.aex " + ffmpeg, &said), 124) << said;
        EXPECT_NE(said.find("fifo.aex: is not a regular file"), std::string::npos) << said;
        EXPECT_NE(run("env SOLVANE_PLUGIN=" + scratch.str() + " " + ffmpeg, &said), 0) << said;
        EXPECT_NE(said.find(": is a directory"), std::string::npos) << said;
    }
}

TEST_F(ClientFailureHostTest, TheDriversLogReachesTheMessageUnderFfmpegMeltAndGStreamer)
{
    const std::string broken = "env SOLVANE_PLUGIN='" + brokenPlugin() + "' SOLVANE_QUIET=1 ";
    std::string said;
    if (installed("ffmpeg")) {
        run(broken + "ffmpeg -v error -y -i " + sample() + " -vf frei0r=filter_name=ostrel_solvane -update 1 f.png",
            &said);
        EXPECT_NE(said.find("the plug-in reported:\nShader vert error:"), std::string::npos) << said;
        EXPECT_NE(said.find("undeclared"), std::string::npos) << said;
    }
    if (installed("melt")) {
        run(broken + "melt -quiet " + sample() +
                " in=0 out=0 -attach frei0r.ostrel_solvane -consumer avformat:m.png vcodec=png real_time=-1",
            &said);
        EXPECT_NE(said.find("the plug-in reported:\nShader vert error:"), std::string::npos) << said;
    }
    if (installed("gst-launch-1.0")) {
        run(broken + "gst-launch-1.0 -q filesrc location=" + sample() +
                " ! pngdec ! videoconvert ! video/x-raw,format=RGBA ! frei0r-filter-light-shafts ! videoconvert ! "
                "pngenc ! filesink location=g.png",
            &said);
        EXPECT_NE(said.find("the plug-in reported:\nShader vert error:"), std::string::npos) << said;
    }
}

TEST_F(ClientFailureHostTest, AnInstalledSolvaneFindsItsPluginFromAnyFolderAndThroughALink)
{
    std::string said;
    const std::string prefix = scratch / "prefix";
    ASSERT_EQ(Support::runCommand("cmake --install '" + std::string(SOLVANE_BINARY_DIR) + "' --prefix '" + prefix +
                                      "' >/dev/null",
                                  &said),
              0)
        << said;
    const std::string program = prefix + "/bin/solvane";
    ASSERT_TRUE(std::filesystem::is_regular_file(program));
    // By its absolute path from another folder.
    EXPECT_EQ(Support::runCommand("cd / && '" + program + "' params", &said), 0) << said;
    EXPECT_NE(said.find("Threshold"), std::string::npos) << said;
    // Through a link in a folder of its own, by absolute and by relative name.
    std::filesystem::create_directories(scratch / "links");
    std::filesystem::create_symlink(program, scratch / "links/solvane");
    EXPECT_EQ(Support::runCommand("cd / && '" + scratch / "links/solvane" + "' params", &said), 0) << said;
    EXPECT_EQ(Support::runCommand("cd '" + scratch / "links" + "' && ./solvane params", &said), 0) << said;
    EXPECT_EQ(Support::runCommand("cd '" + scratch.str() + "' && PATH='" + scratch / "links" +
                                      "':\"$PATH\" solvane params",
                                  &said),
              0)
        << said;
}

} // namespace

#endif
