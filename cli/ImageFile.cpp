#include "cli/ImageFile.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "cli/ImageCodecs.h"
#include "cli/OutputFile.h"
#include "cli/System.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

// The output extensions and their formats, lower case.
struct Extension {
    const char* suffix;
    ImageFormat format;
};

const Extension kExtensions[] = {
    {".png", ImageFormat::Png},   {".jpg", ImageFormat::Jpeg},  {".jpeg", ImageFormat::Jpeg},
    {".tif", ImageFormat::Tiff},  {".tiff", ImageFormat::Tiff}, {".webp", ImageFormat::Webp},
};

std::string lowerExtension(const std::string& name)
{
    const std::string file = std::filesystem::path(name).filename().string();
    const auto dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return std::string();
    }
    std::string extension = file.substr(dot);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension;
}

[[noreturn]] void notBuiltIn(const std::string& name, ImageFormat format)
{
    throw std::runtime_error(name + ": is a " + formatName(format) + " file; this build of solvane reads PNG only");
}

} // namespace

const char* formatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Png: return "PNG";
    case ImageFormat::Jpeg: return "JPEG";
    case ImageFormat::Tiff: return "TIFF";
    case ImageFormat::Webp: return "WebP";
    }
    return "?";
}

bool formatAvailable(ImageFormat format)
{
#ifdef SOLVANE_IMAGE_FORMATS
    (void)format;
    return true;
#else
    return format == ImageFormat::Png;
#endif
}

std::optional<ImageFormat> formatOfBytes(const std::uint8_t* data, std::size_t size)
{
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) {
        return ImageFormat::Png;
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        return ImageFormat::Jpeg;
    }
    if (size >= 4 && (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0 ||
                      std::memcmp(data, "II+\0", 4) == 0 || std::memcmp(data, "MM\0+", 4) == 0)) {
        return ImageFormat::Tiff;
    }
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0) {
        return ImageFormat::Webp;
    }
    return std::nullopt;
}

std::optional<ImageFormat> formatForOutputName(const std::string& name)
{
    const std::string extension = lowerExtension(name);
    if (extension.empty()) {
        return ImageFormat::Png;
    }
    for (const Extension& e : kExtensions) {
        if (extension == e.suffix && formatAvailable(e.format)) {
            return e.format;
        }
    }
    return std::nullopt;
}

std::string writtenExtensions()
{
    std::string list;
    for (const Extension& e : kExtensions) {
        if (formatAvailable(e.format)) {
            list += (list.empty() ? "" : ", ") + std::string(e.suffix);
        }
    }
    return list;
}

bool pngHoldsMore(const std::uint8_t* data, std::size_t size)
{
    if (size < 33 || !formatOfBytes(data, size) || *formatOfBytes(data, size) != ImageFormat::Png) {
        return false;
    }
    if (data[24] == 16) { // the IHDR chunk's bit depth
        return true;
    }
    std::size_t at = 8;
    while (at + 8 <= size) {
        const std::size_t length = std::size_t(data[at]) << 24 | std::size_t(data[at + 1]) << 16 |
                                   std::size_t(data[at + 2]) << 8 | data[at + 3];
        const char* type = reinterpret_cast<const char*>(data + at + 4);
        if (std::memcmp(type, "iCCP", 4) == 0) {
            return true;
        }
        if (std::memcmp(type, "IDAT", 4) == 0 || length > size) {
            return false;
        }
        at += length + 12;
    }
    // The bytes end before the image data begins: only the whole file can tell.
    return true;
}

