// The live preview of docs/frei0r.md: mpv plays a video through the frei0r module in its lavfi filter
// (`--vf=lavfi=[frei0r=...]`). Headless, mpv's image output writes the frames it would show; the first is what
// `solvane render` makes of the same picture with the same values, byte for byte.
// The frei0r module exists for Linux only.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/PngImage.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

bool installed(const std::string& program) { return Support::runCommand("command -v " + program + " >/dev/null") == 0; }

} // namespace

TEST(MpvPreview, AFrameMpvShowsThroughTheFrei0rModuleIsTheRenderOfSolvane)
{
    if (!installed("mpv") || !installed("ffmpeg")) {
        GTEST_SKIP() << "mpv and ffmpeg are not installed (scripts/setup.sh --test)";
    }
    const Support::ScratchFolder folder;
    const std::string sample = Support::sourcePath("examples/sample.png");
    // A two-second clip of the sample, losslessly coded (PNG in Matroska), as a video a user would preview.
    std::string log;
    ASSERT_EQ(Support::runCommand("ffmpeg -v error -y -loop 1 -t 2 -r 25 -i '" + sample +
                                      "' -c:v png -pix_fmt rgba '" + folder / "clip.mkv" + "'",
                                  &log),
              0)
        << log;
    // The README's values: centre (420, 150) of 640 × 400, exposure 10 %.
    const std::string params = "0.5|0|0.65625|0.375|1|0.1|0.5|n";
    const std::string shown = folder / "shown";
    ASSERT_EQ(Support::runCommand("FREI0R_PATH='" + std::string(SOLVANE_BINARY_DIR) +
                                      "' SOLVANE_QUIET=1 timeout 120 mpv --no-config --really-quiet --no-audio "
                                      "--vo=image --vo-image-format=png --vo-image-outdir='" + shown +
                                      "' --frames=1 '--vf=lavfi=[frei0r=filter_name=ostrel_solvane:filter_params=" +
                                      params + "]' '" + folder / "clip.mkv" + "'",
                                  &log),
              0)
        << log;
    ASSERT_TRUE(std::filesystem::exists(shown + "/00000001.png")) << log;
    ASSERT_EQ(Support::runCommand(Support::solvanePath() + " render --quiet '" + sample + "' '" +
                                      folder / "solvane.png" + "' --center 420,150",
                                  &log),
              0)
        << log;
    EXPECT_TRUE(Support::sameImage("mpv", Cli::readPng(shown + "/00000001.png"), Cli::readPng(folder / "solvane.png")));
}

#endif
