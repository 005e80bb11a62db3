#pragma once

#include <glbinding/gl/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/TexelRect.h"
#include "gpu/PerContextName.h"

namespace Tamrin {
namespace Solvane {

class OpenglShader;

// The vertex data of every pass: two triangles covering clip space, five floats
// per vertex (x, y, z, u, v), with u and v running from 0 to 1 across it.
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

// One pass's copy of the full-screen quad: its vertex array in each context that
// draws it (vertex arrays are not shared between contexts) and its array buffer
// (shared). Made at the first draw, deleted by the destructor or release().
class FullScreenQuad {
public:
    FullScreenQuad() = default;
    ~FullScreenQuad();

    FullScreenQuad(const FullScreenQuad&) = delete;
    FullScreenQuad& operator=(const FullScreenQuad&) = delete;

    // On the current context's first draw: its vertex array, bound, and with it,
    // once, the buffer, bound and filled. Does nothing when both exist.
    void make();
    // The composite's order: the current context's vertex array generated without
    // binding it, and, once, the buffer, bound and filled.
    void makeUnbound();
    // Binds the current context's vertex array and the buffer.
    void bind() const;
    // Binds neither.
    static void unbind();
    // Deletes the vertex arrays and the buffer.
    void release();

    gl::GLuint vertexArrayName() const { return vertexArray.get(); }
    gl::GLuint bufferName() const { return vertexBuffer; }

private:
    void generateVertexArray();
    void fillBuffer();

    PerContextName vertexArray{PerContextName::Kind::VertexArray};
    gl::GLuint vertexBuffer = 0;
};

// A pass's program: the pass-through vertex shader and the pass's fragment shader,
// with "position" bound to attribute 0 and "input_uv" to attribute 1.
std::unique_ptr<OpenglShader> makePassProgram(const char* fragmentSource);

// A pass's draw with its program in use and its quad bound: the two attribute
// pointers, the pass's uniforms, the draw of the six vertices, and the two
// attribute arrays disabled again.
void drawPass(OpenglShader& program, const std::function<void(OpenglShader&)>& setUniforms);

// The same draw limited to the given rectangles of the bound framebuffer: the quad
// drawn once for each, through the scissor test, which is off again afterwards.
// No rectangles: the whole framebuffer, as drawPass. The fragments drawn are
// those of the whole quad, computed alike; the rest keep what they held.
void drawPass(OpenglShader& program, const std::function<void(OpenglShader&)>& setUniforms,
              const std::vector<TexelRect>& within);

} // namespace Solvane
} // namespace Tamrin