namespace {

void onPngReadError(png_structp png, png_const_charp message)
{
    static_cast<std::string*>(png_get_error_ptr(png))->assign(message ? message : "unknown error");
    png_longjmp(png, 1);
}

void onPngReadWarning(png_structp, png_const_charp) {}

struct PngBytes {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset;
};

void readPngBytes(png_structp png, png_bytep destination, png_size_t length)
{
    auto* source = static_cast<PngBytes*>(png_get_io_ptr(png));
    if (length > source->size - source->offset) {
        png_error(png, "the file ends early (truncated)");
    }
    std::memcpy(destination, source->data + source->offset, length);
    source->offset += length;
}

// What the rich PNG reader leaves in plain variables, since an error leaves it by longjmp.
struct RichPng {
    std::vector<std::uint16_t>* deep = nullptr;
    std::vector<std::uint8_t>* icc = nullptr;
    const ImageSizeLimit* limit = nullptr;
    png_uint_32 width = 0, height = 0;
    bool tooLarge = false;
};

// Every kind of PNG as 16-bit straight RGBA, and its ICC profile.
bool decodeRichPng(png_structp png, png_infop info, RichPng* result)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    result->width = png_get_image_width(png, info);
    result->height = png_get_image_height(png, info);
    if (result->width > png_uint_32(result->limit->maxWidth) ||
        result->height > png_uint_32(result->limit->maxHeight)) {
        result->tooLarge = true;
        return true;
    }
    png_charp profileName = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(png, info, &profileName, &compression, &profile, &profileLength) && profile) {
        result->icc->assign(profile, profile + profileLength);
    }
    const int colorType = png_get_color_type(png, info);
    png_set_expand(png); // palette to RGB, grey of fewer bits to 8, a transparent colour to alpha
    png_set_expand_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    const std::uint16_t probe = 1;
    std::uint8_t firstByte = 0;
    std::memcpy(&firstByte, &probe, 1);
    if (firstByte == 1) {
        png_set_swap(png);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t rowSamples = std::size_t(result->width) * 4;
    if (png_get_rowbytes(png, info) != rowSamples * 2) {
        png_error(png, "unexpected row layout after conversion to RGBA");
    }
    result->deep->assign(rowSamples * result->height, 0);
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < result->height; ++y) {
            png_read_row(png, reinterpret_cast<png_bytep>(result->deep->data() + rowSamples * y), nullptr);
        }
    }
    png_read_end(png, nullptr);
    return true;
}

// A PNG whose 16 bits or colour profile are to reach the output.
DecodedImage decodePngWithExtras(const std::uint8_t* data, std::size_t size, const std::string& name,
                                 const ImageSizeLimit& limit)
{
    std::string message;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, onPngReadError, onPngReadWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw std::bad_alloc();
    }
    PngBytes bytes{data, size, 0};
    png_set_read_fn(png, &bytes, readPngBytes);
    // As the plain reader: no chunk kept beyond 8 MiB, and only the profile among the chunks that change no pixel.
    png_set_chunk_malloc_max(png, 8u << 20);
    static const png_byte kSkipped[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0"
                                       "sPLT\0sRGB\0tEXt\0tIME\0zTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, sizeof kSkipped / 5);
    png_set_user_limits(png, std::max<png_uint_32>(PNG_USER_WIDTH_MAX, limit.maxWidth),
                        std::max<png_uint_32>(PNG_USER_HEIGHT_MAX, limit.maxHeight));
    DecodedImage decoded;
    std::vector<std::uint16_t> deep;
    RichPng result;
    result.deep = &deep;
    result.icc = &decoded.extras.iccProfile;
    result.limit = &limit;
    bool ok = false;
    try {
        ok = decodeRichPng(png, info, &result);
    } catch (...) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        throw std::runtime_error(name + ": cannot read PNG: " + message);
    }
    if (result.tooLarge) {
        throw imageTooLarge(name, result.width, result.height, limit);
    }
    decoded.image.width = static_cast<int>(result.width);
    decoded.image.height = static_cast<int>(result.height);
    decoded.image.pixels.resize(deep.size());
    std::transform(deep.begin(), deep.end(), decoded.image.pixels.begin(), to8Bits);
    if (data[24] == 16) {
        decoded.extras.deep = std::move(deep);
    }
    return decoded;
}

} // namespace

DecodedImage decodeImage(const std::uint8_t* data, std::size_t size, const std::string& name,
                         const ImageSizeLimit& limit)
{
    const std::optional<ImageFormat> format = formatOfBytes(data, size);
    if (!format) {
        throw std::runtime_error(name + (size == 0 ? ": the file is empty"
                                                   : ": not an image solvane reads (PNG, JPEG, TIFF or WebP)"));
    }
    if (!formatAvailable(*format)) {
        notBuiltIn(name, *format);
    }
    switch (*format) {
    case ImageFormat::Png: {
        if (pngHoldsMore(data, size)) {
            return decodePngWithExtras(data, size, name, limit);
        }
        DecodedImage decoded;
        decoded.image = decodePng(data, size, name, limit);
        return decoded;
    }
#ifdef SOLVANE_IMAGE_FORMATS
    case ImageFormat::Jpeg: return decodeJpeg(data, size, name, limit);
    case ImageFormat::Tiff: return decodeTiff(data, size, name, limit);
    case ImageFormat::Webp: return decodeWebp(data, size, name, limit);
#endif
    default: notBuiltIn(name, *format);
    }
}

