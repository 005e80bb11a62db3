#pragma once

// Still images in and out of solvane: PNG always, and JPEG, TIFF and WebP where the build has their libraries
// (SOLVANE_IMAGE_FORMATS). A file is read by the format its first bytes show, whatever its name; an output is
// written in the format its name's extension names.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/PngImage.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

enum class ImageFormat { Png, Jpeg, Tiff, Webp };

// "PNG", "JPEG", "TIFF", "WebP".
const char* formatName(ImageFormat format);

// Whether this build reads and writes the format.
bool formatAvailable(ImageFormat format);

// The format of a file from its first bytes (at least 12 are needed to tell WebP); none when they show no format
// solvane reads.
std::optional<ImageFormat> formatOfBytes(const std::uint8_t* data, std::size_t size);

// The format an output name's extension names, letter case aside: the one place that maps extensions to writers.
// A name with no extension at all is written as PNG, as every output was before the other formats came; an
// extension that names no format this build writes gives none.
std::optional<ImageFormat> formatForOutputName(const std::string& name);

// The extensions formatForOutputName takes, for messages: ".png, .jpg, .jpeg, .tif, .tiff, .webp".
std::string writtenExtensions();

// What the file held beside the 8-bit pixels the plug-in takes.
struct ImageExtras {
    // The pixels at 16 bits a sample, straight RGBA, when the file held more than 8 bits; else empty. The 8-bit
    // image is these samples rounded by to8Bits.
    std::vector<std::uint16_t> deep;
    // The embedded ICC colour profile, as stored; empty when there is none.
    std::vector<std::uint8_t> iccProfile;
};

// A decoded image: 8-bit straight RGBA, and what more the file held.
struct DecodedImage {
    RgbaImage image;
    ImageExtras extras;
    // A remark to make once for the file (a multi-page TIFF read at its first page); empty when there is none.
    std::string note;
};

// The 8-bit value of a 16-bit sample, rounded.
inline std::uint8_t to8Bits(std::uint16_t sample) { return static_cast<std::uint8_t>((sample * 255u + 32767u) / 65535u); }

// Decodes a file's bytes in any format formatOfBytes knows (PNG included). An image beyond `limit` is refused from
// its header, before any pixel memory is taken. Throws std::runtime_error with `name` and the reason.
DecodedImage decodeImage(const std::uint8_t* data, std::size_t size, const std::string& name,
                         const ImageSizeLimit& limit = {});

// Whether a PNG file's first bytes (its whole header, at least) show that it holds more than 8-bit pixels: 16 bits a
// sample or an ICC profile. Such a file is read through decodeImage so that both reach the output.
bool pngHoldsMore(const std::uint8_t* data, std::size_t size);

// The same from a file.
DecodedImage readImage(const std::string& path, const ImageSizeLimit& limit = {});

// The format readers, from memory, as decodeImage calls them; each throws std::runtime_error naming `name`.
DecodedImage decodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name,
                        const ImageSizeLimit& limit);
DecodedImage decodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name,
                        const ImageSizeLimit& limit);
DecodedImage decodeWebp(const std::uint8_t* data, std::size_t size, const std::string& name,
                        const ImageSizeLimit& limit);

// What users choose about an output file, by its format.
struct ImageWriteOptions {
    int jpegQuality = 92;               // 1-100
    std::optional<int> webpQuality;     // 0-100 for lossy WebP; none: lossless
    std::string tiffCompression = "deflate"; // none, lzw, deflate or packbits
};

// A rendered frame to write: rows in the host's order (alpha, red, green, blue), `rowBytes` apart, and what its input
// held beside its 8 bits.
struct ArgbFrame {
    int width = 0;
    int height = 0;
    const std::uint8_t* firstRow = nullptr;
    std::size_t rowBytes = 0;
    const ImageExtras* extras = nullptr; // may be null
};

// Writes the frame in `format` as an OutputFile: a regular file is replaced only by a complete new one. A format that
// holds 16 bits (PNG, TIFF) gets 16 bits when the input had them: a pixel the effect left as its 8-bit input was
// keeps the input's 16-bit value, the others are their 8-bit values widened. The input's ICC profile, when it is a whole
// profile of RGB data, goes into every format that holds one (another, such as a CMYK JPEG's, would misdescribe the
// RGB output and is left out). JPEG holds no alpha: the frame is composed over black, and `*alphaDropped` (when given) is
// set when a pixel was not opaque. Throws std::runtime_error naming `path` and the reason.
void writeImageAtomically(const std::string& path, ImageFormat format, const ArgbFrame& frame,
                          const ImageWriteOptions& options, bool* alphaDropped = nullptr);

// The 16-bit straight RGBA samples of a frame: its input's deep samples where the output pixel equals their 8-bit
// rounding, the output's 8-bit values widened elsewhere.
std::vector<std::uint16_t> deepOutputSamples(const ArgbFrame& frame);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
