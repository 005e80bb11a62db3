// The TIFF reader on arbitrary bytes: a clean image or a std::runtime_error, nothing else, and never more memory
// than the size limit allows. Strips, tiles, planes and the RGBA image reader are
// reached from the seeds.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "cli/ImageFile.h"

using namespace Tamrin::Solvane::Cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A limit below the product's keeps each input cheap; the check itself is the same code.
    const ImageSizeLimit limit{1024, 1024};
    try {
        const DecodedImage decoded = decodeTiff(data, size, "input", limit);
        const RgbaImage& image = decoded.image;
        if (image.width < 1 || image.height < 1 || image.width > limit.maxWidth || image.height > limit.maxHeight ||
            image.pixels.size() != std::size_t(image.width) * image.height * 4 ||
            (!decoded.extras.deep.empty() && decoded.extras.deep.size() != image.pixels.size())) {
            __builtin_trap();
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
