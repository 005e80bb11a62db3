// The effect on each of Mesa's OpenGL drivers against llvmpipe, the driver the published images were made with:
// `solvane render` of the reference cases through scripts/gl-driver.sh, whatever driver the test program itself was
// started with. Conforming drivers round the float passes their own way, so the frames may differ, but by one level
// at most and on few pixels.
#if !defined(_WIN32)

#include "cli/PngImage.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

struct RenderCase {
    const char* name;
    const char* input; // "sample", or "odd": an odd-sized, translucent piece of it
    const char* options;
    double share;      // of the pixels that may differ by one level
};

// Measured: softpipe moves 0.004-0.07 % of the pixels of a frame with the layer by one level, zink a few pixels or
// none. The shafts alone, without the layer's colours over them, leave more values near the middle between two
// levels: softpipe moved 0.20 % of this case's pixels, zink one.
constexpr double kWithLayer = 0.001;
constexpr double kShaftsAlone = 0.003;

// Every quality, the shafts alone, a centre far outside the frame (at Low, whose box softpipe draws in seconds), and
// an odd-sized frame whose alpha falls across it.
const RenderCase kCases[] = {
    {"high", "sample", "--quality high --center 420,150", kWithLayer},
    {"medium", "sample", "--quality medium --center 420,150", kWithLayer},
    {"low", "sample", "--quality low --center 420,150", kWithLayer},
    {"ray-only", "sample", "--quality medium --center 200,300 --ray-only", kShaftsAlone},
    {"far-centre", "sample", "--quality low --center -20000,-20000", kWithLayer},
    {"odd-translucent", "odd", "--quality high --center 100,-40 --exposure 40", kWithLayer},
};

const char* const kDrivers[] = {"softpipe", "zink"};

// The identification block's version line, e.g. "4.6".
std::string versionIn(const std::string& log)
{
    const std::string label = "OpenGL Version:  ";
    const std::size_t at = log.find(label);
    if (at == std::string::npos) {
        return "";
    }
    const std::size_t start = at + label.size();
    return log.substr(start, log.find('\n', start) - start);
}

class DriverAgreementHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Cli::RgbaImage sample = Cli::readPng(Support::sourcePath("examples/sample.png"));
        Cli::RgbaImage odd;
        odd.width = 333;
        odd.height = 207;
        odd.pixels.resize(static_cast<std::size_t>(odd.width) * odd.height * 4);
        for (int y = 0; y < odd.height; ++y) {
            for (int x = 0; x < odd.width; ++x) {
                const std::size_t at = static_cast<std::size_t>(y + 101) * sample.width + x + 157;
                const std::uint8_t* from = &sample.pixels[at * 4];
                std::uint8_t* to = &odd.pixels[(static_cast<std::size_t>(y) * odd.width + x) * 4];
                std::copy(from, from + 3, to);
                to[3] = static_cast<std::uint8_t>(255 - (x * 230) / odd.width);
            }
        }
        Cli::writePngAtomically(scratch / "odd.png", odd);
    }

    // The case rendered on the driver; the log goes to `log`.
    Cli::RgbaImage render(const std::string& driver, const RenderCase& renderCase, std::string& log)
    {
        const std::string input = std::string(renderCase.input) == "odd" ? scratch / "odd.png"
                                                                          : Support::sourcePath("examples/sample.png");
        const std::string output = scratch / (driver + "-" + renderCase.name + ".png");
        const std::string command = Support::sourcePath("scripts/gl-driver.sh") + " " + driver + " " +
                                    Support::solvanePath() + " render --verbose " + input + " " + output + " " +
                                    renderCase.options;
        EXPECT_EQ(Support::runCommand(command, &log), 0) << command << "\n" << log;
        return Cli::readPng(output);
    }

    Support::ScratchFolder scratch;
};

} // namespace

TEST_F(DriverAgreementHostTest, EveryDriverRendersTheReferenceCasesWithinOneLevelOfLlvmpipe)
{
    for (const RenderCase& renderCase : kCases) {
        std::string log;
        const Cli::RgbaImage reference = render("llvmpipe", renderCase, log);
        ASSERT_FALSE(reference.pixels.empty()) << renderCase.name;
        for (const char* driver : kDrivers) {
            const Cli::RgbaImage frame = render(driver, renderCase, log);
            ASSERT_EQ(frame.pixels.size(), reference.pixels.size()) << driver << " " << renderCase.name;
            int largest = 0;
            std::size_t differing = 0;
            for (std::size_t i = 0; i < frame.pixels.size(); i += 4) {
                int pixelLargest = 0;
                for (std::size_t c = 0; c < 4; ++c) {
                    pixelLargest = std::max(pixelLargest, std::abs(frame.pixels[i + c] - reference.pixels[i + c]));
                }
                largest = std::max(largest, pixelLargest);
                differing += pixelLargest > 0 ? 1 : 0;
            }
            const std::size_t count = frame.pixels.size() / 4;
            std::printf("%-9s %-5s %-16s largest %d, %zu of %zu pixels differ (%.3f %%)\n", driver,
                        versionIn(log).c_str(), renderCase.name, largest, differing, count,
                        100.0 * static_cast<double>(differing) / static_cast<double>(count));
            EXPECT_TRUE(Support::nearImage(std::string(driver) + "-" + renderCase.name, frame, reference, 1,
                                           renderCase.share));
        }
    }
}

#endif
