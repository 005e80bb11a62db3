// solvane's image files: the format told by the bytes and the output's extension, each writer read back by the
// readers (16 bits and colour profiles kept), files made by ImageMagick and ffmpeg read as ImageMagick sees them, and
// damaged, oversized and animated files refused with the file's name and the reason.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/FramePattern.h"
#include "cli/ImageFile.h"
#include "support/HostTestSupport.h"
#include "support/PngTestFiles.h"
#include "support/Workbench.h"

namespace Tamrin {
namespace Solvane {
namespace {

using namespace Cli;
namespace fs = std::filesystem;
namespace Support = Tamrin::Solvane::Test;

// A frame of the host's order with varied colours and alpha, `rowBytes` wider than its pixels.
struct TestFrame {
    int width = 23, height = 11;
    std::size_t rowBytes = 23 * 4 + 12;
    std::vector<std::uint8_t> rows;
    TestFrame(bool opaque)
    {
        rows.assign(rowBytes * height, 0xA5);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = &rows[rowBytes * y + x * 4];
                p[0] = opaque ? 255 : static_cast<std::uint8_t>(x * 11 + y);
                p[1] = static_cast<std::uint8_t>(x * 10);
                p[2] = static_cast<std::uint8_t>(y * 23);
                p[3] = static_cast<std::uint8_t>(x * y);
            }
        }
    }
    ArgbFrame argb(const ImageExtras* extras = nullptr) const
    {
        return ArgbFrame{width, height, rows.data(), rowBytes, extras};
    }
    std::vector<std::uint8_t> rgba() const
    {
        std::vector<std::uint8_t> out;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = &rows[rowBytes * y + x * 4];
                out.insert(out.end(), {p[1], p[2], p[3], p[0]});
            }
        }
        return out;
    }
};

TEST(ImageFormats, TheFormatIsToldByTheBytesAndTheOutputsByTheirExtension)
{
    const std::uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const std::uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0};
    const std::uint8_t webp[] = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'E', 'B', 'P'};
    const std::uint8_t wave[] = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'A', 'V', 'E'};
    EXPECT_EQ(formatOfBytes(png, sizeof png), ImageFormat::Png);
    EXPECT_EQ(formatOfBytes(png, 7), std::nullopt);
    EXPECT_EQ(formatOfBytes(jpeg, sizeof jpeg), ImageFormat::Jpeg);
    EXPECT_EQ(formatOfBytes(reinterpret_cast<const std::uint8_t*>("II*\0"), 4), ImageFormat::Tiff);
    EXPECT_EQ(formatOfBytes(reinterpret_cast<const std::uint8_t*>("MM\0*"), 4), ImageFormat::Tiff);
    EXPECT_EQ(formatOfBytes(webp, sizeof webp), ImageFormat::Webp);
    EXPECT_EQ(formatOfBytes(wave, sizeof wave), std::nullopt);

    EXPECT_EQ(formatForOutputName("out.png"), ImageFormat::Png);
    EXPECT_EQ(formatForOutputName("renders/out_%04d.PNG"), ImageFormat::Png);
    EXPECT_EQ(formatForOutputName("plain"), ImageFormat::Png) << "no extension: PNG, as before";
    EXPECT_EQ(formatForOutputName("a.b/plain"), ImageFormat::Png) << "a folder's dot is no extension";
    EXPECT_EQ(formatForOutputName("out.bmp"), std::nullopt);
    EXPECT_EQ(formatForOutputName("out.exr"), std::nullopt);
#ifdef SOLVANE_IMAGE_FORMATS
    EXPECT_EQ(formatForOutputName("out.JPG"), ImageFormat::Jpeg);
    EXPECT_EQ(formatForOutputName("out.jpeg"), ImageFormat::Jpeg);
    EXPECT_EQ(formatForOutputName("out.####.tif"), ImageFormat::Tiff);
    EXPECT_EQ(formatForOutputName("out.tiff"), ImageFormat::Tiff);
    EXPECT_EQ(formatForOutputName("out.webp"), ImageFormat::Webp);
    EXPECT_EQ(writtenExtensions(), ".png, .jpg, .jpeg, .tif, .tiff, .webp");
#else
    EXPECT_EQ(formatForOutputName("out.jpg"), std::nullopt);
    EXPECT_EQ(writtenExtensions(), ".png");
#endif
}

