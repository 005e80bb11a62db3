// TIFF through libtiff: grey and RGB files of 8 and 16 bits a sample, with or without alpha (associated or not), in
// strips or tiles, planes together or apart, read sample by sample so that 16 bits stay 16; every other kind libtiff
// knows (palette, YCbCr, CMYK, fewer bits) through its RGBA image reader at 8 bits. Written as RGB or RGBA with
// unassociated alpha, 8 or 16 bits a sample.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "cli/ImageCodecs.h"
#include "cli/ImageFile.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

// Bytes libtiff reads from, or writes into, and the first error it reported.
struct TiffMemory {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::vector<std::uint8_t>* out = nullptr; // when writing
    std::size_t position = 0;
    std::string error;
};

TiffMemory* memoryOf(thandle_t handle) { return static_cast<TiffMemory*>(handle); }

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size)
{
    TiffMemory* m = memoryOf(handle);
    const std::size_t length = m->out ? m->out->size() : m->size;
    const std::uint8_t* bytes = m->out ? m->out->data() : m->data;
    if (size <= 0 || m->position >= length) {
        return 0;
    }
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(size), length - m->position);
    std::memcpy(buffer, bytes + m->position, count);
    m->position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t writeMemory(thandle_t handle, void* buffer, tmsize_t size)
{
    TiffMemory* m = memoryOf(handle);
    if (!m->out || size < 0) {
        return -1;
    }
    const std::size_t end = m->position + static_cast<std::size_t>(size);
    if (end > m->out->size()) {
        m->out->resize(end);
    }
    if (size > 0) {
        std::memcpy(m->out->data() + m->position, buffer, static_cast<std::size_t>(size));
    }
    m->position = end;
    return size;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence)
{
    TiffMemory* m = memoryOf(handle);
    const std::size_t length = m->out ? m->out->size() : m->size;
    std::uint64_t base = whence == SEEK_CUR ? m->position : whence == SEEK_END ? length : 0;
    const std::uint64_t target = base + offset;
    // A seek past the end is allowed while writing (the gap is filled when written); reading finds nothing there.
    if (target > (std::uint64_t(1) << 40)) {
        return static_cast<toff_t>(-1);
    }
    m->position = static_cast<std::size_t>(target);
    return target;
}

int closeMemory(thandle_t) { return 0; }

toff_t sizeOfMemory(thandle_t handle)
{
    TiffMemory* m = memoryOf(handle);
    return m->out ? m->out->size() : m->size;
}

int mapNothing(thandle_t, void**, toff_t*) { return 0; }
void unmapNothing(thandle_t, void*, toff_t) {}

int onTiffError(TIFF*, void* user, const char* module, const char* format, va_list arguments)
{
    auto* m = static_cast<TiffMemory*>(user);
    if (m->error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        m->error = text;
        (void)module;
    }
    return 1;
}

int onTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFreer {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

TiffHandle openMemory(TiffMemory& memory, const char* mode, tmsize_t largestAllocation)
{
    std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
    if (!options) {
        throw std::bad_alloc();
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onTiffError, &memory);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onTiffWarning, &memory);
    if (largestAllocation > 0) {
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), largestAllocation);
    }
    return TiffHandle(TIFFClientOpenExt("tiff", mode, &memory, readMemory, writeMemory, seekMemory, closeMemory,
                                        sizeOfMemory, mapNothing, unmapNothing, options.get()));
}

// The layout of the image of the current directory.
struct TiffLayout {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    int alpha = -1;           // the sample that holds alpha, -1 for none
    bool associated = false;  // alpha premultiplied into the colours
};

// The most samples a pixel of a direct read may have: colour, alpha and a few extra planes that are left unread.
constexpr std::uint16_t kMostSamples = 8;

bool direct(const TiffLayout& l)
{
    const bool grey = l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE;
    return (l.bits == 8 || l.bits == 16) && l.sampleFormat == SAMPLEFORMAT_UINT && l.samples <= kMostSamples &&
           (grey || (l.photometric == PHOTOMETRIC_RGB && l.samples >= 3));
}

[[noreturn]] void fail(const std::string& name, const std::string& what, const TiffMemory& memory)
{
    throw std::runtime_error(name + ": cannot read TIFF: " + what +
                             (memory.error.empty() ? std::string() : " (" + memory.error + ")"));
}