DecodedImage readImage(const std::string& path, const ImageSizeLimit& limit)
{
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        throw std::runtime_error(path + ": is a directory, not an image file");
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        throw std::runtime_error(path + ": cannot open: " + std::strerror(errno));
    }
    // Read to its end in pieces: a FIFO or a device has no size to ask for first.
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) {
        throw std::runtime_error(path + ": cannot read: " + std::strerror(error));
    }
    return decodeImage(bytes.data(), bytes.size(), path, limit);
}

std::vector<std::uint16_t> deepOutputSamples(const ArgbFrame& frame)
{
    const std::size_t count = std::size_t(frame.width) * frame.height;
    const std::vector<std::uint16_t>* deep = frame.extras ? &frame.extras->deep : nullptr;
    const bool hasDeep = deep && deep->size() == count * 4;
    std::vector<std::uint16_t> samples(count * 4);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* argb = frame.firstRow + frame.rowBytes * std::size_t(y);
        for (int x = 0; x < frame.width; ++x, argb += 4) {
            const std::size_t at = (std::size_t(y) * frame.width + x) * 4;
            const std::uint8_t rgba[4] = {argb[1], argb[2], argb[3], argb[0]};
            bool unchanged = hasDeep;
            for (int c = 0; c < 4 && unchanged; ++c) {
                unchanged = to8Bits((*deep)[at + c]) == rgba[c];
            }
            for (int c = 0; c < 4; ++c) {
                samples[at + c] = unchanged ? (*deep)[at + c] : static_cast<std::uint16_t>(rgba[c] * 257u);
            }
        }
    }
    return samples;
}