TEST(ImageFormats, FrameNumbersAsVfxToolsWriteThem)
{
    EXPECT_EQ(FramePattern("in.####.tif").path(7), "in.0007.tif");
    EXPECT_EQ(FramePattern("in.#.tif").path(7), "in.0007.tif") << "oiiotool's lone # is four digits";
    EXPECT_EQ(FramePattern("in.@.tif").path(7), "in.7.tif");
    EXPECT_EQ(FramePattern("in.@@@.tif").path(12345), "in.12345.tif");
    EXPECT_EQ(FramePattern("shots#2/in_##.png").path(3), "shots#2/in_03.png") << "only the file's own name counts";
    EXPECT_FALSE(FramePattern("shots#2/in.png").numbered());
    EXPECT_EQ(FramePattern("in_%04d@2x.png").path(5), "in_0005@2x.png") << "with %d, # and @ are plain letters";
    EXPECT_THROW(FramePattern("in.##.@@.tif"), std::invalid_argument);
    EXPECT_THROW(FramePattern("in.##########.tif"), std::invalid_argument);
}

TEST(ImageFormats, SixteenBitSamplesStayWhereThePixelIsUnchanged)
{
    TestFrame frame(false);
    ImageExtras extras;
    const std::vector<std::uint8_t> rgba = frame.rgba();
    for (std::size_t i = 0; i < rgba.size(); ++i) {
        // A deep sample whose rounding is the 8-bit input, but not its widening.
        extras.deep.push_back(static_cast<std::uint16_t>(rgba[i] * 257 + (rgba[i] < 128 ? 100 : -100)));
    }
    frame.rows[frame.rowBytes * 2 + 5 * 4 + 1] ^= 0x40; // the effect changed pixel (5, 2)
    const std::vector<std::uint16_t> out = deepOutputSamples(frame.argb(&extras));
    const std::size_t changed = (2 * frame.width + 5) * 4;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i / 4 == changed / 4) {
            EXPECT_EQ(out[i], frame.rgba()[i] * 257) << "a changed pixel takes its 8-bit value, all channels";
        } else {
            ASSERT_EQ(out[i], extras.deep[i]) << i;
        }
    }
}

#ifdef SOLVANE_IMAGE_FORMATS

std::vector<std::uint8_t> bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A small ICC profile as libpng checks one: its length, the signature, an RGB display profile with the D50 white
// point, and two tags: the white point and a private one of varied bytes (libpng 1.6 cannot read an iCCP chunk
// shorter than its 81-byte first read, which a profile of zeros compresses to).
std::vector<std::uint8_t> iccProfile()
{
    std::vector<std::uint8_t> p(432, 0);
    auto put = [&p](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            p[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        }
    };
    put(0, 432);
    put(8, 0x02100000);
    std::memcpy(&p[12], "mntrRGB XYZ ", 12);
    std::memcpy(&p[36], "acsp", 4);
    put(68, 0x0000F6D6);
    put(72, 0x00010000);
    put(76, 0x0000D32D);
    put(128, 2);
    std::memcpy(&p[132], "wtpt", 4);
    put(136, 156);
    put(140, 20);
    std::memcpy(&p[144], "zzzz", 4);
    put(148, 176);
    put(152, 256);
    std::memcpy(&p[156], "XYZ ", 4);
    put(164, 0x0000F6D6);
    put(168, 0x00010000);
    put(172, 0x0000D32D);
    std::uint32_t noise = 12345;
    for (std::size_t i = 176; i < p.size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        p[i] = static_cast<std::uint8_t>(noise >> 16);
    }
    return p;
}

