#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Test {

// A PNG file as a test wants it written, chunk by chunk, with libpng: any colour
// type and depth, interlaced or not, with the chunks that a faulty reader would
// let change the samples.
struct PngFileSpec {
    int width = 1;
    int height = 1;
    int bitDepth = 8;
    int colorType = 6; // PNG_COLOR_TYPE_RGBA
    bool interlaced = false;
    // Samples in the file's channel order, row after row; depths below 8 are packed by the writer.
    std::vector<std::uint16_t> samples;
    std::vector<std::uint8_t> palette;      // red, green, blue per entry
    std::vector<std::uint8_t> transparency; // tRNS: alpha per palette entry
    double gamma = 0;                       // gAMA when not 0 (file gamma, e.g. 1.0 for linear)
    bool srgb = false;                      // sRGB chunk
    bool chromaticities = false;            // cHRM chunk
    bool profile = false;                   // iCCP chunk (a small made-up profile)
};

std::vector<std::uint8_t> encodePngFile(const PngFileSpec& spec);

// The file with the header's size replaced (and its checksum made right again): a header that claims what the data
// does not hold.
std::vector<std::uint8_t> withClaimedSize(std::vector<std::uint8_t> file, std::uint32_t width, std::uint32_t height);

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
