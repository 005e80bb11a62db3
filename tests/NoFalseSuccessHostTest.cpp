// Failures that once passed for success, run as a user runs solvane: an output named
// /dev/stdout that reached the diagnostics' descriptor instead, a plug-in whose GLSL
// does not build, frames the OpenGL driver cannot store, and messages that did not say
// which file or folder was wrong. Every case exits non-zero with its cause, or does
// what the user asked for.
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

class NoFalseSuccessHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Several worktrees run the same tests on one machine: a folder of this run's own.
        const auto run = std::chrono::steady_clock::now().time_since_epoch().count();
        folder_ = fs::temp_directory_path() / ("solvane-nofalse-" + std::to_string(run) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    // A shell command line, bounded in time, run in the test's folder; its status and what it printed.
    int shell(const std::string& commandLine, std::string* output = nullptr) const
    {
        // Braces, so that the command's own redirections stand beside those runCommand adds.
        return Support::runCommand("cd '" + folder_.string() + "' && { timeout 120 " + commandLine + "; }", output);
    }

    std::string solvane() const { return "'" + Support::solvanePath() + "'"; }
    std::string sample() const { return "'" + Support::sourcePath("examples/sample.png") + "'"; }

    fs::path folder_;
};

std::vector<std::uint8_t> pngPixels(const std::string& file) { return Cli::readPng(file).pixels; }

TEST_F(NoFalseSuccessHostTest, TheStandardStreamsByNameAreTheCallersNeverTheDiagnostics)
{
    const std::vector<std::uint8_t> expected = pngPixels(Support::sourcePath("examples/sample-shafts.png"));
    // A PNG to standard output by each of its names, quiet or not: the caller's file gets the image, whatever
    // standard error is.
    for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "link-to-stdout"}) {
        fs::remove(path("link-to-stdout"));
        fs::create_symlink("/dev/stdout", path("link-to-stdout"));
        for (const char* quiet : {"--quiet ", ""}) {
            std::string said;
            fs::remove(path("o.png"));
            EXPECT_EQ(shell(solvane() + " render " + std::string(quiet) + sample() + " " + name + " --center 420,150 > o.png 2> log",
                            &said),
                      0)
                << name << ": " << said << Support::readFile(path("log"));
            EXPECT_TRUE(fs::exists(path("o.png")) && fs::file_size(path("o.png")) > 0) << name;
            if (fs::exists(path("o.png")) && fs::file_size(path("o.png")) > 0) {
                EXPECT_TRUE(Support::nearPixels(pngPixels(path("o.png")), expected)) << name;
            }
            EXPECT_EQ(Support::readFile(path("log")).find("\x89PNG"), std::string::npos) << name << quiet;
        }
    }

    // Raw frames to /dev/stdout equal those to '-', and a log on standard error is left a log.
    Support::writeFile(path("in.raw"), std::string(16 * 16 * 4 * 3, '\x5a'));
    ASSERT_EQ(shell(solvane() + " render --quiet --raw 16x16 in.raw - > dash.raw"), 0);
    Support::writeFile(path("log"), "earlier lines\n");
    EXPECT_EQ(shell(solvane() + " render --raw 16x16 in.raw /dev/stdout > named.raw 2>> log"), 0);
    EXPECT_EQ(Support::readFile(path("named.raw")), Support::readFile(path("dash.raw")));
    EXPECT_EQ(Support::readFile(path("log")).rfind("earlier lines\n", 0), 0u) << "the log was replaced";

    // /dev/stderr is the caller's standard error.
    EXPECT_EQ(shell(solvane() + " render --quiet " + sample() + " /dev/stderr 2> e.png"), 0);
    EXPECT_EQ(pngPixels(path("e.png")).size(), 640u * 400u * 4u);
}

TEST_F(NoFalseSuccessHostTest, MessagesNameTheFileOrFolderThatIsWrong)
{
    std::string said;
    EXPECT_EQ(shell(solvane() + " render " + sample() + " missing/out.png", &said), 1);
    EXPECT_NE(said.find("missing/out.png: cannot write: the folder missing does not exist"), std::string::npos)
        << said;

    // A registration resource with a damaged byte: the message names the file.
    std::string bytes = Support::readFile(Support::pluginPath());
    std::string objdump;
    ASSERT_EQ(Support::runCommand("objdump -h '" + Support::pluginPath() + "' | awk '$2==\".pipl\"{print $6}'",
                                  &objdump),
              0);
    const std::size_t offset = std::stoul(objdump, nullptr, 16) + 9;
    ASSERT_LT(offset, bytes.size());
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0xff);
    Support::writeFile(path("copy.aex"), bytes);
    EXPECT_EQ(shell(solvane() + " info copy.aex", &said), 1);
    EXPECT_NE(said.find("copy.aex: registration resource"), std::string::npos) << said;
    EXPECT_EQ(shell(solvane() + " --plugin copy.aex params", &said), 1);
    EXPECT_NE(said.find("copy.aex: registration resource"), std::string::npos) << said;

    // The centre at the host's limit renders.
    EXPECT_EQ(shell(solvane() + " render --quiet " + sample() + " far.png --center 32767,-32767", &said), 0) << said;
}

TEST_F(NoFalseSuccessHostTest, AProgramThatDoesNotBuildFailsTheFrameWithTheDriversLog)
{
    // A copy of the plug-in whose vertex shader declares its output under another name: it no longer compiles.
    std::string bytes = Support::readFile(Support::pluginPath());
    std::size_t replaced = 0;
    for (std::size_t at = bytes.find("out vec2 uv;"); at != std::string::npos; at = bytes.find("out vec2 uv;", at)) {
        bytes.replace(at, 12, "out vec2 ux;");
        ++replaced;
    }
    ASSERT_GT(replaced, 0u);
    Support::writeFile(path("broken.aex"), bytes);
    for (const char* quiet : {"--quiet ", ""}) {
        std::string said;
        EXPECT_EQ(shell(solvane() + " --plugin broken.aex render " + quiet + sample() + " out.png", &said), 1) << said;
        EXPECT_FALSE(fs::exists(path("out.png")));
        EXPECT_NE(said.find("could not render the frame (640x400, Medium quality)"), std::string::npos) << said;
        EXPECT_NE(said.find("the plug-in reported:\nShader vert error:"), std::string::npos) << said;
        EXPECT_NE(said.find("undeclared"), std::string::npos) << said;
    }
}

// A frame within 16384 a side whose float surfaces llvmpipe will not store (1.5 GiB each): refused at once with its
// size, quality and what could not be allocated, exit 1, nothing written. Raw video, so that no PNG is coded.
TEST_F(NoFalseSuccessHostTest, AFrameTheDriverCannotStoreIsRefusedWithWhatItNeeds)
{
    std::string said;
    EXPECT_EQ(shell("head -c " + std::to_string(12288LL * 8192 * 4) + " /dev/zero | " + solvane() +
                        " render --quiet --raw 12288x8192 --quality low - out.raw",
                    &said),
              1)
        << said;
    EXPECT_NE(said.find("frame 0: standard input: the plug-in could not render the frame (12288x8192, Low quality): "
                        "out of memory (4)"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("1536 MiB"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(path("out.raw")));
}

} // namespace

#endif