TEST(ImageFormats, EachWriterIsReadBackWithItsProfileAndTheLosslessOnesExactly)
{
    Support::ScratchFolder folder;
    const TestFrame frame(false);
    ImageExtras extras;
    extras.iccProfile = iccProfile();
    const ImageWriteOptions options;
    for (const char* name : {"out.png", "out.tif", "out.webp", "out.jpg"}) {
        SCOPED_TRACE(name);
        const std::string path = folder / name;
        bool dropped = false;
        writeImageAtomically(path, *formatForOutputName(path), frame.argb(&extras), options, &dropped);
        const DecodedImage back = readImage(path);
        EXPECT_EQ(back.extras.iccProfile, extras.iccProfile);
        EXPECT_EQ(back.image.width, frame.width);
        EXPECT_EQ(back.image.height, frame.height);
        if (std::string(name) != "out.jpg") {
            EXPECT_TRUE(Support::sameImage(name, frame.width, frame.height, back.image.pixels, frame.rgba()));
            EXPECT_FALSE(dropped);
            continue;
        }
        // JPEG: composed over black and opaque, within its compression's error.
        EXPECT_TRUE(dropped);
        std::vector<std::uint8_t> overBlack = frame.rgba();
        for (std::size_t i = 0; i < overBlack.size(); i += 4) {
            for (int c = 0; c < 3; ++c) {
                overBlack[i + c] = static_cast<std::uint8_t>((overBlack[i + c] * overBlack[i + 3] + 127) / 255);
            }
            overBlack[i + 3] = 255;
        }
        EXPECT_TRUE(Support::sameImage(name, frame.width, frame.height, back.image.pixels, overBlack,
                                    Support::PixelOrder::Rgba, 12));
    }
    // A profile that cannot describe the RGB output (CMYK, or cut short) is left out, and the write succeeds.
    for (const bool cmyk : {true, false}) {
        ImageExtras other;
        other.iccProfile = iccProfile();
        if (cmyk) {
            std::memcpy(&other.iccProfile[16], "CMYK", 4);
        } else {
            other.iccProfile.resize(300);
        }
        for (const char* name : {"other.png", "other.tif", "other.webp", "other.jpg"}) {
            writeImageAtomically(folder / name, *formatForOutputName(name), frame.argb(&other), options);
            EXPECT_TRUE(readImage(folder / name).extras.iccProfile.empty()) << name;
        }
    }
    // Lossy WebP at a chosen quality is smaller than lossless and close to the frame.
    ImageWriteOptions lossy;
    lossy.webpQuality = 80;
    writeImageAtomically(folder / "lossy.webp", ImageFormat::Webp, frame.argb(), lossy);
    EXPECT_LT(fs::file_size(folder / "lossy.webp"), fs::file_size(folder / "out.webp"));
}

TEST(ImageFormats, SixteenBitTiffAndPngKeepTheirSamplesThroughAWrite)
{
    Support::ScratchFolder folder;
    const TestFrame frame(false);
    ImageExtras extras;
    for (std::uint8_t v : frame.rgba()) {
        extras.deep.push_back(static_cast<std::uint16_t>(v * 257 + (v < 128 ? 77 : -77)));
    }
    for (const char* compression : {"none", "lzw", "deflate", "packbits"}) {
        ImageWriteOptions options;
        options.tiffCompression = compression;
        const std::string path = folder / (std::string(compression) + ".tif");
        writeImageAtomically(path, ImageFormat::Tiff, frame.argb(&extras), options);
        EXPECT_EQ(readImage(path).extras.deep, extras.deep) << compression;
    }
    writeImageAtomically(folder / "deep.png", ImageFormat::Png, frame.argb(&extras), {});
    const DecodedImage png = readImage(folder / "deep.png");
    EXPECT_EQ(png.extras.deep, extras.deep);
    EXPECT_EQ(png.image.pixels, frame.rgba());
    // The plain PNG reader, which the tests and the other clients use, rounds it to the same 8 bits.
    EXPECT_EQ(readPng(folder / "deep.png").pixels, frame.rgba());
}

bool haveConvert() { return Support::runCommand("command -v convert >/dev/null") == 0; }

