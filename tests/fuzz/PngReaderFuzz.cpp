// The PNG reader on arbitrary bytes: a clean image or a std::runtime_error, nothing else, and never more memory than
// the size limit allows.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "cli/PngImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace Tamrin::Solvane::Cli;
    // A limit below the product's keeps each input cheap; the check itself is the same code.
    const ImageSizeLimit limit{1024, 1024};
    try {
        const RgbaImage image = decodePng(data, size, "input", limit);
        if (image.width < 1 || image.height < 1 || image.width > limit.maxWidth || image.height > limit.maxHeight ||
            image.pixels.size() != std::size_t(image.width) * image.height * 4) {
            __builtin_trap();
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
