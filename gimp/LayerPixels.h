#pragma once

#include <cstddef>
#include <cstdint>

#include "standin/HostWorld.h"

namespace Tamrin {
namespace Solvane {
namespace Gimp {

// The moves of a layer's pixels between GIMP's rows and the host's world, with no
// GIMP calls: GIMP hands the plug-in rows of 8-bit red, green, blue (and alpha,
// `channels` 4, or none, 3) that it converted from the layer's own precision, and
// takes back rows at that precision.

// Rows of `channels` bytes a pixel into the world (alpha, red, green, blue); a layer
// without alpha is opaque.
void rowsToWorld(const std::uint8_t* rows, int channels, StandIn::HostWorld& world);

// The world's pixels as rows of `channels` bytes a pixel (alpha dropped for 3).
void worldToRows(const StandIn::HostWorld& world, int channels, std::uint8_t* rows);

// Pixels the effect left as they were in 8 bits keep the layer's own pixel: `result`
// (pixels of `nativeBytes` each, at the layer's precision) takes the pixel of
// `original` wherever `out8` equals `in8` (pixels of `channels` bytes). So a 16-bit
// or floating-point layer loses no precision, and no value beyond the 8-bit range,
// where the shafts add nothing. Returns how many pixels were kept.
std::size_t keepUnchangedPixels(const std::uint8_t* in8, const std::uint8_t* out8, int channels,
                                const std::uint8_t* original, std::uint8_t* result, int nativeBytes,
                                std::size_t pixelCount);

// The preview: the shafts of a reduced copy of the whole layer (the plug-in's Ray Only
// result for it: `reducedWidth` × `reducedHeight` pixels of red, green, blue, alpha,
// the copy being the layer scaled by `scale`) brought to a part of the layer at full
// size, `view` (pw × ph pixels of `channels` bytes, at (px, py) in layer pixels). Each
// view pixel takes the shafts at its place, bilinearly, and they are screened over it
// as the effect composes them (with Ray Only, they replace it).
void screenReducedShafts(const std::uint8_t* shafts, int reducedWidth, int reducedHeight, double scale, bool rayOnly,
                         std::uint8_t* view, int channels, int px, int py, int pw, int ph);

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
