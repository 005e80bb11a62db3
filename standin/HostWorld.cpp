#include "standin/HostWorld.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

HostWorld::HostWorld(int width, int height, int extraRowBytes)
{
    if (width < 0 || height < 0) {
        throw std::invalid_argument("a world cannot have a negative size");
    }
    const std::int64_t pixelBytes = static_cast<std::int64_t>(width) * 4;
    // Like a host's: rows rounded up to 32 bytes, plus some more.
    const std::int64_t padding = extraRowBytes >= 0 ? extraRowBytes : ((32 - pixelBytes % 32) % 32) + 32;
    const std::int64_t rowbytes = pixelBytes + padding;
    if (rowbytes > INT32_MAX) {
        throw std::invalid_argument("a world row is too long");
    }
    size_ = static_cast<std::size_t>(rowbytes) * static_cast<std::size_t>(height) + 1;
    storage_.reset(new std::uint8_t[size_]);
    def_.width = width;
    def_.height = height;
    def_.rowbytes = static_cast<A_long>(rowbytes);
    def_.data = storage_.get();
    def_.extent_hint[2] = width;
    def_.extent_hint[3] = height;
    for (int y = 0; y < height; ++y) {
        std::memset(row(y), 0, static_cast<std::size_t>(pixelBytes));
        std::memset(row(y) + pixelBytes, kPaddingMarker, static_cast<std::size_t>(padding));
    }
    storage_[size_ - 1] = kPaddingMarker;
}

void HostWorld::setFromRgba(const std::uint8_t* rgba)
{
    for (int y = 0; y < height(); ++y) {
        std::uint8_t* out = row(y);
        const std::uint8_t* in = rgba + static_cast<std::size_t>(y) * width() * 4;
        for (int x = 0; x < width(); ++x, in += 4, out += 4) {
            out[0] = in[3];
            out[1] = in[0];
            out[2] = in[1];
            out[3] = in[2];
        }
    }
}

void HostWorld::copyToRgba(std::uint8_t* rgba) const
{
    for (int y = 0; y < height(); ++y) {
        const std::uint8_t* in = row(y);
        std::uint8_t* out = rgba + static_cast<std::size_t>(y) * width() * 4;
        for (int x = 0; x < width(); ++x, in += 4, out += 4) {
            out[0] = in[1];
            out[1] = in[2];
            out[2] = in[3];
            out[3] = in[0];
        }
    }
}

void HostWorld::fill(std::uint8_t value)
{
    for (int y = 0; y < height(); ++y) {
        std::memset(row(y), value, static_cast<std::size_t>(width()) * 4);
    }
}

bool HostWorld::paddingIntact() const
{
    const std::size_t pixelBytes = static_cast<std::size_t>(width()) * 4;
    for (int y = 0; y < height(); ++y) {
        const std::uint8_t* padding = row(y) + pixelBytes;
        if (!std::all_of(padding, padding + (rowbytes() - pixelBytes),
                         [](std::uint8_t b) { return b == kPaddingMarker; })) {
            return false;
        }
    }
    return storage_[size_ - 1] == kPaddingMarker;
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
