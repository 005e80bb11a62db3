// solvane render on the formats as a new user types it: a JPEG photo to a JPEG, a 16-bit TIFF to a TIFF that keeps
// its 16 bits where the shafts leave the pixels, WebP to PNG, a sequence whose input and output formats differ and
// whose names number frames as VFX tools do; an output extension that names no format is a usage error, a damaged
// input leaves no output; and what solvane writes is read by ImageMagick and ffmpeg.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/ImageFile.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;
namespace fs = std::filesystem;

#ifdef SOLVANE_IMAGE_FORMATS

namespace {

class ImageFormatsRender : public ::testing::Test {
protected:
    const Support::ScratchFolder scratch;
    std::string path(const std::string& name) const { return scratch / name; }

    // Runs `solvane render ARGS` quietly; its exit status, and what it said in `log`.
    int render(const std::string& args, std::string* log = nullptr) const
    {
        return Support::runCommand(Support::solvanePath() + " render --quiet " + args, log);
    }

    // The published sample written in another format by solvane's own writer.
    std::string sampleAs(const std::string& name) const
    {
        const Cli::RgbaImage sample = Cli::readPng(Support::sourcePath("examples/sample.png"));
        std::vector<std::uint8_t> argb(sample.pixels.size());
        for (std::size_t i = 0; i < argb.size(); i += 4) {
            argb[i] = sample.pixels[i + 3];
            argb[i + 1] = sample.pixels[i];
            argb[i + 2] = sample.pixels[i + 1];
            argb[i + 3] = sample.pixels[i + 2];
        }
        const Cli::ArgbFrame frame{sample.width, sample.height, argb.data(), std::size_t(sample.width) * 4, nullptr};
        Cli::writeImageAtomically(path(name), *Cli::formatForOutputName(name), frame, {});
        return path(name);
    }
};

bool installed(const std::string& program) { return Support::runCommand("command -v " + program + " >/dev/null") == 0; }

} // namespace

TEST_F(ImageFormatsRender, APhotoAWebpAndALosslessTiffRenderAsThePngDoes)
{
    const std::string sample = Support::sourcePath("examples/sample.png");
    ASSERT_EQ(render(sample + " " + path("reference.png")), 0);
    const Cli::RgbaImage reference = Cli::readPng(path("reference.png"));
    // Lossless inputs give the PNG's render exactly, whatever the output's lossless format.
    ASSERT_EQ(render(sampleAs("in.webp") + " " + path("b.png")), 0);
    EXPECT_TRUE(Support::sameImage("webp-to-png", Cli::readPng(path("b.png")), reference));
    ASSERT_EQ(render(sampleAs("in.tif") + " " + path("out.tiff")), 0);
    EXPECT_TRUE(Support::sameImage("tif-to-tiff", Cli::readImage(path("out.tiff")).image, reference));
    // A PNG named .jpg is read as the PNG it is.
    fs::copy_file(sample, path("named-wrong.jpg"));
    ASSERT_EQ(render(path("named-wrong.jpg") + " " + path("c.webp")), 0);
    EXPECT_TRUE(Support::sameImage("png-named-jpg", Cli::readImage(path("c.webp")).image, reference));
    // A JPEG photo to a JPEG: the render of what the JPEG holds, within JPEG's own loss.
    ASSERT_EQ(render(sampleAs("photo.jpg") + " " + path("out.jpg")), 0);
    EXPECT_TRUE(Support::sameImage("jpg-to-jpg", Cli::readImage(path("out.jpg")).image, reference, 40));
}

TEST_F(ImageFormatsRender, ASixteenBitTiffKeepsItsSamplesWhereTheShaftsLeaveThePixels)
{
    // Dark 16-bit samples that are no 8-bit value widened, and a bright square in the middle that casts shafts.
    const int w = 256, h = 160;
    Cli::ImageExtras extras;
    std::vector<std::uint8_t> argb(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool bright = std::abs(x - w / 2) < 6 && std::abs(y - h / 2) < 6;
            const std::uint16_t rgba[4] = {std::uint16_t(bright ? 65000 : 3000 + x * 13),
                                           std::uint16_t(bright ? 64000 : 2000 + y * 29), std::uint16_t(1234), 65535};
            extras.deep.insert(extras.deep.end(), rgba, rgba + 4);
            std::uint8_t* p = &argb[(std::size_t(y) * w + x) * 4];
            p[0] = Cli::to8Bits(rgba[3]);
            for (int c = 0; c < 3; ++c) {
                p[c + 1] = Cli::to8Bits(rgba[c]);
            }
        }
    }
    const Cli::ArgbFrame frame{w, h, argb.data(), std::size_t(w) * 4, &extras};
    Cli::writeImageAtomically(path("in.tif"), Cli::ImageFormat::Tiff, frame, {});
    ASSERT_EQ(render(path("in.tif") + " " + path("out.tif") + " --threshold 60 --exposure 40 --shine-length 8"), 0);
    ASSERT_EQ(render(path("in.tif") + " " + path("out.png") + " --threshold 60 --exposure 40 --shine-length 8"), 0);
    const Cli::DecodedImage tiff = Cli::readImage(path("out.tif"));
    ASSERT_EQ(tiff.extras.deep.size(), extras.deep.size()) << "a 16-bit TIFF";
    EXPECT_EQ(Cli::readImage(path("out.png")).extras.deep, tiff.extras.deep) << "PNG keeps the same 16 bits";
    std::size_t kept = 0, changed = 0;
    for (std::size_t i = 0; i < extras.deep.size(); i += 4) {
        bool same8 = true;
        for (int c = 0; c < 4; ++c) {
            same8 = same8 && tiff.image.pixels[i + c] == Cli::to8Bits(extras.deep[i + c]);
        }
        for (int c = 0; c < 4; ++c) {
            ASSERT_EQ(tiff.extras.deep[i + c], same8 ? extras.deep[i + c] : tiff.image.pixels[i + c] * 257) << i / 4;
        }
        (same8 ? kept : changed) += 1;
    }
    EXPECT_GT(kept, 100u);
    EXPECT_GT(changed, 100u) << "the shafts changed pixels";
}

