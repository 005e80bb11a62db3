// What every image reader's fuzz target checks on arbitrary bytes: a clean image or a std::runtime_error, nothing
// else, and never more memory than the size limit allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "cli/ImageFile.h"

namespace Tamrin {
namespace Solvane {
namespace Fuzz {

template <typename Decode>
int fuzzDecoder(Decode decode, const std::uint8_t* data, std::size_t size)
{
    // A limit below the product's keeps each input cheap; the check itself is the same code.
    const Cli::ImageSizeLimit limit{1024, 1024};
    try {
        const Cli::DecodedImage decoded = decode(data, size, std::string("input"), limit);
        const Cli::RgbaImage& image = decoded.image;
        if (image.width < 1 || image.height < 1 || image.width > limit.maxWidth || image.height > limit.maxHeight ||
            image.pixels.size() != std::size_t(image.width) * image.height * 4 ||
            (!decoded.extras.deep.empty() && decoded.extras.deep.size() != image.pixels.size())) {
            __builtin_trap();
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}

} // namespace Fuzz
} // namespace Solvane
} // namespace Tamrin
