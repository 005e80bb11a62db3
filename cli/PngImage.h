#pragma once

#include <cstdint>
#include <stdexcept>
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

// The largest image a reader accepts: what the plug-in can draw here. The
// default is a size every OpenGL 3.3 implementation we meet draws; the caller
// that knows the context's own limits passes those.
struct ImageSizeLimit {
    int maxWidth = 16384;
    int maxHeight = 16384;
};

// The error for an image of `width` x `height` pixels that is beyond `limit`, as every reader words it.
std::runtime_error imageTooLarge(const std::string& name, unsigned long long width, unsigned long long height,
                                 const ImageSizeLimit& limit);

// Reads any PNG that libpng reads; grey, palette, 16-bit and no-alpha images
// arrive as 8-bit RGBA. Samples pass through as stored: 16-bit samples are
// rounded to 8 bits, and gamma, colour-space and profile chunks change nothing.
// An image beyond `limit` is refused from its header, before any pixel memory
// is taken; pixel rows are allocated as the data arrives. Throws
// std::runtime_error with the file and the reason.
RgbaImage readPng(const std::string& path, const ImageSizeLimit& limit = {});

// The same, straight into rows of the host's order (alpha, red, green, blue), `rowBytes`
// apart, when the image is `width` × `height` pixels: libpng moves alpha first as it
// reads each row, so no RGBA image is made. `*filled` then says true and the image
// returned is empty; an image of another size arrives as readPng returns it, with the
// rows untouched. A failure may leave the rows partly written.
RgbaImage readPngInto(const std::string& path, const ImageSizeLimit& limit, std::uint8_t* firstRow,
                      std::size_t rowBytes, int width, int height, bool* filled);

// The same from bytes in memory; `name` stands for the file in messages.
RgbaImage decodePng(const std::uint8_t* data, std::size_t size, const std::string& name,
                    const ImageSizeLimit& limit = {});

// Writes an 8-bit RGBA PNG as an OutputFile: a regular file is replaced only by a
// complete new one, so a failure never leaves a half-written or clobbered file; a
// special file is written directly. Throws std::runtime_error with the reason.
void writePngAtomically(const std::string& path, const RgbaImage& image);

// The same from rows in the host's order (alpha, red, green, blue), `rowBytes` apart:
// libpng moves alpha last as it writes each row, so no RGBA copy of the frame is made.
// The file is byte for byte the one writePngAtomically writes for the same pixels.
void writeArgbPngAtomically(const std::string& path, int width, int height, const std::uint8_t* firstRow,
                            std::size_t rowBytes);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