TEST(ImageFormats, FilesImageMagickMakesAreReadAsItSeesThem)
{
    if (!haveConvert()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed (scripts/setup.sh --test)";
    }
    Support::ScratchFolder folder;
    const std::string source = Support::sourcePath("examples/sample.png");
    ASSERT_EQ(Support::runCommand("convert '" + source + "' -resize 64x40 '" + folder / "small.png" + "'"), 0);
    const RgbaImage small = readPng(folder / "small.png");
    struct Case {
        const char* file;
        const char* options;
        int tolerance; // decoders may round differently: JPEG's IDCT and CMYK, 16 bits to 8
    };
    const Case cases[] = {
        {"baseline.jpg", "-quality 90", 1},
        {"progressive.jpg", "-quality 90 -interlace Plane", 1},
        {"grey.jpg", "-colorspace Gray", 1},
        {"cmyk.jpg", "-quality 95 -colorspace CMYK", 3},
        {"strips.tif", "-compress lzw", 0},
        {"deep.tif", "-depth 16 -compress zip", 1},
        {"tiles.tif", "-define tiff:tile-geometry=16x16", 0},
        {"planes.tif", "-interlace plane -depth 16", 1},
        // libtiff's RGBA reader takes the high byte of a 16-bit palette entry; ImageMagick rounds it.
        {"palette.tif", "-type Palette", 1},
        {"jpeg.tif", "-compress jpeg", 3},
        {"lossless.webp", "-define webp:lossless=true", 0},
        {"lossy.webp", "-quality 80", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = folder / c.file;
        const std::string seen = path + "-seen.png";
        ASSERT_EQ(Support::runCommand("convert '" + folder / "small.png" + "' " + c.options + " '" + path + "'"), 0);
        ASSERT_EQ(Support::runCommand("convert '" + path + "' -depth 8 -type TrueColorAlpha 'PNG32:" + seen + "'"),
                  0);
        EXPECT_TRUE(Support::sameImage(c.file, readImage(path).image, readPng(seen), c.tolerance));
    }
    // ffmpeg's own encoders (its TIFF and WebP writers are not libtiff's and libwebp's), where it is installed.
    if (Support::runCommand("command -v ffmpeg >/dev/null") == 0) {
        for (const char* name : {"ffmpeg.tif", "ffmpeg.webp", "ffmpeg.jpg"}) {
            SCOPED_TRACE(name);
            const std::string path = folder / name;
            const std::string seen = path + "-seen.png";
            const std::string codec = std::string(name) == "ffmpeg.webp" ? " -c:v libwebp -lossless 1" : "";
            ASSERT_EQ(Support::runCommand("ffmpeg -v error -y -i '" + folder / "small.png" + "'" + codec + " '" + path +
                                          "'"), 0);
            ASSERT_EQ(Support::runCommand("convert '" + path + "' -depth 8 -type TrueColorAlpha 'PNG32:" + seen + "'"),
                      0);
            EXPECT_TRUE(Support::sameImage(name, readImage(path).image, readPng(seen), 1));
        }
    }
    // Grey and alpha, associated or not: the same straight colours.
    ASSERT_EQ(Support::runCommand("convert '" + folder / "small.png" + "' -alpha set -channel A -evaluate set 40% "
                               "+channel '" + folder / "half.png" + "'"), 0);
    const RgbaImage half = readPng(folder / "half.png");
    for (const char* kind : {"associated", "unassociated"}) {
        const std::string path = folder / (std::string(kind) + ".tif");
        ASSERT_EQ(Support::runCommand("convert '" + folder / "half.png" + "' -define tiff:alpha=" + kind + " '" + path +
                                   "'"), 0);
        EXPECT_TRUE(Support::sameImage(kind, readImage(path).image, half, std::string(kind) == "associated" ? 2 : 0));
    }
    ASSERT_EQ(Support::runCommand("convert '" + folder / "small.png" + "' -colorspace Gray -depth 16 '" +
                               folder / "grey.tif" + "'"), 0);
    const DecodedImage grey = readImage(folder / "grey.tif");
    ASSERT_EQ(grey.extras.deep.size(), std::size_t(64 * 40 * 4));
    EXPECT_EQ(grey.extras.deep[0], grey.extras.deep[1]);
    EXPECT_EQ(grey.extras.deep[0], grey.extras.deep[2]);
    EXPECT_EQ(grey.extras.deep[3], 65535);
    // A multi-page file gives its first page and says so.
    ASSERT_EQ(Support::runCommand("convert '" + folder / "small.png" + "' '" + folder / "half.png" + "' '" +
                               folder / "pages.tif" + "'"), 0);
    const DecodedImage pages = readImage(folder / "pages.tif");
    EXPECT_TRUE(Support::sameImage("pages", pages.image, small));
    EXPECT_NE(pages.note.find("has 2 pages"), std::string::npos) << pages.note;
}

// Inserts an EXIF block with the orientation tag after a JPEG's start marker.
std::vector<std::uint8_t> withOrientation(std::vector<std::uint8_t> jpeg, int orientation, bool bigEndian)
{
    std::vector<std::uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
    const std::vector<std::uint8_t> tiff =
        bigEndian ? std::vector<std::uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1,
                                              0, std::uint8_t(orientation), 0, 0, 0, 0, 0, 0}
                  : std::vector<std::uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0,
                                              std::uint8_t(orientation), 0, 0, 0, 0, 0, 0, 0};
    exif.insert(exif.end(), tiff.begin(), tiff.end());
    const std::size_t length = exif.size() + 2;
    std::vector<std::uint8_t> segment = {0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length)};
    segment.insert(segment.end(), exif.begin(), exif.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

TEST(ImageFormats, TheExifOrientationTurnsTheJpegAsViewersShowIt)
{
    // Quadrants of flat colours survive JPEG well enough to tell where each went.
    const int w = 32, h = 16;
    std::vector<std::uint8_t> rgb(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &rgb[(std::size_t(y) * w + x) * 3];
            p[0] = x < w / 2 ? 255 : 0;
            p[1] = y < h / 2 ? 255 : 0;
            p[2] = 0;
        }
    }
    Support::ScratchFolder folder;
    TestFrame frame(true);
    frame.width = w;
    frame.height = h;
    frame.rowBytes = std::size_t(w) * 4;
    frame.rows.assign(frame.rowBytes * h, 255);
    for (std::size_t i = 0; i < std::size_t(w) * h; ++i) {
        std::memcpy(&frame.rows[i * 4 + 1], &rgb[i * 3], 3);
    }
    writeImageAtomically(folder / "plain.jpg", ImageFormat::Jpeg, frame.argb(), {});
    const std::vector<std::uint8_t> plain = bytesOf(folder / "plain.jpg");
    auto at = [](const RgbaImage& image, int x, int y) {
        const std::uint8_t* p = &image.pixels[(std::size_t(y) * image.width + x) * 4];
        return std::string(p[0] > 128 ? "R" : "-") + (p[1] > 128 ? "G" : "-");
    };
    // The stored top-left quadrant (red and green) as each orientation shows it, at the shown image's corners.
    struct Expect {
        int orientation;
        int width;
        const char* corners; // top-left, top-right, bottom-left, bottom-right
    };
    const Expect expects[] = {{1, 32, "RG -G R- --"}, {2, 32, "-G RG -- R-"}, {3, 32, "-- R- -G RG"},
                              {4, 32, "R- -- RG -G"}, {5, 16, "RG R- -G --"}, {6, 16, "R- RG -- -G"},
                              {7, 16, "-- -G R- RG"}, {8, 16, "-G -- RG R-"}};
    for (const Expect& e : expects) {
        for (bool big : {false, true}) {
            const std::vector<std::uint8_t> file = withOrientation(plain, e.orientation, big);
            const RgbaImage image = decodeImage(file.data(), file.size(), "oriented.jpg").image;
            ASSERT_EQ(image.width, e.width) << e.orientation;
            const int W = image.width - 1, H = image.height - 1;
            EXPECT_EQ(at(image, 0, 0) + " " + at(image, W, 0) + " " + at(image, 0, H) + " " + at(image, W, H),
                      e.corners)
                << "orientation " << e.orientation << (big ? " big-endian" : " little-endian");
        }
    }
}

