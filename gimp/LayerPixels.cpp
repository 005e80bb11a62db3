#include "gimp/LayerPixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Tamrin {
namespace Solvane {
namespace Gimp {

void rowsToWorld(const std::uint8_t* rows, int channels, StandIn::HostWorld& world)
{
    for (int y = 0; y < world.height(); ++y) {
        std::uint8_t* out = world.row(y);
        const std::uint8_t* in = rows + static_cast<std::size_t>(y) * world.width() * channels;
        for (int x = 0; x < world.width(); ++x, in += channels, out += 4) {
            out[0] = channels == 4 ? in[3] : 255;
            out[1] = in[0];
            out[2] = in[1];
            out[3] = in[2];
        }
    }
}

void worldToRows(const StandIn::HostWorld& world, int channels, std::uint8_t* rows)
{
    for (int y = 0; y < world.height(); ++y) {
        const std::uint8_t* in = world.row(y);
        std::uint8_t* out = rows + static_cast<std::size_t>(y) * world.width() * channels;
        for (int x = 0; x < world.width(); ++x, in += 4, out += channels) {
            out[0] = in[1];
            out[1] = in[2];
            out[2] = in[3];
            if (channels == 4) {
                out[3] = in[0];
            }
        }
    }
}

std::size_t keepUnchangedPixels(const std::uint8_t* in8, const std::uint8_t* out8, int channels,
                                const std::uint8_t* original, std::uint8_t* result, int nativeBytes,
                                std::size_t pixelCount)
{
    const auto pixelBytes = static_cast<std::size_t>(channels);
    const auto native = static_cast<std::size_t>(nativeBytes);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        if (std::memcmp(in8 + i * pixelBytes, out8 + i * pixelBytes, pixelBytes) == 0) {
            std::memcpy(result + i * native, original + i * native, native);
            ++kept;
        }
    }
    return kept;
}

namespace {

// One channel of the reduced shafts at a reduced-pixel position, bilinear, edges held.
double sample(const std::uint8_t* image, int width, int height, double u, double v, int c)
{
    u = std::clamp(u, 0.0, width - 1.0);
    v = std::clamp(v, 0.0, height - 1.0);
    const int x0 = static_cast<int>(u), y0 = static_cast<int>(v);
    const int x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
    const double fx = u - x0, fy = v - y0;
    auto at = [&](int x, int y) { return image[(static_cast<std::size_t>(y) * width + x) * 4 + c] / 255.0; };
    return (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) + (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
}

std::uint8_t level(double value) { return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0)); }

} // namespace

void screenReducedShafts(const std::uint8_t* shafts, int reducedWidth, int reducedHeight, double scale, bool rayOnly,
                         std::uint8_t* view, int channels, int px, int py, int pw, int ph)
{
    for (int j = 0; j < ph; ++j) {
        for (int i = 0; i < pw; ++i) {
            // The centre of the layer pixel, in the reduced copy's pixels.
            const double u = (px + i + 0.5) * scale - 0.5;
            const double v = (py + j + 0.5) * scale - 0.5;
            double shine[4];
            for (int c = 0; c < 4; ++c) {
                shine[c] = sample(shafts, reducedWidth, reducedHeight, u, v, c);
            }
            std::uint8_t* pixel = view + (static_cast<std::size_t>(j) * pw + i) * channels;
            if (rayOnly) {
                for (int c = 0; c < channels; ++c) {
                    pixel[c] = level(shine[c]);
                }
                continue;
            }
            // The effect's screen of the shafts over the layer, alpha included.
            const double baseAlpha = channels == 4 ? pixel[3] / 255.0 : 1.0;
            const double alpha = shine[3] + baseAlpha * (1.0 - shine[3]);
            if (alpha <= 0.0) {
                std::fill(pixel, pixel + channels, std::uint8_t{0});
                continue;
            }
            const double weight = shine[3] / alpha;
            for (int c = 0; c < 3; ++c) {
                const double base = pixel[c] / 255.0;
                const double screened = 1.0 - (1.0 - base) * (1.0 - shine[c]);
                pixel[c] = level((1.0 - weight) * base +
                                 weight * ((1.0 - baseAlpha) * shine[c] + baseAlpha * screened));
            }
            if (channels == 4) {
                pixel[3] = level(alpha);
            }
        }
    }
}

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
