// JPEG through libjpeg-turbo: baseline and progressive, grey, RGB (YCbCr) and CMYK (YCCK) files, with the EXIF
// orientation applied, and 8-bit RGB output with the ICC profile.
#include <cstdio> // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "cli/ImageCodecs.h"
#include "cli/ImageFile.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

// libjpeg's default error handler ends the process; this one keeps the message and jumps back.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onJpegError(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

// A file that ends early, or whose entropy-coded data is broken, is only a warning to libjpeg, which fills the rest
// with grey; here it is refused, so that no frame is made from a part of its input. Other warnings (extra bytes
// between markers, which cameras write) change no pixel and are let pass.
void onJpegMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0) {
        return;
    }
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC || code == JWRN_HUFF_BAD_CODE) {
        onJpegError(cinfo);
    }
}

// A progressive file may hold any number of scans, each a pass over the whole image; real files have a dozen.
constexpr int kMostScans = 1000;

void onJpegProgress(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMostScans) {
        auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
        std::snprintf(errors->message, sizeof errors->message, "more than %d progressive scans", kMostScans);
        std::longjmp(errors->jump, 1);
    }
}

std::uint32_t readBytes(const std::uint8_t* p, int count, bool bigEndian)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value |= std::uint32_t(p[bigEndian ? i : count - 1 - i]) << (8 * (count - 1 - i));
    }
    return value;
}

