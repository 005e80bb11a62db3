// The PNG reader under the files a user or an attacker hands it: every colour type
// and depth arrives as the stored 8-bit samples, chunks that describe colour
// change nothing, and sizes beyond what the plug-in draws are refused from the
// header, with the size and the limit in the message.
#include <gtest/gtest.h>

#include <png.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/PngImage.h"
#include "cli/ProcessMemory.h"
#include "standin/HostWorld.h"
#include "support/HostTestSupport.h"
#include "support/PngTestFiles.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;
using Support::PngFileSpec;

namespace {

Cli::RgbaImage decode(const std::vector<std::uint8_t>& file, const Cli::ImageSizeLimit& limit = {})
{
    return Cli::decodePng(file.data(), file.size(), "test.png", limit);
}

// The message of the error that decoding throws, or "" when it succeeds.
std::string decodeError(const std::vector<std::uint8_t>& file, const Cli::ImageSizeLimit& limit = {})
{
    try {
        decode(file, limit);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

// A small RGBA image whose samples cover every byte value, differently in each channel.
std::vector<std::uint8_t> everyByte(int width, int height)
{
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
    for (std::size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] = static_cast<std::uint8_t>((i * 7 + i / 4 * 13) & 0xFF);
    }
    return rgba;
}

PngFileSpec rgba8(int width, int height, const std::vector<std::uint8_t>& rgba)
{
    PngFileSpec spec;
    spec.width = width;
    spec.height = height;
    spec.samples.assign(rgba.begin(), rgba.end());
    return spec;
}

} // namespace

TEST(PngReader, SamplesArriveAsStoredWhateverTheChunksSay)
{
    const std::vector<std::uint8_t> rgba = everyByte(32, 16);

    // 16-bit samples made from the 8-bit ones (v * 257) come back as exactly those bytes, interlaced or not.
    PngFileSpec deep = rgba8(32, 16, rgba);
    deep.bitDepth = 16;
    for (auto& sample : deep.samples) {
        sample = static_cast<std::uint16_t>(sample * 257);
    }
    EXPECT_TRUE(Support::sameBytes(decode(Support::encodePngFile(deep)).pixels, rgba));
    deep.interlaced = true;
    EXPECT_TRUE(Support::sameBytes(decode(Support::encodePngFile(deep)).pixels, rgba));

    // gAMA (linear, and the usual 1/2.2), sRGB, cHRM and iCCP leave 8-bit and 16-bit samples alone.
    for (const double gamma : {1.0, 2.2}) {
        PngFileSpec tagged = rgba8(32, 16, rgba);
        tagged.gamma = gamma;
        tagged.chromaticities = true;
        EXPECT_TRUE(Support::sameBytes(decode(Support::encodePngFile(tagged)).pixels, rgba)) << "gamma " << gamma;
        deep.gamma = gamma;
        EXPECT_TRUE(Support::sameBytes(decode(Support::encodePngFile(deep)).pixels, rgba)) << "16-bit, gamma " << gamma;
    }
    PngFileSpec srgb = rgba8(32, 16, rgba);
    srgb.srgb = true;
    EXPECT_TRUE(Support::sameBytes(decode(Support::encodePngFile(srgb)).pixels, rgba));
    PngFileSpec profiled = rgba8(32, 16, rgba);
    profiled.profile = true;
    EXPECT_TRUE(Support::sameBytes(decode(Support::encodePngFile(profiled)).pixels, rgba));
}

TEST(PngReader, SixteenBitSamplesRoundToNearest)
{
    // Every 16-bit value, as grey: v8 = round(v16 * 255 / 65535), not the high byte (which 129 or 65407 would show).
    PngFileSpec grey;
    grey.width = 256;
    grey.height = 256;
    grey.bitDepth = 16;
    grey.colorType = PNG_COLOR_TYPE_GRAY;
    for (std::uint32_t v = 0; v < 65536; ++v) {
        grey.samples.push_back(static_cast<std::uint16_t>(v));
    }
    const Cli::RgbaImage image = decode(Support::encodePngFile(grey));
    int wrong = 0;
    for (std::uint32_t v = 0; v < 65536; ++v) {
        const std::uint8_t* p = &image.pixels[v * 4];
        const auto expected = static_cast<std::uint8_t>((v * 255 + 32767) / 65535);
        if (p[0] != expected || p[1] != expected || p[2] != expected || p[3] != 255) {
            if (++wrong <= 5) {
                ADD_FAILURE() << "16-bit " << v << " gave " << int(p[0]) << "," << int(p[1]) << "," << int(p[2])
                              << "," << int(p[3]) << ", expected " << int(expected);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(PngReader, EveryColourTypeArrivesAsRgba)
{
    // Grey with alpha, RGB without alpha (opaque), 1-bit grey (0 and 255), and a palette with transparency.
    PngFileSpec greyAlpha;
    greyAlpha.width = 2;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    greyAlpha.samples = {10, 20, 200, 255};
    EXPECT_EQ(decode(Support::encodePngFile(greyAlpha)).pixels,
              (std::vector<std::uint8_t>{10, 10, 10, 20, 200, 200, 200, 255}));

    PngFileSpec rgb;
    rgb.width = 2;
    rgb.colorType = PNG_COLOR_TYPE_RGB;
    rgb.samples = {1, 2, 3, 250, 251, 252};
    rgb.gamma = 1.0;
    EXPECT_EQ(decode(Support::encodePngFile(rgb)).pixels, (std::vector<std::uint8_t>{1, 2, 3, 255, 250, 251, 252, 255}));

    PngFileSpec bits;
    bits.width = 3;
    bits.bitDepth = 1;
    bits.colorType = PNG_COLOR_TYPE_GRAY;
    bits.samples = {1, 0, 1};
    EXPECT_EQ(decode(Support::encodePngFile(bits)).pixels,
              (std::vector<std::uint8_t>{255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}));

    PngFileSpec palette;
    palette.width = 3;
    palette.bitDepth = 4;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.palette = {1, 2, 3, 40, 50, 60, 7, 8, 9};
    palette.transparency = {0, 128};
    palette.samples = {1, 0, 2};
    EXPECT_EQ(decode(Support::encodePngFile(palette)).pixels,
              (std::vector<std::uint8_t>{40, 50, 60, 128, 1, 2, 3, 0, 7, 8, 9, 255}));
}

TEST(PngReader, SizesBeyondTheLimitAreRefusedFromTheHeader)
{
    const std::vector<std::uint8_t> small = Support::encodePngFile(rgba8(4, 4, everyByte(4, 4)));

    // A file of a few dozen bytes whose header claims 32767 x 32767: refused at once, with the size and the limit.
    const auto started = std::chrono::steady_clock::now();
    const std::string huge = decodeError(Support::withClaimedSize(small, 32767, 32767));
    EXPECT_NE(huge.find("32767x32767"), std::string::npos) << huge;
    EXPECT_NE(huge.find("16384x16384"), std::string::npos) << huge;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));

    // The limit is the caller's: at it the image is read, one pixel beyond it on either side is refused.
    EXPECT_EQ(decode(small, {4, 4}).width, 4);
    EXPECT_NE(decodeError(small, {3, 4}).find("4x4 pixels, larger than the 3x4"), std::string::npos);
    EXPECT_NE(decodeError(small, {4, 3}).find("4x4 pixels, larger than the 4x3"), std::string::npos);

    // Within the limit, a header that claims far more rows than the data holds fails as the data runs out, without
    // taking memory for the whole claimed frame (a 16384 x 16384 frame is 1 GiB).
    constexpr std::uint64_t kMemoryAllowance = 256u << 20; // far below the claimed frame's 1 GiB
    std::uint64_t before = Cli::ProcessMemory::peakResidentBytes();
    const std::string truncated = decodeError(Support::withClaimedSize(small, 16384, 16384));
    std::uint64_t after = Cli::ProcessMemory::peakResidentBytes();
    EXPECT_NE(truncated.find("cannot decode PNG"), std::string::npos) << truncated;
    EXPECT_LT(after - before, kMemoryAllowance) << "bytes of peak memory taken";

    // A chunk whose length field claims 1.9 GB at the end of a 60-byte file: an error, without taking that memory.
    for (const char* type : {"iTXt", "zTXt", "iCCP", "eXIf", "abCd"}) {
        std::vector<std::uint8_t> claim(small.begin(), small.begin() + 33); // signature and header chunk
        const std::uint8_t length[] = {0x70, 0x48, 0x59, 0x73};
        claim.insert(claim.end(), length, length + 4);
        claim.insert(claim.end(), type, type + 4);
        claim.insert(claim.end(), {1, 's', 'R', 'G', 'B', 0, 0xAE, 0xCE});
        before = Cli::ProcessMemory::peakResidentBytes();
        const std::string message = decodeError(claim);
        after = Cli::ProcessMemory::peakResidentBytes();
        EXPECT_NE(message.find("ends early"), std::string::npos) << type << ": " << message;
        EXPECT_LT(after - before, kMemoryAllowance) << type << ": bytes of peak memory taken";
    }
}

TEST(PngReader, DamagedAndMisnamedFilesGiveTheReason)
{
    const std::vector<std::uint8_t> file = Support::encodePngFile(rgba8(8, 8, everyByte(8, 8)));
    EXPECT_NE(decodeError({}).find("test.png: cannot read PNG: the file is empty"), std::string::npos);
    // No bytes at no address (a null pointer is what an empty buffer may hand over): the same, and nothing touched.
    EXPECT_THROW(Cli::decodePng(nullptr, 0, "nothing"), std::runtime_error);
    EXPECT_NE(decodeError(std::vector<std::uint8_t>(file.begin(), file.begin() + 20)).find("ends early"),
              std::string::npos);
    EXPECT_NE(decodeError(std::vector<std::uint8_t>(file.begin(), file.end() - 30)).find("cannot decode PNG"),
              std::string::npos);
    std::vector<std::uint8_t> text(file.size(), 'x');
    EXPECT_NE(decodeError(text).find("cannot read PNG"), std::string::npos);
    std::vector<std::uint8_t> corrupt = file;
    corrupt[40] ^= 0xFF; // inside the image data: its checksum no longer matches
    EXPECT_NE(decodeError(corrupt), "");

    const Support::ScratchFolder scratch;
    const std::string folder = scratch.str();
    try {
        Cli::readPng(folder);
        ADD_FAILURE() << "a directory was read as a PNG";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("is a directory"), std::string::npos) << error.what();
    }
    Support::writeBytes(folder + "/empty.png", {});
    try {
        Cli::readPng(folder + "/empty.png");
        ADD_FAILURE() << "an empty file was read as a PNG";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("empty.png: cannot read PNG: the file is empty"), std::string::npos)
            << error.what();
    }
}

TEST(HostWorldChannels, RgbaArrivesInTheHostsAlphaRedGreenBlueOrder)
{
    // An asymmetric pixel: every channel distinct, so a swap of any two shows.
    const std::uint8_t rgba[] = {1, 2, 3, 4, 250, 251, 252, 253};
    StandIn::HostWorld world(2, 1, 8);
    world.setFromRgba(rgba);
    EXPECT_EQ(Support::pixels(world), (std::vector<std::uint8_t>{4, 1, 2, 3, 253, 250, 251, 252}));
    std::uint8_t back[8] = {};
    world.copyToRgba(back);
    EXPECT_TRUE(std::equal(back, back + 8, rgba));
    EXPECT_TRUE(world.paddingIntact());
}
