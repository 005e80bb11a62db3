#pragma once

#include <cstdint>
#include <vector>

#include "common/Rect.h"
#include "common/TexelRect.h"
#include "common/Vec2.h"
#include "common/Vec2i.h"
#include "renderer/RenderSettings.h"

namespace Tamrin {
namespace Solvane {

// The geometry of one frame's light shafts, worked out from the settings and the
// layer size without touching OpenGL. Lengths with "downscaled" are in texels of
// the ray textures, that is layer pixels divided by the quality factor.
//
// The ray box is the layer grown to contain the centre, but never further than
// the rays can read: texels beyond that margin cannot change any output pixel,
// so a far centre keeps the textures at a bounded size. The margin of each axis
// is the reach of the reads times that axis's share in the rays' directions.
// Only whole texels are dropped, so the kept ones sit exactly where they sat in
// the full box.
struct RayGeometry {
    Rect box;           // the ray box in layer pixels
    Vec2 boxSize;       // box size / factor, downscaled, not rounded
    Vec2 offset;        // the layer's top-left corner inside the downscaled box
    Vec2 radialCenter;  // the centre snapped to a downscaled pixel's middle, downscaled layer coordinates
    Vec2 chainCenter;   // radialCenter in downscaled box coordinates (may lie outside a bounded box)
    double factor = 1.0; // quality factor: 1, 2 or 3
    Vec2i textureSize;  // ceil(boxSize): texels of the ray textures

    // The composite's "offset" and "sSize": the composite maps the unrounded box
    // size onto the texture, and a bounded box keeps the mapping of the full one.
    // Equal to offset and boxSize when nothing was cut off.
    Vec2 sampleOffset;
    Vec2 sampleSize;
    bool bounded = false; // true when the full box was cut down

    // Where the ray passes draw: rectangles of the ray textures, one per band of
    // rows, that hold every texel the output depends on; empty when that is the
    // whole texture. Off a corner the reads fill a slanted band of the box, and
    // the texels beyond it are never read: the passes leave them as cleared.
    std::vector<TexelRect> drawRects;
};

// The distance the pass chain sums over, in layer pixels.
constexpr double kRayReachPixels = 2048.0;

// A centre further than this from the layer's middle is pulled in along the same
// direction: the rays across the layer are then parallel to within a few
// billionths of a radian, and the shaders' float arithmetic stays finite.
constexpr double kFarthestCenter = 1.0e9;

// The quality factor of the settings: quality 0, 1, 2 give 1, 2, 3 (out-of-range
// values are held to that range).
std::int32_t qualityFactorOf(const RenderSettings& settings);

// The number of doubling levels that sum `reach` texels: the smallest k >= 1 with
// 2^k >= reach, at most 11.
std::int32_t doublingLevels(double reach);

// How far, in downscaled texels along either axis, the reads that can change an
// output pixel reach from the layer towards the centre, whatever the rays'
// directions.
double rayReadMargin(std::int32_t factor, double shineLength);

// The same reach for each axis, for rays towards `radialCenter` (downscaled layer
// coordinates) from a layer of `layerSize` downscaled pixels: never more than
// rayReadMargin, and less on an axis that the rays cross at a slant.
Vec2 rayBoxMargins(std::int32_t factor, double shineLength, Vec2 radialCenter, Vec2 layerSize);

RayGeometry computeRayGeometry(const RenderSettings& settings, Vec2 frameSize);

// The rows of the ray textures that one of the geometry's draw rectangles takes
// at most: the band of rows whose columns it bounds together.
constexpr std::int32_t kDrawRectRows = 64;

// The geometry with the box grown by the given margins (downscaled texels beyond
// the layer on each axis) instead of rayBoxMargins: for comparing bounds.
RayGeometry computeRayGeometry(const RenderSettings& settings, Vec2 frameSize, Vec2 margins);

} // namespace Solvane
} // namespace Tamrin