// The orientation tag (1-8) of an EXIF block ("Exif\0\0" and a TIFF structure), 1 when there is none or it cannot be
// read.
int exifOrientation(const std::uint8_t* data, std::size_t size)
{
    if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0) {
        return 1;
    }
    const std::uint8_t* tiff = data + 6;
    const std::size_t length = size - 6;
    bool big = false;
    if (std::memcmp(tiff, "MM\0*", 4) == 0) {
        big = true;
    } else if (std::memcmp(tiff, "II*\0", 4) != 0) {
        return 1;
    }
    const std::uint32_t ifd = readBytes(tiff + 4, 4, big);
    if (ifd > length - 2) {
        return 1;
    }
    const std::uint32_t entries = readBytes(tiff + ifd, 2, big);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t at = ifd + 2 + std::size_t(i) * 12;
        if (at + 12 > length) {
            return 1;
        }
        if (readBytes(tiff + at, 2, big) == 0x0112 && readBytes(tiff + at + 2, 2, big) == 3) {
            const std::uint32_t value = readBytes(tiff + at + 8, 2, big);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

// The image as it is shown: EXIF orientation 2-8 mirror and turn the stored pixels.
RgbaImage oriented(RgbaImage stored, int orientation)
{
    if (orientation <= 1) {
        return stored;
    }
    const int w = stored.width;
    const int h = stored.height;
    const bool swap = orientation >= 5;
    RgbaImage shown;
    shown.width = swap ? h : w;
    shown.height = swap ? w : h;
    shown.pixels.resize(stored.pixels.size());
    for (int y = 0; y < shown.height; ++y) {
        for (int x = 0; x < shown.width; ++x) {
            int sx = x;
            int sy = y;
            switch (orientation) {
            case 2: sx = w - 1 - x; break;
            case 3: sx = w - 1 - x; sy = h - 1 - y; break;
            case 4: sy = h - 1 - y; break;
            case 5: sx = y; sy = x; break;
            case 6: sx = y; sy = h - 1 - x; break;
            case 7: sx = w - 1 - y; sy = h - 1 - x; break;
            case 8: sx = w - 1 - y; sy = x; break;
            default: break;
            }
            std::memcpy(&shown.pixels[(std::size_t(y) * shown.width + x) * 4],
                        &stored.pixels[(std::size_t(sy) * w + sx) * 4], 4);
        }
    }
    return shown;
}

// What decoding leaves in plain variables, since an error leaves the decoding function by longjmp.
struct JpegResult {
    std::vector<std::uint8_t>* pixels = nullptr;
    std::vector<std::uint8_t>* icc = nullptr;
    std::vector<std::uint8_t>* row = nullptr;
    const ImageSizeLimit* limit = nullptr;
    unsigned width = 0;
    unsigned height = 0;
    int orientation = 1;
    bool tooLarge = false;
};

bool decodeJpegInto(jpeg_decompress_struct* cinfo, JpegErrors* errors, const std::uint8_t* data, std::size_t size,
                    JpegResult* result)
{
    if (setjmp(errors->jump)) {
        return false;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    result->width = cinfo->image_width;
    result->height = cinfo->image_height;
    if (cinfo->image_width > unsigned(result->limit->maxWidth) ||
        cinfo->image_height > unsigned(result->limit->maxHeight)) {
        result->tooLarge = true;
        return true;
    }
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1) {
            result->orientation = exifOrientation(marker->data, marker->data_length);
            if (result->orientation != 1) {
                break;
            }
        }
    }
    JOCTET* profile = nullptr;
    unsigned int profileLength = 0;
    if (jpeg_read_icc_profile(cinfo, &profile, &profileLength) && profile) {
        result->icc->assign(profile, profile + profileLength);
        std::free(profile);
    }
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : cinfo->num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_RGBA;
    jpeg_start_decompress(cinfo);
    const std::size_t width = cinfo->output_width;
    result->row->resize(width * std::size_t(cinfo->output_components));
    result->pixels->reserve(width * 4 * cinfo->output_height);
    // Adobe's CMYK files store their inks inverted (0 is full ink); others store them as they are.
    const bool inverted = cinfo->saw_Adobe_marker;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW rowPointer = result->row->data();
        jpeg_read_scanlines(cinfo, &rowPointer, 1);
        const std::size_t at = result->pixels->size();
        result->pixels->resize(at + width * 4);
        std::uint8_t* out = result->pixels->data() + at;
        const std::uint8_t* in = result->row->data();
        for (std::size_t x = 0; x < width; ++x, out += 4) {
            if (cinfo->out_color_space == JCS_EXT_RGBA) {
                std::memcpy(out, in + x * 4, 4);
            } else if (cinfo->out_color_space == JCS_GRAYSCALE) {
                out[0] = out[1] = out[2] = in[x];
                out[3] = 255;
            } else {
                const std::uint8_t* ink = in + x * 4;
                const unsigned k = inverted ? ink[3] : 255u - ink[3];
                for (int c = 0; c < 3; ++c) {
                    const unsigned paper = inverted ? ink[c] : 255u - ink[c];
                    out[c] = static_cast<std::uint8_t>((paper * k + 127) / 255);
                }
                out[3] = 255;
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

bool encodeJpegInto(jpeg_compress_struct* cinfo, JpegErrors* errors, int width, int height, const std::uint8_t* rgb,
                    int quality, const std::vector<std::uint8_t>* icc, unsigned char** buffer, unsigned long* length)
{
    if (setjmp(errors->jump)) {
        return false;
    }
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, buffer, length);
    cinfo->image_width = static_cast<JDIMENSION>(width);
    cinfo->image_height = static_cast<JDIMENSION>(height);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    // Full-resolution colour above quality 90, as photo tools do: the shafts' thin bright edges smear at half.
    if (quality >= 90) {
        for (int c = 0; c < 3; ++c) {
            cinfo->comp_info[c].h_samp_factor = 1;
            cinfo->comp_info[c].v_samp_factor = 1;
        }
    }
    cinfo->optimize_coding = TRUE;
    jpeg_start_compress(cinfo, TRUE);
    if (!icc->empty()) {
        jpeg_write_icc_profile(cinfo, icc->data(), static_cast<unsigned>(icc->size()));
    }
    const std::size_t rowBytes = std::size_t(width) * 3;
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + rowBytes * cinfo->next_scanline);
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

DecodedImage decodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name,
                        const ImageSizeLimit& limit)
{
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onJpegError;
    errors.manager.emit_message = onJpegMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = onJpegProgress;
    cinfo.progress = &progress;
    DecodedImage decoded;
    std::vector<std::uint8_t> row;
    JpegResult result;
    result.pixels = &decoded.image.pixels;
    result.icc = &decoded.extras.iccProfile;
    result.row = &row;
    result.limit = &limit;
    bool ok = false;
    try {
        ok = decodeJpegInto(&cinfo, &errors, data, size, &result);
    } catch (...) { // memory for the rows
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        throw std::runtime_error(name + ": cannot read JPEG: " + errors.message);
    }
    if (result.tooLarge) {
        throw imageTooLarge(name, result.width, result.height, limit);
    }
    decoded.image.width = static_cast<int>(result.width);
    decoded.image.height = static_cast<int>(result.height);
    decoded.image = oriented(std::move(decoded.image), result.orientation);
    return decoded;
}

std::vector<std::uint8_t> encodeJpeg(int width, int height, const std::uint8_t* rgb, int quality,
                                     const std::vector<std::uint8_t>& iccProfile)
{
    jpeg_compress_struct cinfo{};
    JpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onJpegError;
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    const bool ok = encodeJpegInto(&cinfo, &errors, width, height, rgb, quality, &iccProfile, &buffer, &length);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> bytes;
    if (ok && buffer) {
        bytes.assign(buffer, buffer + length);
    }
    std::free(buffer);
    if (!ok) {
        throw std::runtime_error(std::string("cannot encode JPEG: ") + errors.message);
    }
    return bytes;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
