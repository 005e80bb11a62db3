#include "gimp/LayerPixels.h"

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

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
