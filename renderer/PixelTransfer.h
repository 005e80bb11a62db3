#pragma once

#include <glbinding/gl/types.h>

#include <cstdint>

#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {

// Pixel layout of a host world. The one layout transferred is 8-bit alpha, red,
// green, blue; its code's bytes in memory read "argb".
enum class WorldFormat : std::uint32_t { Argb8 = 0x62677261 };

// Uploads the world into a new RGBA32F texture (host row 0 is texel row 0) and
// reports the transfer values of the format (bytes per pixel, pixel type, multiplier;
// kept on purpose, docs/architecture.md: the one format gives fixed values). The caller owns the texture.
// Throws 516 for a format other than Argb8.
gl::GLuint uploadWorld(WorldFormat format, PF_LayerDef* world, PF_InData* in_data, std::uint64_t& bytesPerPixel,
                       gl::GLenum& pixelType, float& multiplier, bool mipmapped);

// Reads (0, 0, width, height) of the framebuffer bound for reading through a host
// handle and copies it row by row into the output world. Throws 13 without the
// handle suite, 4 without a handle, 516 for a format other than Argb8; a failure
// leaves the output world unwritten.
void readbackWorld(int width, int height, PF_LayerDef* inputWorld, PF_LayerDef* outputWorld, PF_InData* in_data,
                   WorldFormat format, std::uint64_t bytesPerPixel, gl::GLenum pixelType);

} // namespace Solvane
} // namespace Tamrin