namespace {

void onPngError(png_structp png, png_const_charp message)
{
    static_cast<std::string*>(png_get_error_ptr(png))->assign(message ? message : "unknown error");
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// A PNG with what the plain 8-bit writer leaves out: 16 bits a sample, an ICC profile. Rows are straight RGBA in
// the machine's order; only plain pointers and integers live here, since an error leaves by longjmp.
bool encodeRichPng(std::FILE* file, const RgbaRows* rows, const DeepRows* deep, const std::vector<std::uint8_t>* icc,
                   std::string* message)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, onPngError, onPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        message->assign("out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(rows->width), static_cast<png_uint_32>(rows->height),
                 deep ? 16 : 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!icc->empty()) {
        png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, icc->data(),
                     static_cast<png_uint_32>(icc->size()));
    }
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 3);
    png_set_compression_strategy(png, Z_RLE);
    png_write_info(png, info);
    const std::uint16_t probe = 1;
    std::uint8_t firstByte = 0;
    std::memcpy(&firstByte, &probe, 1);
    if (deep && firstByte == 1) {
        png_set_swap(png); // PNG stores 16-bit samples big-endian
    }
    for (int y = 0; y < rows->height; ++y) {
        if (deep) {
            png_write_row(png, reinterpret_cast<png_const_bytep>(deep->samples + std::size_t(y) * deep->width * 4));
        } else {
            png_write_row(png, rows->pixels + std::size_t(y) * rows->width * 4);
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Whether a profile can describe the RGB output: a whole ICC profile (its length as stored, its signature) of RGB
// data. A CMYK JPEG's or a grey TIFF's profile would misdescribe it, and libpng refuses such a profile, or a damaged
// one, with an error that would fail the whole write.
bool rgbProfile(const std::vector<std::uint8_t>& icc)
{
    if (icc.size() < 132) {
        return false;
    }
    const std::size_t length = std::size_t(icc[0]) << 24 | std::size_t(icc[1]) << 16 | std::size_t(icc[2]) << 8 | icc[3];
    return length == icc.size() && std::memcmp(&icc[36], "acsp", 4) == 0 && std::memcmp(&icc[16], "RGB ", 4) == 0;
}

} // namespace

void writeImageAtomically(const std::string& path, ImageFormat format, const ArgbFrame& frame,
                          const ImageWriteOptions& options, bool* alphaDropped)
{
    if (frame.width <= 0 || frame.height <= 0 || frame.firstRow == nullptr ||
        frame.rowBytes < std::size_t(frame.width) * 4) {
        throw std::runtime_error(path + ": nothing to write (empty image)");
    }
#ifndef SOLVANE_IMAGE_FORMATS
    (void)options; // the other formats' choices
    (void)alphaDropped;
#endif
    if (!formatAvailable(format)) {
        throw std::runtime_error(path + ": this build of solvane writes PNG only");
    }
    static const std::vector<std::uint8_t> kNoProfile;
    const std::vector<std::uint8_t>& icc =
        frame.extras && rgbProfile(frame.extras->iccProfile) ? frame.extras->iccProfile : kNoProfile;
    const std::size_t count = std::size_t(frame.width) * frame.height;
    const bool hasDeep = frame.extras && frame.extras->deep.size() == count * 4;
    if (format == ImageFormat::Png && !hasDeep && icc.empty()) {
        writeArgbPngAtomically(path, frame.width, frame.height, frame.firstRow, frame.rowBytes);
        return;
    }
    // The straight RGBA rows every other writer takes.
    std::vector<std::uint8_t> rgba(count * 4);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* in = frame.firstRow + frame.rowBytes * std::size_t(y);
        std::uint8_t* out = rgba.data() + std::size_t(y) * frame.width * 4;
        for (int x = 0; x < frame.width; ++x, in += 4, out += 4) {
            out[0] = in[1];
            out[1] = in[2];
            out[2] = in[3];
            out[3] = in[0];
        }
    }
    const RgbaRows rows{frame.width, frame.height, rgba.data()};
    std::vector<std::uint16_t> deepSamples;
    DeepRows deep{frame.width, frame.height, nullptr};
    if (hasDeep && (format == ImageFormat::Png || format == ImageFormat::Tiff)) {
        deepSamples = deepOutputSamples(frame);
        deep.samples = deepSamples.data();
    }
    std::vector<std::uint8_t> bytes;
    OutputFile output(path);
    switch (format) {
    case ImageFormat::Png: {
        std::string message;
        if (!encodeRichPng(output.file(), &rows, deep.samples ? &deep : nullptr, &icc, &message)) {
            if (std::ferror(output.file())) {
                throw std::runtime_error(path + ": cannot write: " + System::errorText());
            }
            throw std::runtime_error(path + ": cannot encode PNG: " + message);
        }
        output.commit();
        return;
    }
#ifdef SOLVANE_IMAGE_FORMATS
    case ImageFormat::Jpeg: {
        // JPEG holds no alpha: each pixel is composed over black, as it would show on a black background.
        std::vector<std::uint8_t> rgb(count * 3);
        bool dropped = false;
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned a = rgba[i * 4 + 3];
            dropped = dropped || a != 255;
            for (int c = 0; c < 3; ++c) {
                rgb[i * 3 + c] = static_cast<std::uint8_t>((rgba[i * 4 + c] * a + 127) / 255);
            }
        }
        if (alphaDropped) {
            *alphaDropped = dropped;
        }
        try {
            bytes = encodeJpeg(frame.width, frame.height, rgb.data(), options.jpegQuality, icc);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(path + ": " + e.what());
        }
        break;
    }
    case ImageFormat::Tiff:
        try {
            bytes = encodeTiff(rows, deep.samples ? &deep : nullptr, options.tiffCompression, icc);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(path + ": " + e.what());
        }
        break;
    case ImageFormat::Webp:
        try {
            bytes = encodeWebp(rows, options.webpQuality, icc);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(path + ": " + e.what());
        }
        break;
#endif
    default:
        throw std::runtime_error(path + ": this build of solvane writes PNG only");
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), output.file()) != bytes.size()) {
        throw std::runtime_error(path + ": cannot write: " + System::errorText());
    }
    output.commit();
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