TEST(ImageFormats, DamagedOversizedAndAnimatedFilesAreRefusedWithTheirNameAndTheReason)
{
    Support::ScratchFolder folder;
    const TestFrame frame(false);
    std::vector<std::vector<std::uint8_t>> files;
    for (const char* name : {"f.jpg", "f.tif", "f.webp"}) {
        writeImageAtomically(folder / name, *formatForOutputName(name), frame.argb(), {});
        files.push_back(bytesOf(folder / name));
    }
    auto refusal = [](const std::vector<std::uint8_t>& bytes, const ImageSizeLimit& limit = {}) -> std::string {
        try {
            decodeImage(bytes.data(), bytes.size(), "input-name", limit);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "read";
    };
    for (const auto& file : files) {
        // Cut at many places, each is refused (never a part-image); the message names the file.
        for (std::size_t cut : {std::size_t(3), std::size_t(16), file.size() / 3, file.size() / 2, file.size() - 9}) {
            const std::vector<std::uint8_t> part(file.begin(), file.begin() + static_cast<long>(cut));
            const std::string why = refusal(part);
            EXPECT_EQ(why.rfind("input-name: ", 0), 0u) << cut << ": " << why;
        }
        // Larger than a limit: refused by the header, with the size.
        EXPECT_NE(refusal(file, {16, 16}).find("23x11 pixels, larger than the 16x16"), std::string::npos)
            << refusal(file, {16, 16});
    }
    EXPECT_EQ(refusal({}), "input-name: the file is empty");
    const std::vector<std::uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'};
    EXPECT_NE(refusal(text).find("not an image solvane reads"), std::string::npos);
    // An animated WebP: its extended header says so.
    std::vector<std::uint8_t> animated = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X',
                                          10,  0,   0,   0,   0x12, 0, 0, 0, 15, 0, 0, 7, 0, 0};
    EXPECT_NE(refusal(animated).find("animated WebP"), std::string::npos) << refusal(animated);
}

#endif // SOLVANE_IMAGE_FORMATS

} // namespace
} // namespace Solvane
} // namespace Tamrin
