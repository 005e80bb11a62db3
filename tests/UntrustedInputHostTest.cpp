// solvane and the loader under input they must not trust: libraries whose
// registration resource names a function they do not define, and images that a
// faulty reader would alter (16-bit samples, colour chunks); and the README's
// sample command against its published result, the one absolute reference for
// what the command-line route produces.
#include <gtest/gtest.h>

#include <png.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/PngImage.h"
#include "standin/PluginLibrary.h"
#include "support/HostTestSupport.h"
#include "support/PngTestFiles.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

class UntrustedInputTest : public ::testing::Test {
protected:
    const Support::ScratchFolder scratch;
    const std::string folder = scratch.str();
};

} // namespace

#if !defined(_WIN32)
TEST_F(UntrustedInputTest, EntryPointMustBeTheLibrarysOwn)
{
    // The C library's puts and abort are reachable from every library through its dependencies; a resource that
    // names them must not make the host call them.
    for (const std::string entry : {"puts", "abort"}) {
        const std::string library = std::string(SOLVANE_BINARY_DIR) + "/foreign-entry-" + entry + ".aex";
        try {
            StandIn::PluginLibrary loaded(library);
            ADD_FAILURE() << library << " loaded with the C library's " << entry << " as its entry point";
        } catch (const std::runtime_error& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(library), std::string::npos) << message;
            EXPECT_NE(message.find("no entry point named \"" + entry + "\""), std::string::npos) << message;
        }
        std::string output;
        EXPECT_EQ(Support::runCommand(Support::solvanePath() + " --plugin " + library + " about", &output), 1) << output;
        EXPECT_NE(output.find("no entry point named \"" + entry + "\""), std::string::npos) << output;
        EXPECT_EQ(Support::runCommand(Support::solvanePath() + " --plugin " + library + " render " +
                                       Support::sourcePath("examples/sample.png") + " " + folder + "/out.png",
                                   &output),
                  1)
            << output;
        EXPECT_FALSE(std::filesystem::exists(folder + "/out.png"));
    }
}
#endif

TEST_F(UntrustedInputTest, ReadmeSampleCommandGivesThePublishedImage)
{
    // The README's command against examples/sample-shafts.png, which llvmpipe rendered. Other conforming drivers
    // round the float passes their own way: within one level on at most 0.1 % of the pixels (softpipe moves about
    // 0.05 % of them, zink a few).
    const std::string output = folder + "/shafts.png";
    std::string log;
    ASSERT_EQ(Support::runCommand(Support::solvanePath() + " render " + Support::sourcePath("examples/sample.png") + " " +
                                   output + " --center 420,150",
                               &log),
              0)
        << log;
    EXPECT_TRUE(Support::nearImage("shafts", Cli::readPng(output),
                                   Cli::readPng(Support::sourcePath("examples/sample-shafts.png")), 1, 0.001));
}

TEST_F(UntrustedInputTest, SixteenBitAndTaggedImagesRenderAsTheirStoredSamples)
{
    // The sample as 16-bit RGBA (each byte v stored as v * 257) with a linear gAMA chunk, and as 8-bit with a gAMA
    // chunk of 1/2.2 and wide-gamut primaries: both render to the sample's own result.
    const Cli::RgbaImage sample = Cli::readPng(Support::sourcePath("examples/sample.png"));
    Support::PngFileSpec deep;
    deep.width = sample.width;
    deep.height = sample.height;
    deep.bitDepth = 16;
    deep.gamma = 1.0;
    for (const std::uint8_t value : sample.pixels) {
        deep.samples.push_back(static_cast<std::uint16_t>(value * 257));
    }
    Support::writeBytes(folder + "/deep.png", Support::encodePngFile(deep));
    Support::PngFileSpec tagged = deep;
    tagged.bitDepth = 8;
    tagged.samples.assign(sample.pixels.begin(), sample.pixels.end());
    tagged.gamma = 2.2;
    tagged.chromaticities = true;
    Support::writeBytes(folder + "/tagged.png", Support::encodePngFile(tagged));

    for (const std::string name : {"sample", "deep", "tagged"}) {
        const std::string input =
            name == "sample" ? Support::sourcePath("examples/sample.png") : folder + "/" + name + ".png";
        std::string log;
        ASSERT_EQ(Support::runCommand(Support::solvanePath() + " render " + input + " " + folder + "/" + name +
                                       "-out.png --center 420,150",
                                   &log),
                  0)
            << log;
    }
    const Cli::RgbaImage reference = Cli::readPng(folder + "/sample-out.png");
    EXPECT_TRUE(Support::sameImage("deep", Cli::readPng(folder + "/deep-out.png"), reference)) << "16-bit";
    EXPECT_TRUE(Support::sameImage("tagged", Cli::readPng(folder + "/tagged-out.png"), reference)) << "gAMA and cHRM";
}

TEST_F(UntrustedInputTest, OversizedImageIsRefusedBeforeRendering)
{
    // A tiny file whose header claims 32767 x 32767 pixels: refused with the size and the limit, exit 1, no output.
    Support::PngFileSpec tiny;
    tiny.samples = {1, 2, 3, 4};
    Support::writeBytes(folder + "/huge.png", Support::withClaimedSize(Support::encodePngFile(tiny), 32767, 32767));
    std::string log;
    EXPECT_EQ(Support::runCommand(Support::solvanePath() + " render " + folder + "/huge.png " + folder + "/out.png", &log), 1)
        << log;
    EXPECT_NE(log.find("32767x32767"), std::string::npos) << log;
    EXPECT_NE(log.find("16384x16384"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(folder + "/out.png"));
}
