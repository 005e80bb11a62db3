#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// An 8-bit world as the host hands one over: pixels in the order alpha, red, green,
// blue, and rows padded beyond width × 4 bytes. The padding is filled with a
// marker so that a write past a row's pixels can be seen.
class HostWorld {
public:
    static constexpr std::uint8_t kPaddingMarker = 0xA5;

    HostWorld(int width, int height, int extraRowBytes = -1);

    HostWorld(const HostWorld&) = delete;
    HostWorld& operator=(const HostWorld&) = delete;

    PF_LayerDef& def() { return def_; }
    int width() const { return def_.width; }
    int height() const { return def_.height; }
    int rowbytes() const { return def_.rowbytes; }

    std::uint8_t* row(int y) { return storage_.get() + static_cast<std::size_t>(y) * def_.rowbytes; }
    const std::uint8_t* row(int y) const { return storage_.get() + static_cast<std::size_t>(y) * def_.rowbytes; }

    // Straight RGBA rows (width × 4 bytes each) in and out of the host's order.
    void setFromRgba(const std::uint8_t* rgba);
    void copyToRgba(std::uint8_t* rgba) const;
    void fill(std::uint8_t value);

    // Whether every padding byte still holds the marker.
    bool paddingIntact() const;

private:
    PF_LayerDef def_{};
    // Written once, row by row, as it is made (pixels zero, padding the marker):
    // a vector would fill it a first time before that.
    std::unique_ptr<std::uint8_t[]> storage_;
    std::size_t size_ = 0;
};

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
