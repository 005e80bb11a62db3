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

// The texels of a whole ray box that something depends on, as one span of
// columns per row (each row from its first such texel to its last, which may
// take in a few more). Texel coordinates are those of the whole box.
struct TexelSpans {
    int top = 0;
    std::vector<int> first; // per row from `top`; first > last: none in that row
    std::vector<int> last;

    explicit TexelSpans(int height = 0) : first(static_cast<std::size_t>(height), 1 << 30), last(first.size(), -1) {}

    void add(int x, int y);
    bool contains(int x, int y) const;
    bool empty() const;
    // The bounds of all spans: the smallest and largest column and row.
    int minColumn() const;
    int maxColumn() const;
    int minRow() const;
    int maxRow() const;
};

// The texels of the whole ray box that a frame's output depends on (the
// composite's bilinear reads, and every read of the doubling levels that those
// texels need, down to the prefilter), found by following the reads themselves
// back from every output pixel. Depends on the geometry alone, not the layer.
struct ReadRegion {
    Vec2 boxSize;     // the whole box, downscaled
    Vec2 offset;      // the layer in the whole box
    Vec2i textureSize;
    TexelSpans texels; // everything read, at any level
};
ReadRegion referenceReadRegion(int width, int height, const RenderSettings& settings);

// The output of referenceLightShafts for any centre, however far: the same
// arithmetic over the whole box, but only at the texels of referenceReadRegion,
// so a centre tens of thousands of pixels away costs no more than one nearby.
// `region`, when given, receives the texels read.
std::vector<std::uint8_t> referenceFarLightShafts(const std::vector<std::uint8_t>& argb, int width, int height,
                                                  const RenderSettings& settings, ReadRegion* region = nullptr);

// A layer with something for every branch of the effect, in the host's byte
// order: an opaque dark ground with a gradient, a white disc, a warm bar, a
// half-transparent bright patch, and a fully transparent corner whose colour is
// bright (it must not shine).
std::vector<std::uint8_t> makeTestLayer(int width, int height);

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
