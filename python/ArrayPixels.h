#pragma once

#include <cstddef>
#include <cstdint>

#include "standin/HostWorld.h"

namespace Tamrin {
namespace Solvane {
namespace Python {

// The sample types the module takes: numpy's uint8, uint16 and float32 (0 to 1).
enum class SampleType { UInt8, UInt16, Float32 };

std::size_t sampleBytes(SampleType type);

// One image of packed rows: `channels` samples a pixel (4: red, green, blue, alpha; 3: red, green, blue), pixels
// and rows with no gaps. No Python: the module hands in numpy's buffers.
struct PackedImage {
    const void* pixels = nullptr;
    SampleType type = SampleType::UInt8;
    int width = 0;
    int height = 0;
    int channels = 4;
};

// A sample at 8 bits as `solvane render` reads a file of that precision: 16-bit values rounded as libpng's
// reduction does, floats rounded from 0 to 1 (values beyond it held at its ends, one that is not a number as 0).
std::uint8_t levelFromUInt16(std::uint16_t value);
std::uint8_t levelFromFloat(float value);

// The image into the world, in the host's order (alpha, red, green, blue); an image without alpha is opaque.
void imageToWorld(const PackedImage& image, StandIn::HostWorld& world);

// The rendered world into `result` (packed like `original`, which may be the very same buffer): where the frame's
// 8-bit pixel is what went in (`input`), the original pixel is kept as it was, so that 16-bit and float images lose
// no precision, and no value beyond 0 to 1, where the shafts add nothing; elsewhere the rendered level, at the
// image's precision (v × 257 for 16 bits, v / 255 for floats). Returns how many pixels were kept.
std::size_t worldToImage(const StandIn::HostWorld& input, const StandIn::HostWorld& output, const PackedImage& original,
                         void* result);

} // namespace Python
} // namespace Solvane
} // namespace Tamrin
