// The PNG reader on arbitrary bytes: a clean image or a std::runtime_error, nothing else, and never more memory than
// the size limit allows. Each input is read as it is, and again with its chunk checksums made right, so that mutated
// chunks get past libpng's checksum test and into its chunk handlers and the image data. A file of 16 bits or with a
// colour profile goes through solvane's reader that keeps both, too.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "cli/ImageFile.h"
#include "cli/PngImage.h"

namespace {

using namespace Tamrin::Solvane::Cli;

void decodeOne(const std::vector<std::uint8_t>& bytes)
{
    // A limit below the product's keeps each input cheap; the check itself is the same code.
    const ImageSizeLimit limit{1024, 1024};
    try {
        const RgbaImage image = decodePng(bytes.data(), bytes.size(), "input", limit);
        if (image.width < 1 || image.height < 1 || image.width > limit.maxWidth || image.height > limit.maxHeight ||
            image.pixels.size() != std::size_t(image.width) * image.height * 4) {
            __builtin_trap();
        }
    } catch (const std::runtime_error&) {
    }
    if (!pngHoldsMore(bytes.data(), bytes.size())) {
        return;
    }
    try {
        const DecodedImage decoded = decodeImage(bytes.data(), bytes.size(), "input", limit);
        if (decoded.image.pixels.size() != std::size_t(decoded.image.width) * decoded.image.height * 4 ||
            (!decoded.extras.deep.empty() && decoded.extras.deep.size() != decoded.image.pixels.size())) {
            __builtin_trap();
        }
    } catch (const std::runtime_error&) {
    }
}

std::uint32_t bigEndian(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Rewrites the checksum of every whole chunk after the signature; stops at the first chunk that runs past the end.
bool repairChecksums(std::vector<std::uint8_t>& file)
{
    bool changed = false;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::size_t length = bigEndian(&file[at]);
        if (length > file.size() - at - 12) {
            break;
        }
        const auto crc = static_cast<std::uint32_t>(crc32(0, &file[at + 4], static_cast<uInt>(length + 4)));
        std::uint8_t* stored = &file[at + 8 + length];
        if (bigEndian(stored) != crc) {
            for (int i = 0; i < 4; ++i) {
                stored[i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
            }
            changed = true;
        }
        at += length + 12;
    }
    return changed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    decodeOne(bytes);
    if (repairChecksums(bytes)) {
        decodeOne(bytes);
    }
    return 0;
}
