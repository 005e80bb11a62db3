#include "renderer/RayGeometry.h"

#include <algorithm>
#include <cmath>

namespace Tamrin {
namespace Solvane {

namespace {

constexpr std::int32_t kMostLevels = 11;

// The centre as the rays use it: finite, and no further than kFarthestCenter from
// the layer's middle (pulled in along its own direction from there).
Vec2 usableCenter(Vec2 center, Vec2 frameSize)
{
    const Vec2 middle(frameSize.x / 2.0, frameSize.y / 2.0);
    const auto finite = [](double value, double fallback) {
        if (std::isnan(value)) {
            return fallback;
        }
        return std::clamp(value, -1.0e30, 1.0e30);
    };
    const double dx = finite(center.x, middle.x) - middle.x;
    const double dy = finite(center.y, middle.y) - middle.y;
    const double distance = std::hypot(dx, dy);
    if (distance <= kFarthestCenter) {
        return Vec2(middle.x + dx, middle.y + dy);
    }
    const double scale = kFarthestCenter / distance;
    return Vec2(middle.x + dx * scale, middle.y + dy * scale);
}

// One axis of the box: `fullOffset` and `fullSize` place the layer in the full
// downscaled box, `layerSize` is the layer's downscaled extent.
struct AxisSpan {
    double dropped;
    double offset;
    double size;
    std::int32_t texels;
    double sampleOffset;
    double sampleSize;
    bool bounded;
};

AxisSpan boundAxis(double fullOffset, double fullSize, double layerSize, double margin)
{
    // Whole texels are dropped before the layer, so every kept texel keeps its
    // place relative to the layer and the centre.
    const double dropped = std::max(0.0, std::floor(fullOffset - margin));
    const double end = std::min(fullSize, fullOffset + layerSize + margin);

    AxisSpan span;
    span.dropped = dropped;
    span.offset = fullOffset - dropped;
    span.size = std::max(0.0, end - dropped);
    span.texels = static_cast<std::int32_t>(std::ceil(span.size));
    span.bounded = dropped > 0.0 || end < fullSize;
    if (!span.bounded) {
        span.sampleOffset = span.offset;
        span.sampleSize = span.size;
        return span;
    }
    // The composite reads texel (q + offset) × texels / size; these two keep that
    // texel where the full box's texture would have had it, less the dropped ones.
    const double fullTexels = std::ceil(fullSize);
    span.sampleSize = fullSize * span.texels / fullTexels;
    span.sampleOffset = fullOffset - dropped * fullSize / fullTexels;
    return span;
}

} // namespace

std::int32_t qualityFactorOf(const RenderSettings& settings)
{
    return std::clamp(settings.quality, 0, 2) + 1;
}

std::int32_t doublingLevels(double reach)
{
    std::int32_t levels = 1;
    double span = 2.0;
    while (!(span >= reach) && levels < kMostLevels) {
        ++levels;
        span *= 2.0;
    }
    return levels;
}

double rayReadMargin(std::int32_t factor, double shineLength)
{
    const std::int32_t levels = doublingLevels(std::ceil(kRayReachPixels / factor));
    // The sums at level j read 2^j texels towards the centre, with a bilinear
    // footprint of one texel more each: 2^levels − 1 + levels over all levels.
    const double sums = std::ldexp(1.0, levels) - 1.0 + levels;
    // The composite samples one layer pixel either side along the ray, reads back
    // up to the shine length, may land up to a texel off through its unrounded box
    // size, and reads bilinearly.
    const double shine = std::isnan(shineLength) ? kRayReachPixels : std::clamp(shineLength, 0.0, kRayReachPixels);
    const double composite = (1.0 + shine) / factor + 2.0;
    // One texel more for rounding.
    return sums + composite + 1.0;
}

RayGeometry computeRayGeometry(const RenderSettings& settings, Vec2 frameSize)
{
    RayGeometry g;
    const std::int32_t factor = qualityFactorOf(settings);
    g.factor = factor;
    const Vec2 center = usableCenter(settings.center, frameSize);

    Rect full(0.0, 0.0, frameSize.x, frameSize.y);
    full.unite(center);
    const Vec2 fullSize = full.size() / g.factor;
    const Vec2 fullOffset = Vec2(std::fabs(full.x), std::fabs(full.y)) / g.factor;
    const Vec2 layerSize = frameSize / g.factor;
    const double margin = rayReadMargin(factor, settings.shineLength);

    const AxisSpan x = boundAxis(fullOffset.x, fullSize.x, layerSize.x, margin);
    const AxisSpan y = boundAxis(fullOffset.y, fullSize.y, layerSize.y, margin);

    g.boxSize = Vec2(x.size, y.size);
    g.offset = Vec2(x.offset, y.offset);
    g.textureSize = Vec2i(x.texels, y.texels);
    g.sampleOffset = Vec2(x.sampleOffset, y.sampleOffset);
    g.sampleSize = Vec2(x.sampleSize, y.sampleSize);
    g.bounded = x.bounded || y.bounded;
    g.box = full;
    if (g.bounded) {
        g.box = Rect(full.x + x.dropped * g.factor, full.y + y.dropped * g.factor, x.size * g.factor,
                     y.size * g.factor);
    }

    const Vec2 scaled = center / g.factor;
    g.radialCenter = Vec2(std::floor(scaled.x) + 0.5, std::floor(scaled.y) + 0.5);
    g.chainCenter = g.radialCenter + g.offset;
    return g;
}

} // namespace Solvane
} // namespace Tamrin