TEST_F(ImageFormatsRender, ASequenceChangesFormatAndTakesTheNumbersVfxToolsWrite)
{
    const std::string jpeg = sampleAs("frame.jpg");
    for (int n = 8; n <= 10; ++n) {
        fs::copy_file(jpeg, path("in_" + std::string(n < 10 ? "000" : "00") + std::to_string(n) + ".jpg"));
    }
    ASSERT_EQ(render(path("in_%04d.jpg") + " " + path("out.####.tif") + " --frames 8-10"), 0);
    for (const char* name : {"out.0008.tif", "out.0009.tif", "out.0010.tif"}) {
        EXPECT_TRUE(fs::exists(path(name))) << name;
    }
    ASSERT_EQ(render(path("out.#.tif") + " " + path("again_@.webp") + " --frames 9-10"), 0);
    EXPECT_TRUE(Support::sameImage("9", Cli::readImage(path("again_9.webp")).image,
                                   Cli::readImage(path("again_10.webp")).image));
    // Later frames' names grow a digit with @; the first keeps one.
    EXPECT_FALSE(fs::exists(path("again_09.webp")));
}

TEST_F(ImageFormatsRender, AnOutputThatNamesNoFormatOrADamagedInputLeavesNoFile)
{
    const std::string sample = Support::sourcePath("examples/sample.png");
    std::string log;
    EXPECT_EQ(render(sample + " " + path("out.bmp"), &log), 2) << log;
    EXPECT_NE(log.find("out.bmp: the extension names no format solvane writes (.png, .jpg, .jpeg, .tif, .tiff, .webp)"),
              std::string::npos)
        << log;
    EXPECT_FALSE(fs::exists(path("out.bmp")));
    // A JPEG cut short is refused with its name and the reason; the output that was there stays as it was.
    const std::string photo = Support::readFile(sampleAs("photo.jpg"));
    Support::writeFile(path("cut.jpg"), photo.substr(0, photo.size() / 2));
    Support::writeFile(path("out.tif"), "an earlier complete output");
    EXPECT_EQ(render(path("cut.jpg") + " " + path("out.tif"), &log), 1) << log;
    EXPECT_NE(log.find("cut.jpg: cannot read JPEG: "), std::string::npos) << log;
    EXPECT_EQ(Support::readFile(path("out.tif")), "an earlier complete output");
    // JPEG has no alpha: said once, and the frame is written composed over black.
    ASSERT_EQ(render(sample + " " + path("rays.jpg") + " --ray-only", &log), 0) << log;
    EXPECT_NE(log.find("JPEG holds no alpha"), std::string::npos) << log;
}

TEST_F(ImageFormatsRender, WhatSolvaneWritesOtherToolsRead)
{
    const std::string sample = Support::sourcePath("examples/sample.png");
    for (const char* name : {"out.jpg", "out.tif", "out.webp", "out16.tif"}) {
        const std::string in = std::string(name) == "out16.tif" ? path("deep.tif") : sample;
        if (in != sample) {
            ASSERT_EQ(Support::runCommand("convert '" + sample + "' -depth 16 '" + in + "'"), 0);
        }
        ASSERT_EQ(render(in + " " + path(name)), 0) << name;
        const std::string written = path(name);
        if (installed("convert")) {
            const std::string seen = written + "-seen.png";
            ASSERT_EQ(Support::runCommand("convert '" + written + "' 'PNG32:" + seen + "'"), 0) << name;
            EXPECT_TRUE(Support::sameImage(name, Cli::readPng(seen), Cli::readImage(written).image, 1)) << name;
        }
        if (installed("ffmpeg") && std::string(name) != "out16.tif") {
            std::string log;
            EXPECT_EQ(Support::runCommand("ffmpeg -v error -i '" + written + "' -f null -", &log), 0) << log;
        }
    }
}

#endif // SOLVANE_IMAGE_FORMATS