// Stores one block (a strip or a tile) of decoded samples, `blockWidth` pixels wide and `rows` high at (x0, y0), as
// 16-bit samples of the whole image (all planes together).
void storeBlock(const TiffLayout& l, const std::uint8_t* block, std::size_t blockRowBytes, std::uint32_t x0,
                std::uint32_t y0, std::uint32_t blockWidth, std::uint32_t rows, int plane, std::uint16_t* samples)
{
    const bool contig = l.planar == PLANARCONFIG_CONTIG;
    const int perPixel = contig ? l.samples : 1;
    const std::uint32_t columns = std::min(blockWidth, l.width - x0);
    for (std::uint32_t r = 0; r < rows && y0 + r < l.height; ++r) {
        const std::uint8_t* in = block + blockRowBytes * r;
        std::uint16_t* out = samples + (std::size_t(y0 + r) * l.width + x0) * l.samples;
        for (std::uint32_t x = 0; x < columns; ++x) {
            for (int s = 0; s < perPixel; ++s) {
                const std::size_t index = std::size_t(x) * perPixel + s;
                std::uint16_t value = 0;
                if (l.bits == 16) {
                    std::memcpy(&value, in + index * 2, 2); // libtiff hands 16-bit samples in the machine's order
                } else {
                    value = static_cast<std::uint16_t>(in[index] * 257u);
                }
                out[std::size_t(x) * l.samples + (contig ? s : plane)] = value;
            }
        }
    }
}

void readSamples(TIFF* tiff, const TiffLayout& l, const std::string& name, TiffMemory& memory,
                 std::vector<std::uint16_t>& samples)
{
    samples.assign(std::size_t(l.width) * l.height * l.samples, 0);
    const bool contig = l.planar == PLANARCONFIG_CONTIG;
    const std::size_t sampleBytes = l.bits / 8;
    const int planes = contig ? 1 : l.samples;
    if (TIFFIsTiled(tiff)) {
        std::uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
        const tmsize_t tileSize = TIFFTileSize(tiff);
        if (tileWidth == 0 || tileHeight == 0 || tileSize <= 0) {
            fail(name, "bad tile size", memory);
        }
        const std::size_t tileRowBytes = std::size_t(tileWidth) * sampleBytes * (contig ? l.samples : 1);
        if (std::size_t(tileSize) < tileRowBytes * tileHeight) {
            fail(name, "bad tile size", memory);
        }
        std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileSize));
        for (int plane = 0; plane < planes; ++plane) {
            for (std::uint32_t y = 0; y < l.height; y += tileHeight) {
                for (std::uint32_t x = 0; x < l.width; x += tileWidth) {
                    const std::uint32_t index = TIFFComputeTile(tiff, x, y, 0, static_cast<std::uint16_t>(plane));
                    if (TIFFReadEncodedTile(tiff, index, tile.data(), tileSize) < tileSize) {
                        fail(name, "tile " + std::to_string(index) + " is damaged or missing", memory);
                    }
                    storeBlock(l, tile.data(), tileRowBytes, x, y, tileWidth, tileHeight, plane, samples.data());
                }
            }
        }
        return;
    }
    std::uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::min(std::max<std::uint32_t>(rowsPerStrip, 1), l.height);
    const tmsize_t stripSize = TIFFStripSize(tiff);
    const std::size_t rowBytes = std::size_t(l.width) * sampleBytes * (contig ? l.samples : 1);
    if (stripSize <= 0 || std::size_t(stripSize) < rowBytes * rowsPerStrip) {
        fail(name, "bad strip size", memory);
    }
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(stripSize));
    const std::uint32_t stripsPerPlane = (l.height + rowsPerStrip - 1) / rowsPerStrip;
    for (int plane = 0; plane < planes; ++plane) {
        for (std::uint32_t s = 0; s < stripsPerPlane; ++s) {
            const std::uint32_t y = s * rowsPerStrip;
            const std::uint32_t rows = std::min(rowsPerStrip, l.height - y);
            const std::uint32_t index = TIFFComputeStrip(tiff, y, static_cast<std::uint16_t>(plane));
            const tmsize_t got = TIFFReadEncodedStrip(tiff, index, strip.data(), stripSize);
            if (got < 0 || std::size_t(got) < rowBytes * rows) {
                fail(name, "strip " + std::to_string(index) + " is damaged or missing", memory);
            }
            storeBlock(l, strip.data(), rowBytes, 0, y, l.width, rows, plane, samples.data());
        }
    }
}

