#include "cli/PngImage.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "cli/OutputFile.h"
#include "cli/System.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

void onPngError(png_structp png, png_const_charp message)
{
    static_cast<std::string*>(png_get_error_ptr(png))->assign(message ? message : "unknown error");
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Where a reader's bytes come from: a file, or bytes in memory.
struct PngSource {
    std::FILE* file = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
    bool readError = false;
};

void readFromSource(png_structp png, png_bytep destination, png_size_t length)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    std::size_t got = 0;
    if (source->file) {
        got = std::fread(destination, 1, length, source->file);
        source->readError = std::ferror(source->file) != 0;
    } else {
        got = std::min(length, source->size - source->offset);
        if (got > 0) { // an empty buffer may have no address at all
            std::memcpy(destination, source->data + source->offset, got);
        }
    }
    source->offset += got;
    if (got < length) {
        png_error(png, source->readError ? "read error"
                       : source->offset == 0 ? "the file is empty"
                                             : "the file ends early (truncated)");
    }
}

} // namespace

std::runtime_error imageTooLarge(const std::string& name, unsigned long long width, unsigned long long height,
                                 const ImageSizeLimit& limit)
{
    return std::runtime_error(name + ": the image is " + std::to_string(width) + "x" + std::to_string(height) +
                              " pixels, larger than the " + std::to_string(limit.maxWidth) + "x" +
                              std::to_string(limit.maxHeight) + " that the plug-in can draw here");
}

namespace {

struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    bool interlaced = false;
};

// Reads the chunks before the image data. Only plain pointers and integers live in this function and the next two,
// since an error leaves them by longjmp.
bool readHeader(png_structp png, png_infop info, PngHeader* header)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    return true;
}

// Sets the conversions to 8-bit RGBA. None alters a sample's value except the reduction of 16 bits to 8, which
// rounds (libpng's "scale", not its truncating "strip"); no gamma or colour conversion is asked for, so gAMA, sRGB,
// iCCP and cHRM chunks are read and left unused, as video tools and image editors leave them.
bool prepareRows(png_structp png, png_infop info, const PngHeader* header, bool argb)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    const int colorType = png_get_color_type(png, info);
    const bool transparentColour = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (png_get_bit_depth(png, info) == 16) {
        png_set_scale_16(png);
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (transparentColour) {
        png_set_tRNS_to_alpha(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    // An opaque image gets its alpha where the order wants it; libpng's alpha swap leaves an added filler where it
    // was put.
    const bool filler = !(colorType & PNG_COLOR_MASK_ALPHA) && !transparentColour;
    if (filler) {
        png_set_add_alpha(png, 0xFF, argb ? PNG_FILLER_BEFORE : PNG_FILLER_AFTER);
    }
    if (header->interlaced) {
        png_set_interlace_handling(png);
    }
    if (argb && !filler) {
        png_set_swap_alpha(png);
    }
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(header->width) * 4) {
        png_error(png, "unexpected row layout after conversion to RGBA");
    }
    return true;
}

// Decodes the rows into `pixels`. A plain image grows the buffer row by row as its data arrives, into memory reserved
// (not yet touched) for the whole, so a file that claims a large size and ends early costs little; an interlaced one
// revisits every row in each pass and needs the whole buffer from the start.
bool readRows(png_structp png, const PngHeader* header, std::vector<std::uint8_t>* pixels)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    const std::size_t rowBytes = std::size_t(header->width) * 4;
    if (header->interlaced) {
        pixels->assign(rowBytes * header->height, 0);
        const int passes = png_set_interlace_handling(png);
        for (int pass = 0; pass < passes; ++pass) {
            for (png_uint_32 y = 0; y < header->height; ++y) {
                png_read_row(png, pixels->data() + rowBytes * y, nullptr);
            }
        }
        return true;
    }
    pixels->reserve(rowBytes * header->height);
    for (png_uint_32 y = 0; y < header->height; ++y) {
        pixels->resize(pixels->size() + rowBytes);
        png_read_row(png, pixels->data() + rowBytes * y, nullptr);
    }
    return true;
}

