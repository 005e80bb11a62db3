#include "python/ArrayPixels.h"

#include <cmath>
#include <cstring>

namespace Tamrin {
namespace Solvane {
namespace Python {

std::size_t sampleBytes(SampleType type)
{
    switch (type) {
    case SampleType::UInt16:
        return 2;
    case SampleType::Float32:
        return 4;
    case SampleType::UInt8:
        break;
    }
    return 1;
}

std::uint8_t levelFromUInt16(std::uint16_t value)
{
    // libpng's png_set_scale_16, which solvane reads 16-bit files with: v × 255 / 65535, rounded.
    return static_cast<std::uint8_t>((static_cast<std::uint32_t>(value) * 255u + 32895u) >> 16);
}

std::uint8_t levelFromFloat(float value)
{
    if (!(value > 0.0f)) {
        return 0; // also not a number
    }
    if (value >= 1.0f) {
        return 255;
    }
    return static_cast<std::uint8_t>(std::lround(static_cast<double>(value) * 255.0));
}

namespace {

std::uint8_t levelAt(const unsigned char* sample, SampleType type)
{
    switch (type) {
    case SampleType::UInt16: {
        std::uint16_t v;
        std::memcpy(&v, sample, sizeof v);
        return levelFromUInt16(v);
    }
    case SampleType::Float32: {
        float v;
        std::memcpy(&v, sample, sizeof v);
        return levelFromFloat(v);
    }
    case SampleType::UInt8:
        break;
    }
    return *sample;
}

void storeLevel(std::uint8_t level, SampleType type, unsigned char* sample)
{
    switch (type) {
    case SampleType::UInt16: {
        const auto v = static_cast<std::uint16_t>(level * 257u);
        std::memcpy(sample, &v, sizeof v);
        return;
    }
    case SampleType::Float32: {
        const float v = static_cast<float>(level) / 255.0f;
        std::memcpy(sample, &v, sizeof v);
        return;
    }
    case SampleType::UInt8:
        break;
    }
    *sample = level;
}

} // namespace

void imageToWorld(const PackedImage& image, StandIn::HostWorld& world)
{
    const std::size_t bytes = sampleBytes(image.type);
    const std::size_t pixelBytes = bytes * static_cast<std::size_t>(image.channels);
    const auto* in = static_cast<const unsigned char*>(image.pixels);
    for (int y = 0; y < world.height(); ++y) {
        std::uint8_t* out = world.row(y);
        for (int x = 0; x < world.width(); ++x, in += pixelBytes, out += 4) {
            out[0] = image.channels == 4 ? levelAt(in + 3 * bytes, image.type) : 255;
            out[1] = levelAt(in, image.type);
            out[2] = levelAt(in + bytes, image.type);
            out[3] = levelAt(in + 2 * bytes, image.type);
        }
    }
}

std::size_t worldToImage(const StandIn::HostWorld& input, const StandIn::HostWorld& output, const PackedImage& original,
                         void* result)
{
    const std::size_t bytes = sampleBytes(original.type);
    const std::size_t pixelBytes = bytes * static_cast<std::size_t>(original.channels);
    const auto* from = static_cast<const unsigned char*>(original.pixels);
    auto* to = static_cast<unsigned char*>(result);
    const bool inPlace = from == to;
    // The host's order of a pixel's channels for red, green, blue and alpha.
    static const int kWorldChannel[4] = {1, 2, 3, 0};
    std::size_t kept = 0;
    for (int y = 0; y < output.height(); ++y) {
        const std::uint8_t* in = input.row(y);
        const std::uint8_t* out = output.row(y);
        for (int x = 0; x < output.width(); ++x, in += 4, out += 4, from += pixelBytes, to += pixelBytes) {
            bool same = true;
            for (int c = 0; c < original.channels; ++c) {
                same = same && in[kWorldChannel[c]] == out[kWorldChannel[c]];
            }
            if (same) {
                if (!inPlace) {
                    std::memcpy(to, from, pixelBytes);
                }
                ++kept;
                continue;
            }
            for (int c = 0; c < original.channels; ++c) {
                storeLevel(out[kWorldChannel[c]], original.type, to + static_cast<std::size_t>(c) * bytes);
            }
        }
    }
    return kept;
}

} // namespace Python
} // namespace Solvane
} // namespace Tamrin
