#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Vec2.h"
#include "common/Vec2i.h"
#include "renderer/RenderSettings.h"

namespace Tamrin {
namespace Solvane {
namespace Test {

// A float RGBA image: texel (x, y) at texels[(y × width + x) × 4], row 0 first.
struct FloatImage {
    int width = 0;
    int height = 0;
    std::vector<float> texels;

    FloatImage() = default;
    FloatImage(int w, int h) : width(w), height(h), texels(static_cast<std::size_t>(w) * h * 4, 0.0f) {}

    float* at(int x, int y) { return &texels[(static_cast<std::size_t>(y) * width + x) * 4]; }
    const float* at(int x, int y) const { return &texels[(static_cast<std::size_t>(y) * width + x) * 4]; }

    // A linear-filtered read at normalised coordinates with clamp-to-edge wrapping.
    std::array<double, 4> sample(double u, double v) const;
};

// The light shafts of one frame worked out on the CPU in double precision from
// the effect's definitions, over the whole ray box (the layer grown to the
// centre, however far), with float storage between the passes.
struct ReferenceFrame {
    double factor = 1.0;
    Vec2 boxSize;
    Vec2 offset;
    Vec2 radialCenter;
    Vec2 chainCenter;
    Vec2i textureSize;
    int maxLevel = 0;
    FloatImage prefiltered; // the bright parts, premultiplied and scaled by 0.001
    FloatImage raySums;     // the running sums along the rays after every level
    std::vector<std::uint8_t> argb; // the output in the host's byte order, width × 4 bytes a row
};

// `argb`: the layer in the host's byte order (alpha, red, green, blue), rows
// packed, `width` × `height` pixels.
ReferenceFrame referenceLightShafts(const std::vector<std::uint8_t>& argb, int width, int height,
                                    const RenderSettings& settings);

// The two halves of referenceLightShafts: the geometry, prefilter and ray sums
// (leaving `argb` empty), and the composite of those sums into `argb`. The
// composite's settings may differ from the sums' in shine length, exposure and
// output choice, which the sums do not depend on.
ReferenceFrame referenceRaySums(const std::vector<std::uint8_t>& argb, int width, int height,
                                const RenderSettings& settings);
void referenceComposite(ReferenceFrame& frame, const std::vector<std::uint8_t>& argb, int width, int height,
                        const RenderSettings& settings);

// A layer with something for every branch of the effect, in the host's byte
// order: an opaque dark ground with a gradient, a white disc, a warm bar, a
// half-transparent bright patch, and a fully transparent corner whose colour is
// bright (it must not shine).
std::vector<std::uint8_t> makeTestLayer(int width, int height);

// How far two images in the same byte layout lie apart.
struct ByteDifference {
    int largest = 0;         // the largest difference of any byte
    std::size_t over = 0;    // bytes that differ by more than the tolerance asked for
    double mean = 0.0;       // mean absolute difference over all bytes
    std::size_t firstOver = 0; // index of the first byte over the tolerance
};
ByteDifference compareBytes(const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& expected,
                            int tolerance);

// Writes the colour channels of a host-order image as a binary PPM, to look at
// when a comparison fails. Returns false when the file cannot be written.
bool writeArgbAsPpm(const std::string& path, const std::vector<std::uint8_t>& argb, int width, int height);

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
