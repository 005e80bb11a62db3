#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// A straight (not premultiplied) 8-bit RGBA image, rows top first.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// Reads any PNG that libpng reads; grey, palette, 16-bit and no-alpha images
// arrive as 8-bit RGBA. Throws std::runtime_error with the file and the reason.
RgbaImage readPng(const std::string& path);

// Writes an 8-bit RGBA PNG as an OutputFile: a regular file is replaced only by a
// complete new one, so a failure never leaves a half-written or clobbered file; a
// special file is written directly. Throws std::runtime_error with the reason.
void writePngAtomically(const std::string& path, const RgbaImage& image);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
