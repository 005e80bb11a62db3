#include "cli/PngImage.h"

#include <png.h>

#include <cstring>
#include <stdexcept>

#include "cli/TemporaryFile.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

RgbaImage readPng(const std::string& path)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        throw std::runtime_error(path + ": cannot read PNG: " + image.message);
    }
    image.format = PNG_FORMAT_RGBA;
    if (image.width == 0 || image.height == 0 || image.width > 1u << 16 || image.height > 1u << 16) {
        png_image_free(&image);
        throw std::runtime_error(path + ": unsupported image size " + std::to_string(image.width) + "x" +
                                 std::to_string(image.height));
    }
    RgbaImage result;
    result.width = static_cast<int>(image.width);
    result.height = static_cast<int>(image.height);
    result.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, result.pixels.data(), 0, nullptr)) {
        const std::string message = image.message;
        png_image_free(&image);
        throw std::runtime_error(path + ": cannot decode PNG: " + message);
    }
    return result;
}

void writePngAtomically(const std::string& path, const RgbaImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
        throw std::runtime_error(path + ": nothing to write (empty image)");
    }
    TemporaryFile temporary(path);
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_stdio(&png, temporary.file(), 0, image.pixels.data(), 0, nullptr)) {
        const std::string message = png.message;
        png_image_free(&png);
        throw std::runtime_error(path + ": cannot encode PNG: " + message);
    }
    temporary.commit();
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