// Straight RGBA at 16 bits from the file's samples.
std::vector<std::uint16_t> toRgba(const TiffLayout& l, const std::vector<std::uint16_t>& samples)
{
    const std::size_t count = std::size_t(l.width) * l.height;
    std::vector<std::uint16_t> rgba(count * 4);
    const bool grey = l.photometric != PHOTOMETRIC_RGB;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t* in = &samples[i * l.samples];
        std::uint16_t* out = &rgba[i * 4];
        for (int c = 0; c < 3; ++c) {
            out[c] = in[grey ? 0 : c];
            if (l.photometric == PHOTOMETRIC_MINISWHITE) {
                out[c] = static_cast<std::uint16_t>(65535 - out[c]);
            }
        }
        out[3] = l.alpha >= 0 ? in[l.alpha] : 65535;
        if (l.associated && out[3] != 65535) {
            const std::uint32_t a = out[3];
            for (int c = 0; c < 3; ++c) {
                out[c] = a == 0 ? 0 : static_cast<std::uint16_t>(std::min<std::uint32_t>(65535, (out[c] * 65535u + a / 2) / a));
            }
        }
    }
    return rgba;
}

// Any other kind of file through libtiff's RGBA image reader, 8 bits a sample; it associates alpha, which is undone.
void readThroughRgbaImage(TIFF* tiff, const TiffLayout& l, const std::string& name, TiffMemory& memory,
                          RgbaImage& image)
{
    char reason[1024] = "";
    if (!TIFFRGBAImageOK(tiff, reason)) {
        throw std::runtime_error(name + ": cannot read TIFF: " + reason);
    }
    std::vector<std::uint32_t> raster(std::size_t(l.width) * l.height);
    if (!TIFFReadRGBAImageOriented(tiff, l.width, l.height, raster.data(), ORIENTATION_TOPLEFT, 1)) {
        fail(name, "cannot decode the image", memory);
    }
    image.pixels.resize(raster.size() * 4);
    for (std::size_t i = 0; i < raster.size(); ++i) {
        const std::uint32_t p = raster[i];
        std::uint8_t* out = &image.pixels[i * 4];
        const unsigned a = TIFFGetA(p);
        const unsigned rgb[3] = {TIFFGetR(p), TIFFGetG(p), TIFFGetB(p)};
        for (int c = 0; c < 3; ++c) {
            out[c] = a == 255 ? static_cast<std::uint8_t>(rgb[c])
                     : a == 0 ? 0
                              : static_cast<std::uint8_t>(std::min(255u, (rgb[c] * 255 + a / 2) / a));
        }
        out[3] = static_cast<std::uint8_t>(a);
    }
}

} // namespace

