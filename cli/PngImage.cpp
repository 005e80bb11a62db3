#include "cli/PngImage.h"

#include <png.h>

#include <cstring>
#include <stdexcept>

#include "cli/OutputFile.h"
#include "cli/System.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

RgbaImage readPng(const std::string& path)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        // libpng says "Read Error" for a folder and an empty file alike.
        const std::string reason = System::unreadableReason(path);
        throw std::runtime_error(path + ": cannot read PNG: " + (reason.empty() ? image.message : reason));
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

namespace {

void onPngError(png_structp png, png_const_charp message)
{
    static_cast<std::string*>(png_get_error_ptr(png))->assign(message ? message : "unknown error");
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// The frame as an 8-bit RGBA PNG. libpng's own defaults (every row filter tried, zlib level 6) make encoding cost as
// much as rendering a 1920×1080 frame; one filter ("up") and level 3 take a quarter of the time for files a fifth
// larger. Only plain pointers and integers live in this function, since an error leaves it by longjmp.
bool encodePng(std::FILE* file, const RgbaImage& image, std::string* message)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, onPngError, onPngWarning);
    if (!png) {
        message->assign("out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        message->assign("out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    const png_byte* row = image.pixels.data();
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 4;
    for (int y = 0; y < image.height; ++y, row += rowBytes) {
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

void writePngAtomically(const std::string& path, const RgbaImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
        throw std::runtime_error(path + ": nothing to write (empty image)");
    }
    OutputFile output(path);
    std::string message;
    if (!encodePng(output.file(), image, &message)) {
        // libpng's "Write Error" has the system's reason (a full disk) behind it.
        if (std::ferror(output.file())) {
            throw std::runtime_error(path + ": cannot write: " + System::errorText());
        }
        throw std::runtime_error(path + ": cannot encode PNG: " + message);
    }
    output.commit();
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