// Decodes the rows into rows the caller holds, `rowBytes` apart, in every pass of an interlaced image.
bool readRowsInto(png_structp png, const PngHeader* header, std::uint8_t* first, std::size_t rowBytes)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    const int passes = header->interlaced ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < header->height; ++y) {
            png_read_row(png, first + rowBytes * y, nullptr);
        }
    }
    return true;
}

// libpng's read and info structures, destroyed on every way out.
class PngReadStruct {
public:
    explicit PngReadStruct(std::string* message)
        : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, message, onPngError, onPngWarning))
    {
        info_ = png_ ? png_create_info_struct(png_) : nullptr;
        if (!png_ || !info_) {
            png_destroy_read_struct(&png_, &info_, nullptr);
            throw std::bad_alloc();
        }
    }
    ~PngReadStruct() { png_destroy_read_struct(&png_, &info_, nullptr); }
    PngReadStruct(const PngReadStruct&) = delete;
    PngReadStruct& operator=(const PngReadStruct&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// Ancillary chunks (text, profiles, unknown chunks) kept in memory at most; larger ones are an error, so a small
// file cannot ask for gigabytes through a chunk length.
constexpr png_alloc_size_t kChunkMemoryLimit = 8u << 20;

// Rows of the host's order that a decoder may fill instead of making an RGBA image.
struct ArgbRows {
    std::uint8_t* first = nullptr;
    std::size_t rowBytes = 0;
    int width = 0;
    int height = 0;
};

// Decodes into `rows` when given and of the image's size (and returns an empty image), else into a new RGBA image.
RgbaImage decode(PngSource& source, const std::string& name, const ImageSizeLimit& limit,
                 const ArgbRows* rows = nullptr, bool* filledRows = nullptr)
{
    std::string message;
    PngReadStruct reader(&message);
    png_set_read_fn(reader.png(), &source, readFromSource);
    png_set_chunk_malloc_max(reader.png(), kChunkMemoryLimit);
    // Chunks that do not change the pixels as they arrive here are skipped unread, as are unknown ones: libpng takes
    // memory for a chunk's whole claimed length before reading it, so a text chunk whose length field says 1.9 GB
    // would cost that much at the end of a 60-byte file. Skipping reads the bytes in small pieces and stops where
    // the file does.
    static const png_byte kSkipped[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0"
                                       "sPLT\0sRGB\0tEXt\0tIME\0zTXt";
    png_set_keep_unknown_chunks(reader.png(), PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(reader.png(), PNG_HANDLE_CHUNK_NEVER, kSkipped, sizeof kSkipped / 5);
    // libpng's own ceiling on the sides stays above ours, so that an oversized header reaches the check below, which
    // names the size and the limit; nothing the size of the image is allocated before it.
    png_set_user_limits(reader.png(), std::max<png_uint_32>(PNG_USER_WIDTH_MAX, limit.maxWidth),
                        std::max<png_uint_32>(PNG_USER_HEIGHT_MAX, limit.maxHeight));
    PngHeader header;
    if (!readHeader(reader.png(), reader.info(), &header)) {
        throw std::runtime_error(name + ": cannot read PNG: " + message);
    }
    if (header.width > png_uint_32(limit.maxWidth) || header.height > png_uint_32(limit.maxHeight)) {
        throw imageTooLarge(name, header.width, header.height, limit);
    }
    const bool intoRows = rows != nullptr && header.width == png_uint_32(rows->width) &&
                          header.height == png_uint_32(rows->height);
    if (!prepareRows(reader.png(), reader.info(), &header, intoRows)) {
        throw std::runtime_error(name + ": cannot read PNG: " + message);
    }
    if (filledRows != nullptr) {
        *filledRows = intoRows;
    }
    if (intoRows) {
        if (!readRowsInto(reader.png(), &header, rows->first, rows->rowBytes)) {
            throw std::runtime_error(name + ": cannot decode PNG: " + message);
        }
        return RgbaImage();
    }
    RgbaImage result;
    if (!readRows(reader.png(), &header, &result.pixels)) {
        throw std::runtime_error(name + ": cannot decode PNG: " + message);
    }
    result.width = static_cast<int>(header.width);
    result.height = static_cast<int>(header.height);
    return result;
}

} // namespace

RgbaImage readPng(const std::string& path, const ImageSizeLimit& limit)
{
    return readPngInto(path, limit, nullptr, 0, 0, 0, nullptr);
}

RgbaImage readPngInto(const std::string& path, const ImageSizeLimit& limit, std::uint8_t* firstRow,
                      std::size_t rowBytes, int width, int height, bool* filled)
{
    // Asked first: Windows refuses to open a directory ("Permission denied"), POSIX
    // opens it and fails the first read.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        throw std::runtime_error(path + ": is a directory, not a PNG file");
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        throw std::runtime_error(path + ": cannot open: " + std::strerror(errno));
    }
    PngSource source;
    source.file = file;
    ArgbRows rows;
    rows.first = firstRow;
    rows.rowBytes = rowBytes;
    rows.width = width;
    rows.height = height;
    try {
        RgbaImage image = decode(source, path, limit, firstRow != nullptr ? &rows : nullptr, filled);
        std::fclose(file);
        return image;
    } catch (...) {
        std::fclose(file);
        throw;
    }
}

RgbaImage decodePng(const std::uint8_t* data, std::size_t size, const std::string& name, const ImageSizeLimit& limit)
{
    PngSource source;
    source.data = data;
    source.size = size;
    return decode(source, name, limit);
}

namespace {

// The frame as an 8-bit RGBA PNG. libpng's own defaults (every row filter tried, zlib level 6) make encoding cost as
// much as rendering a 1920×1080 frame. One filter ("up") with zlib's run-length strategy takes about a tenth of their
// time for files a few per cent larger: after the "up" filter a frame's bytes are mostly runs and small values, which
// runs and Huffman codes catch; searching for longer matches (level 3 without it) took 2.5 times as long for files
// 15% larger on rendered footage. Only plain pointers and integers live in this function, since an error leaves it
// by longjmp.
bool encodePng(std::FILE* file, int width, int height, const png_byte* firstRow, std::size_t rowBytes, bool argb,
               std::string* message)
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
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 3);
    png_set_compression_strategy(png, Z_RLE);
    png_write_info(png, info);
    if (argb) {
        png_set_swap_alpha(png);
    }
    const png_byte* row = firstRow;
    for (int y = 0; y < height; ++y, row += rowBytes) {
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Writes the encoded rows as an OutputFile; a failure leaves the old file, if any, as it was.
void writeEncoded(const std::string& path, int width, int height, const std::uint8_t* firstRow, std::size_t rowBytes,
                  bool argb)
{
    OutputFile output(path);
    std::string message;
    if (!encodePng(output.file(), width, height, firstRow, rowBytes, argb, &message)) {
        // libpng's "Write Error" has the system's reason (a full disk) behind it.
        if (std::ferror(output.file())) {
            throw std::runtime_error(path + ": cannot write: " + System::errorText());
        }
        throw std::runtime_error(path + ": cannot encode PNG: " + message);
    }
    output.commit();
}

} // namespace

void writePngAtomically(const std::string& path, const RgbaImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
        throw std::runtime_error(path + ": nothing to write (empty image)");
    }
    writeEncoded(path, image.width, image.height, image.pixels.data(), static_cast<std::size_t>(image.width) * 4,
                 false);
}

void writeArgbPngAtomically(const std::string& path, int width, int height, const std::uint8_t* firstRow,
                            std::size_t rowBytes)
{
    if (width <= 0 || height <= 0 || firstRow == nullptr || rowBytes < static_cast<std::size_t>(width) * 4) {
        throw std::runtime_error(path + ": nothing to write (empty image)");
    }
    writeEncoded(path, width, height, firstRow, rowBytes, true);
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