DecodedImage decodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name,
                        const ImageSizeLimit& limit)
{
    TiffMemory memory;
    memory.data = data;
    memory.size = size;
    // No one allocation beyond what the largest image allowed takes at 16 bits in its most samples.
    const auto largest = static_cast<tmsize_t>(std::size_t(limit.maxWidth) * limit.maxHeight * kMostSamples * 2);
    TiffHandle tiff = openMemory(memory, "rm", largest);
    if (!tiff) {
        fail(name, "not a readable TIFF file", memory);
    }
    TiffLayout l;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &l.width) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &l.height) || l.width == 0 || l.height == 0) {
        fail(name, "no image size", memory);
    }
    if (l.width > std::uint32_t(limit.maxWidth) || l.height > std::uint32_t(limit.maxHeight)) {
        throw imageTooLarge(name, l.width, l.height, limit);
    }
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLEFORMAT, &l.sampleFormat);
    if (!TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &l.photometric)) {
        l.photometric = l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    std::uint16_t extraCount = 0;
    std::uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    const int colours = l.photometric == PHOTOMETRIC_RGB ? 3 : 1;
    if (extraCount > 0 && extraKinds && l.samples > colours &&
        (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA || extraKinds[0] == EXTRASAMPLE_UNASSALPHA)) {
        l.alpha = colours;
        l.associated = extraKinds[0] == EXTRASAMPLE_ASSOCALPHA;
    }

    DecodedImage decoded;
    std::uint32_t profileLength = 0;
    void* profile = nullptr;
    if (TIFFGetField(tiff.get(), TIFFTAG_ICCPROFILE, &profileLength, &profile) && profile && profileLength > 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(profile);
        decoded.extras.iccProfile.assign(bytes, bytes + profileLength);
    }
    decoded.image.width = static_cast<int>(l.width);
    decoded.image.height = static_cast<int>(l.height);
    if (direct(l)) {
        std::vector<std::uint16_t> samples;
        readSamples(tiff.get(), l, name, memory, samples);
        std::vector<std::uint16_t> rgba = toRgba(l, samples);
        decoded.image.pixels.resize(rgba.size());
        std::transform(rgba.begin(), rgba.end(), decoded.image.pixels.begin(), to8Bits);
        if (l.bits == 16) {
            decoded.extras.deep = std::move(rgba);
        }
    } else {
        readThroughRgbaImage(tiff.get(), l, name, memory, decoded.image);
    }
    // Counted last: the count walks every directory of the file.
    const tdir_t pages = TIFFNumberOfDirectories(tiff.get());
    if (pages > 1) {
        decoded.note = name + ": has " + std::to_string(pages) + " pages (images); solvane reads the first";
    }
    return decoded;
}

bool knownTiffCompression(const std::string& name)
{
    return name == "none" || name == "lzw" || name == "deflate" || name == "packbits";
}

std::vector<std::uint8_t> encodeTiff(const RgbaRows& rows, const DeepRows* deep, const std::string& compression,
                                     const std::vector<std::uint8_t>& iccProfile)
{
    std::vector<std::uint8_t> bytes;
    TiffMemory memory;
    memory.out = &bytes;
    TiffHandle tiff = openMemory(memory, "w", 0);
    if (!tiff) {
        throw std::runtime_error("cannot encode TIFF: " + memory.error);
    }
    const std::size_t count = std::size_t(rows.width) * rows.height;
    bool opaque = true;
    for (std::size_t i = 0; i < count && opaque; ++i) {
        opaque = rows.pixels[i * 4 + 3] == 255 && (!deep || deep->samples[i * 4 + 3] == 65535);
    }
    const std::uint16_t samples = opaque ? 3 : 4;
    const std::uint16_t bits = deep ? 16 : 8;
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(rows.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(rows.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (!opaque) {
        const std::uint16_t kinds[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, kinds);
    }
    const std::uint16_t scheme = compression == "none"  ? COMPRESSION_NONE
                                 : compression == "lzw" ? COMPRESSION_LZW
                                 : compression == "packbits" ? COMPRESSION_PACKBITS
                                                             : COMPRESSION_ADOBE_DEFLATE;
    TIFFSetField(t, TIFFTAG_COMPRESSION, scheme);
    if (scheme == COMPRESSION_LZW || scheme == COMPRESSION_ADOBE_DEFLATE) {
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    if (!iccProfile.empty()) {
        TIFFSetField(t, TIFFTAG_ICCPROFILE, std::uint32_t(iccProfile.size()), iccProfile.data());
    }
    std::vector<std::uint8_t> row(std::size_t(rows.width) * samples * (bits / 8));
    for (int y = 0; y < rows.height; ++y) {
        for (int x = 0; x < rows.width; ++x) {
            const std::size_t at = (std::size_t(y) * rows.width + x) * 4;
            for (int c = 0; c < samples; ++c) {
                const std::size_t out = std::size_t(x) * samples + c;
                if (deep) {
                    std::memcpy(&row[out * 2], &deep->samples[at + c], 2);
                } else {
                    row[out] = rows.pixels[at + c];
                }
            }
        }
        if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
            throw std::runtime_error("cannot encode TIFF: " + memory.error);
        }
    }
    if (!TIFFFlush(t)) {
        throw std::runtime_error("cannot encode TIFF: " + memory.error);
    }
    tiff.reset();
    return bytes;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
