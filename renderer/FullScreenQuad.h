#pragma once

#include <glbinding/gl/types.h>

#include <cstdint>

#include "gpu/PerContextName.h"

namespace Tamrin {
namespace Solvane {

// The vertex data of every pass: two triangles covering clip space, five floats
// per vertex (x, y, z, u, v), with u and v running from 0 to 1 across it. Each
// drawing object uploads its own copy into an array buffer it owns.
constexpr float kFullScreenQuad[30] = {
    1.0f,  -1.0f, 0.0f, 1.0f, 0.0f, //
    1.0f,  1.0f,  0.0f, 1.0f, 1.0f, //
    -1.0f, 1.0f,  0.0f, 0.0f, 1.0f, //
    -1.0f, 1.0f,  0.0f, 0.0f, 1.0f, //
    -1.0f, -1.0f, 0.0f, 0.0f, 0.0f, //
    1.0f,  -1.0f, 0.0f, 1.0f, 0.0f, //
};

constexpr int kVertexStride = 5 * sizeof(float);        // bytes from one vertex to the next
constexpr std::uint64_t kUvOffset = 3 * sizeof(float);  // "input_uv" after the 3-float "position"

// Makes the current context's vertex array on its first draw there (vertex arrays
// are not shared between contexts), binding it, and with it, once, the owner's
// shared quad buffer, bound and filled. Does nothing when both exist.
void makeQuadObjects(PerContextName& vertexArray, gl::GLuint& vertexBuffer);

} // namespace Solvane
} // namespace Tamrin
