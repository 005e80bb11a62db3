// The sample image rendered by this build's solvane, as a user would run it: the identification blocks it prints
// with --verbose and, in the Windows build, its pixels against the Linux build's render of the same image with the
// same options (under Wine both draw with the same Mesa, so the pixels must be equal).
//   SOLVANE_REFERENCE_RENDER   the Linux render; without it there is nothing to compare with
//   SOLVANE_REFERENCE_OPTIONS  the render options it was made with (scripts/windows/test.sh sets both)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "cli/PngImage.h"
#include "support/HostTestSupport.h"

using namespace Tamrin::Solvane;

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

struct SampleRender {
    int status = -1;
    std::string output;
    std::string path;
};

SampleRender renderSample(const std::string& name)
{
    SampleRender render;
    render.path = std::string(SOLVANE_BINARY_DIR) + "/" + name;
    const std::string command = Test::solvanePath() + " render --verbose " + Test::sourcePath("examples/sample.png") + " "
        + render.path + " " + environment("SOLVANE_REFERENCE_OPTIONS");
    render.status = Test::runCommand(command, &render.output);
    return render;
}

TEST(WindowsRender, SampleRenderAnnouncesTheSharedContextThenTheRenderingThreadsOwn)
{
    const SampleRender render = renderSample("sample-shafts-blocks.png");
    ASSERT_EQ(render.status, 0) << render.output;
    std::remove(render.path.c_str());

    // One block at global set-up (the shared context), one at the first render of the only rendering thread.
    const std::regex block("\nOpenGL Version:  ([0-9]+)\\.([0-9]+)\nOpenGL Vendor:   [^\n]+\nOpenGL Renderer: [^\n]+\n"
                           "OpenGL Revision: [0-9]+ \\(gl\\.xml\\)\n\n");
    int blocks = 0;
    for (auto it = std::sregex_iterator(render.output.begin(), render.output.end(), block);
         it != std::sregex_iterator(); ++it, ++blocks) {
        const int major = std::stoi((*it)[1].str());
        const int minor = std::stoi((*it)[2].str());
        EXPECT_TRUE(major > 3 || (major == 3 && minor >= 3)) << it->str();
    }
    EXPECT_EQ(blocks, 2) << render.output;
}

#if defined(_WIN32)
TEST(WindowsRender, SampleMatchesTheLinuxRender)
{
    const std::string reference = environment("SOLVANE_REFERENCE_RENDER");
    if (reference.empty()) {
        GTEST_SKIP() << "SOLVANE_REFERENCE_RENDER names no Linux render";
    }
    const SampleRender render = renderSample("sample-shafts-compared.png");
    ASSERT_EQ(render.status, 0) << render.output;

    const Cli::RgbaImage expected = Cli::readPng(reference);
    const Cli::RgbaImage actual = Cli::readPng(render.path);
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    ASSERT_EQ(actual.pixels.size(), expected.pixels.size());
    std::size_t differing = 0;
    std::size_t first = 0;
    int largest = 0;
    for (std::size_t i = 0; i < actual.pixels.size(); ++i) {
        const int difference = std::abs(int(actual.pixels[i]) - int(expected.pixels[i]));
        if (difference != 0 && differing++ == 0) {
            first = i;
        }
        largest = std::max(largest, difference);
    }
    EXPECT_EQ(differing, 0u) << "largest difference " << largest << ", first at pixel (" << (first / 4) % actual.width
                             << ", " << first / 4 / actual.width << ") channel " << first % 4 << "; " << render.path
                             << " against " << reference;
    if (differing == 0) {
        std::remove(render.path.c_str());
    }
}
#endif

} // namespace
