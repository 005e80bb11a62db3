#include "renderer/RayGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

// The shine length the composite reads back, in layer pixels.
double shineReach(double shineLength)
{
    return std::isnan(shineLength) ? kRayReachPixels : std::clamp(shineLength, 0.0, kRayReachPixels);
}

// The reach of the reads from one output pixel, in downscaled texels (derived at
// rayBoxMargins): `along` straight towards the centre, `slip` off the line, and
// K = along + 2 slip, the furthest any read lands towards the centre.
struct ReadReach {
    double along;
    double slip;
    double k;
};

ReadReach readReachOf(std::int32_t factor, double shineLength)
{
    const std::int32_t levels = doublingLevels(std::ceil(kRayReachPixels / factor));
    ReadReach reach;
    reach.along = std::ldexp(1.0, levels) - 1.0 + (1.0 + shineReach(shineLength)) / factor;
    reach.slip = std::sqrt(2.0) * (levels + 2);
    reach.k = reach.along + 2.0 * reach.slip;
    return reach;
}

// The convex hull of a few points, anticlockwise (monotone chain).
std::vector<Vec2> convexHull(std::vector<Vec2> points)
{
    std::sort(points.begin(), points.end(),
              [](const Vec2& a, const Vec2& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    if (points.size() < 3) {
        return points;
    }
    const auto turn = [](const Vec2& o, const Vec2& a, const Vec2& b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    };
    std::vector<Vec2> hull(2 * points.size());
    std::size_t count = 0;
    for (const Vec2& p : points) {
        while (count >= 2 && turn(hull[count - 2], hull[count - 1], p) <= 0.0) {
            --count;
        }
        hull[count++] = p;
    }
    const std::size_t lower = count + 1;
    for (auto it = points.rbegin() + 1; it != points.rend(); ++it) {
        while (count >= lower && turn(hull[count - 2], hull[count - 1], *it) <= 0.0) {
            --count;
        }
        hull[count++] = *it;
    }
    hull.resize(count - 1);
    return hull;
}

// The least and greatest x of a convex polygon between two rows (y0 <= y <= y1):
// its vertices there and its edges' crossings of the two rows. False when the
// polygon does not reach between them.
bool columnsBetween(const std::vector<Vec2>& polygon, double y0, double y1, double& least, double& greatest)
{
    least = std::numeric_limits<double>::infinity();
    greatest = -least;
    const auto take = [&](double x) {
        least = std::min(least, x);
        greatest = std::max(greatest, x);
    };
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Vec2& a = polygon[i];
        const Vec2& b = polygon[(i + 1) % polygon.size()];
        if (a.y >= y0 && a.y <= y1) {
            take(a.x);
        }
        for (const double row : {y0, y1}) {
            if ((a.y < row && b.y > row) || (a.y > row && b.y < row)) {
                take(a.x + (b.x - a.x) * (row - a.y) / (b.y - a.y));
            }
        }
    }
    return least <= greatest;
}

// Every texel the output depends on lies within `slip` of a segment that runs from
// an output pixel P (or a layer pixel beside it, through the composite's outward
// sample) up to K towards the centre C, never past it. Such a move from P is the
// point (1 - t) P + t C with t <= K / |PC|, so with t running to
// T = min(1, K / d), d the layer's least distance to C, the moves of every pixel are
// taken in. For all P of the layer those points fill the hull of the layer and of
// its copy shrunk towards C by T; the hull of both grown by the slips and the
// outward sample holds every read. Its columns are bounded per band of
// kDrawRectRows rows.
std::vector<TexelRect> drawRectsOf(const RayGeometry& g, Vec2 layerSize, const ReadReach& reach)
{
    const double width = g.textureSize.x;
    // Two slips, the composite's sample one layer pixel outwards with its bilinear
    // footprint, and a texel for rounding.
    const double pad = 2.0 * reach.slip + 3.0;
    const double left = g.offset.x - pad;
    const double top = g.offset.y - pad;
    const double right = g.offset.x + layerSize.x + pad;
    const double bottom = g.offset.y + layerSize.y + pad;
    const Vec2 c = g.chainCenter;
    const double dx = std::max({left - c.x, 0.0, c.x - right});
    const double dy = std::max({top - c.y, 0.0, c.y - bottom});
    const double distance = std::hypot(dx, dy);
    const double t = distance > reach.k ? reach.k / distance : 1.0;

    std::vector<Vec2> corners;
    for (const double x : {left, right}) {
        for (const double y : {top, bottom}) {
            corners.push_back(Vec2(x, y));
            // The shrunk copy's corner, grown again by the pad that shrinking took off.
            const double sx = x + (c.x - x) * t;
            const double sy = y + (c.y - y) * t;
            const double grow = pad * t;
            corners.push_back(Vec2(sx + (x == left ? -grow : grow), sy + (y == top ? -grow : grow)));
        }
    }
    const std::vector<Vec2> band = convexHull(corners);

    std::vector<TexelRect> rects;
    for (std::int32_t y = 0; y < g.textureSize.y; y += kDrawRectRows) {
        const std::int32_t rows = std::min(kDrawRectRows, g.textureSize.y - y);
        double least = 0.0;
        double greatest = 0.0;
        if (!columnsBetween(band, y, y + rows, least, greatest)) {
            continue;
        }
        const auto first = static_cast<std::int32_t>(std::clamp(std::floor(least), 0.0, width));
        const auto end = static_cast<std::int32_t>(std::clamp(std::ceil(greatest), 0.0, width));
        if (end <= first) {
            continue;
        }
        const TexelRect strip{first, y, end - first, rows};
        if (!rects.empty() && rects.back().x == strip.x && rects.back().width == strip.width &&
            rects.back().y + rects.back().height == y) {
            rects.back().height += rows;
        } else {
            rects.push_back(strip);
        }
    }
    if (rects.size() == 1 && rects[0] == TexelRect{0, 0, g.textureSize.x, g.textureSize.y}) {
        rects.clear();
    }
    return rects;
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
    const double composite = (1.0 + shineReach(shineLength)) / factor + 2.0;
    // One texel more for rounding.
    return sums + composite + 1.0;
}

// Every texel that an output pixel depends on is reached from that pixel P by
// moves straight towards the centre C (the composite's inner sample and its read
// back along the shine, the sums' reads 2^j texels on), at most `along` texels in
// all, and by slips off the line: each bilinear footprint (under a texel on each
// axis, √2 across) and the composite's unrounded box size (under a texel on each
// axis), at most `slip` texels in all. A move towards C scales the point's offset
// from C, so it never takes the point further from the line through P and C, and
// brings it exactly its length nearer to C; a slip changes either by at most its
// length. So every read lies within `slip` of that line and at most along + 2 slip
// nearer to C than P along it: on an axis, at most K s(P) + slip beyond P towards
// C, with K = along + 2 slip and s(P) the share of that axis in P's direction to
// C. A read that passes C stays within 2 slip of it.
//
// Beyond the layer's edge on C's side that is K s(P) − u + slip for a pixel u
// from the edge. s(P) is largest on the layer's side nearest to C on the other
// axis, a distance h from C on that axis (0 when C lies level with the layer);
// along that side, with C a distance d beyond the edge, g(u) = K (d + u) /
// hypot(d + u, h) − u is concave, and peaks where hypot(d + u, h)^3 = K h^2. For a
// far centre the peak is at u = 0: the margin times the share of the layer's
// corner nearest to C. Add 2 slip and a texel for rounding. The whole margin holds
// for any direction (every move and slip spent on one axis), so the smaller of the
// two is taken; the box never extends beyond the centre either way.
Vec2 rayBoxMargins(std::int32_t factor, double shineLength, Vec2 radialCenter, Vec2 layerSize)
{
    const double whole = rayReadMargin(factor, shineLength);
    const ReadReach reads = readReachOf(factor, shineLength);
    const double slip = reads.slip;
    const double k = reads.k;

    const auto margin = [&](double centre, double layer, double otherCentre, double otherLayer) {
        const double d = centre < 0.0 ? -centre : centre - layer;
        const double h = otherCentre >= 0.0 && otherCentre <= otherLayer
                             ? 0.0
                             : std::min(std::fabs(otherCentre), std::fabs(otherCentre - otherLayer));
        if (!(d > 0.0) || !std::isfinite(d) || !std::isfinite(h)) {
            return whole;
        }
        const double peak = std::cbrt(k * h * h);
        const double u = peak > h ? std::clamp(std::sqrt(peak * peak - h * h) - d, 0.0, layer) : 0.0;
        const double reach = k * (d + u) / std::hypot(d + u, h) - u;
        return std::min(whole, reach + 2.0 * slip + 1.0);
    };
    return Vec2(margin(radialCenter.x, layerSize.x, radialCenter.y, layerSize.y),
                margin(radialCenter.y, layerSize.y, radialCenter.x, layerSize.x));
}

RayGeometry computeRayGeometry(const RenderSettings& settings, Vec2 frameSize)
{
    const std::int32_t factor = qualityFactorOf(settings);
    const Vec2 center = usableCenter(settings.center, frameSize);
    const Vec2 scaled = center / factor;
    const Vec2 radialCenter(std::floor(scaled.x) + 0.5, std::floor(scaled.y) + 0.5);
    return computeRayGeometry(settings, frameSize,
                              rayBoxMargins(factor, settings.shineLength, radialCenter, frameSize / factor));
}

RayGeometry computeRayGeometry(const RenderSettings& settings, Vec2 frameSize, Vec2 margins)
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

    const AxisSpan x = boundAxis(fullOffset.x, fullSize.x, layerSize.x, margins.x);
    const AxisSpan y = boundAxis(fullOffset.y, fullSize.y, layerSize.y, margins.y);

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
    g.drawRects = drawRectsOf(g, layerSize, readReachOf(factor, settings.shineLength));
    return g;
}

} // namespace Solvane
} // namespace Tamrin
