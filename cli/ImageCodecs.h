#pragma once

// The encoders behind writeImageAtomically, one source file per format; ImageFile.cpp chooses among them and
// writes their bytes as an OutputFile. Each works on straight RGBA rows, 8 or 16 bits a sample, and throws
// std::runtime_error with the library's reason (without the file's name, which the caller adds).

#include <cstdint>
#include <string>
#include <vector>

#include "cli/ImageFile.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// 8-bit straight RGBA, width × 4 bytes a row, rows top first.
struct RgbaRows {
    int width = 0;
    int height = 0;
    const std::uint8_t* pixels = nullptr;
};

// The 16-bit counterpart: width × 4 samples a row.
struct DeepRows {
    int width = 0;
    int height = 0;
    const std::uint16_t* samples = nullptr;
};

// Opaque 8-bit RGB (alpha already composed away), quality 1-100.
std::vector<std::uint8_t> encodeJpeg(int width, int height, const std::uint8_t* rgb, int quality,
                                     const std::vector<std::uint8_t>& iccProfile);

// RGBA with unassociated alpha, 8 bits (`deep` null) or 16 bits a sample.
std::vector<std::uint8_t> encodeTiff(const RgbaRows& rows, const DeepRows* deep, const std::string& compression,
                                     const std::vector<std::uint8_t>& iccProfile);

// RGBA; `quality` none for lossless (colour under transparent pixels kept exactly).
std::vector<std::uint8_t> encodeWebp(const RgbaRows& rows, std::optional<int> quality,
                                     const std::vector<std::uint8_t>& iccProfile);

// Whether the TIFF writer knows the compression's name.
bool knownTiffCompression(const std::string& name);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
