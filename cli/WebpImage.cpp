// WebP through libwebp: still images, lossy or lossless, with alpha and an ICC profile; an animation is refused.
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>
#include <stdexcept>

#include "cli/ImageCodecs.h"
#include "cli/ImageFile.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

std::string statusText(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
    case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR: return "the data is damaged";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "a feature libwebp does not support";
    case VP8_STATUS_SUSPENDED: return "decoding suspended";
    case VP8_STATUS_USER_ABORT: return "decoding stopped";
    case VP8_STATUS_NOT_ENOUGH_DATA: return "the file ends early (truncated)";
    default: return "unknown error";
    }
}

struct DemuxDeleter {
    void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

} // namespace

DecodedImage decodeWebp(const std::uint8_t* data, std::size_t size, const std::string& name,
                        const ImageSizeLimit& limit)
{
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(data, size, &features);
    if (status != VP8_STATUS_OK) {
        throw std::runtime_error(name + ": cannot read WebP: " + statusText(status));
    }
    if (features.has_animation) {
        throw std::runtime_error(name + ": is an animated WebP; solvane renders still images and frame sequences "
                                        "(extract its frames first, e.g. with ImageMagick's convert)");
    }
    if (features.width > limit.maxWidth || features.height > limit.maxHeight) {
        throw imageTooLarge(name, features.width, features.height, limit);
    }
    DecodedImage decoded;
    decoded.image.width = features.width;
    decoded.image.height = features.height;
    decoded.image.pixels.resize(std::size_t(features.width) * features.height * 4);
    const int stride = features.width * 4;
    if (!WebPDecodeRGBAInto(data, size, decoded.image.pixels.data(), decoded.image.pixels.size(), stride)) {
        // The decoder says no more than that it failed; the incremental one tells an early end from damage.
        WebPDecoderConfig config;
        WebPInitDecoderConfig(&config);
        const VP8StatusCode why = WebPDecode(data, size, &config);
        WebPFreeDecBuffer(&config.output);
        throw std::runtime_error(name + ": cannot decode WebP: " +
                                 statusText(why == VP8_STATUS_OK ? VP8_STATUS_BITSTREAM_ERROR : why));
    }
    WebPData whole{data, size};
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer(WebPDemux(&whole));
    WebPChunkIterator chunk;
    if (demuxer && WebPDemuxGetChunk(demuxer.get(), "ICCP", 1, &chunk)) {
        decoded.extras.iccProfile.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    return decoded;
}

std::vector<std::uint8_t> encodeWebp(const RgbaRows& rows, std::optional<int> quality,
                                     const std::vector<std::uint8_t>& iccProfile)
{
    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        throw std::runtime_error("cannot encode WebP: libwebp's version does not match");
    }
    if (quality) {
        config.quality = static_cast<float>(*quality);
    } else {
        // The fast end of libwebp's lossless levels, as the PNG writer chooses its settings: on a rendered 1920×1080
        // frame, level 1 costs about a tenth of level 6's encoding time for a file a quarter larger (and still
        // smaller than the PNG).
        WebPConfigLosslessPreset(&config, 1);
        // Colour under transparent pixels stays: the shafts alone are mostly such pixels, and the colour is kept
        // for a tool that takes alpha off again.
        config.exact = 1;
    }
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) {
        throw std::runtime_error("cannot encode WebP: libwebp's version does not match");
    }
    picture.use_argb = quality ? 0 : 1;
    picture.width = rows.width;
    picture.height = rows.height;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    std::string error;
    if (!WebPPictureImportRGBA(&picture, rows.pixels, rows.width * 4)) {
        error = "out of memory";
    } else if (!WebPEncode(&config, &picture)) {
        error = "error " + std::to_string(static_cast<int>(picture.error_code));
    }
    WebPPictureFree(&picture);
    std::vector<std::uint8_t> bytes(writer.mem, writer.mem + writer.size);
    WebPMemoryWriterClear(&writer);
    if (!error.empty()) {
        throw std::runtime_error("cannot encode WebP: " + error);
    }
    if (iccProfile.empty()) {
        return bytes;
    }
    const WebPData image{bytes.data(), bytes.size()};
    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxCreate(&image, 0));
    const WebPData profile{iccProfile.data(), iccProfile.size()};
    WebPData assembled{nullptr, 0};
    if (!mux || WebPMuxSetChunk(mux.get(), "ICCP", &profile, 0) != WEBP_MUX_OK ||
        WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
        WebPDataClear(&assembled);
        throw std::runtime_error("cannot encode WebP: cannot add the ICC profile");
    }
    std::vector<std::uint8_t> withProfile(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return withProfile;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
