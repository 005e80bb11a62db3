#include "PngTestFiles.h"

#include <png.h>
#include <zlib.h>

#include <fstream>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace Test {

namespace {

void appendToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + length);
}

void flushNothing(png_structp) {}

int channels(int colorType)
{
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    default:
        return 4;
    }
}

// The smallest RGB display profile libpng accepts: a header (size, version 2.1, class "mntr", colour space "RGB ",
// connection space "XYZ ", signature "acsp", the D50 illuminant) and an empty tag table.
constexpr png_byte kProfile[132] = {
    0,   0,   0,   132, 0,   0,   0,   0,   2,   0x10, 0,   0,   'm', 'n', 't', 'r', 'R', 'G', 'B', ' ', 'X', 'Y',
    'Z', ' ', 0,   0,   0,   0,   0,   0,   0,   0,    0,   0,   0,   0,   'a', 'c', 's', 'p', 0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0xF6, 0xD6, 0,   1,   0,   0,   0,   0,   0xD3, 0x2D};

// Only plain pointers live here: a libpng error leaves by longjmp.
bool write(const PngFileSpec* spec, const std::vector<std::vector<std::uint8_t>>* rows,
           std::vector<std::uint8_t>* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendToVector, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(spec->width), static_cast<png_uint_32>(spec->height),
                 spec->bitDepth, spec->colorType, spec->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!spec->palette.empty()) {
        std::vector<png_color> entries;
        for (std::size_t i = 0; i + 2 < spec->palette.size(); i += 3) {
            entries.push_back(png_color{spec->palette[i], spec->palette[i + 1], spec->palette[i + 2]});
        }
        png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
    }
    if (!spec->transparency.empty()) {
        png_set_tRNS(png, info, spec->transparency.data(), static_cast<int>(spec->transparency.size()), nullptr);
    }
    if (spec->gamma != 0) {
        png_set_gAMA(png, info, 1.0 / spec->gamma);
    }
    if (spec->srgb) {
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    }
    if (spec->chromaticities) {
        // Wide-gamut primaries, far from sRGB's, so a reader that converted colours would move them.
        png_set_cHRM(png, info, 0.3127, 0.3290, 0.7347, 0.2653, 0.1152, 0.8264, 0.1566, 0.0177);
    }
    if (spec->profile) {
        png_set_iCCP(png, info, "made up", PNG_COMPRESSION_TYPE_BASE, kProfile, sizeof kProfile);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (const auto& row : *rows) {
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::uint32_t bigEndian(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void putBigEndian(std::uint8_t* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

} // namespace

std::vector<std::uint8_t> encodePngFile(const PngFileSpec& spec)
{
    const int perPixel = channels(spec.colorType);
    const std::size_t perRow = static_cast<std::size_t>(spec.width) * perPixel;
    if (spec.samples.size() != perRow * spec.height) {
        throw std::invalid_argument("PNG test file: sample count does not match the size");
    }
    std::vector<std::vector<std::uint8_t>> rows(static_cast<std::size_t>(spec.height));
    for (int y = 0; y < spec.height; ++y) {
        const std::uint16_t* in = spec.samples.data() + perRow * y;
        auto& row = rows[static_cast<std::size_t>(y)];
        if (spec.bitDepth == 16) {
            row.resize(perRow * 2);
            for (std::size_t i = 0; i < perRow; ++i) {
                row[2 * i] = static_cast<std::uint8_t>(in[i] >> 8);
                row[2 * i + 1] = static_cast<std::uint8_t>(in[i] & 0xFF);
            }
        } else {
            row.assign((perRow * spec.bitDepth + 7) / 8, 0);
            for (std::size_t i = 0; i < perRow; ++i) {
                const std::size_t bit = i * spec.bitDepth;
                row[bit / 8] |= static_cast<std::uint8_t>(in[i] << (8 - spec.bitDepth - bit % 8));
            }
        }
    }
    std::vector<std::uint8_t> bytes;
    if (!write(&spec, &rows, &bytes)) {
        throw std::runtime_error("PNG test file: libpng refused to write it");
    }
    return bytes;
}

std::vector<std::uint8_t> withClaimedSize(std::vector<std::uint8_t> file, std::uint32_t width, std::uint32_t height)
{
    // Signature (8), then the header chunk: length (4), "IHDR" (4), width, height, ..., checksum over type and data.
    if (file.size() < 33 || bigEndian(&file[8]) != 13) {
        throw std::invalid_argument("not a PNG file with a header chunk first");
    }
    putBigEndian(&file[16], width);
    putBigEndian(&file[20], height);
    putBigEndian(&file[29], static_cast<std::uint32_t>(crc32(0, &file[12], 17)));
    return file;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error(path + ": cannot write");
    }
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
