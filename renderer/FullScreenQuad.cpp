#include "renderer/FullScreenQuad.h"

#include <glbinding/gl/gl.h>

#include "ShaderSources.h"
#include "gpu/OpenglShader.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

FullScreenQuad::~FullScreenQuad()
{
    release();
}

void FullScreenQuad::generateVertexArray()
{
    GLuint name = 0;
    glGenVertexArrays(1, &name);
    vertexArray.set(name);
}

void FullScreenQuad::fillBuffer()
{
    if (vertexBuffer != 0) {
        return;
    }
    glGenBuffers(1, &vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kFullScreenQuad), kFullScreenQuad, GL_STATIC_DRAW);
}

void FullScreenQuad::make()
{
    if (vertexArray.get() != 0) {
        return;
    }
    generateVertexArray();
    glBindVertexArray(vertexArray.get());
    fillBuffer();
}

void FullScreenQuad::makeUnbound()
{
    if (vertexArray.get() == 0) {
        generateVertexArray();
    }
    fillBuffer();
}

void FullScreenQuad::bind() const
{
    glBindVertexArray(vertexArray.get());
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
}

void FullScreenQuad::unbind()
{
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void FullScreenQuad::release()
{
    vertexArray.release();
    if (vertexBuffer != 0) {
        glDeleteBuffers(1, &vertexBuffer);
        vertexBuffer = 0;
    }
}

std::unique_ptr<OpenglShader> makePassProgram(const char* fragmentSource)
{
    auto program = std::make_unique<OpenglShader>(Shaders::passthrough_vert, fragmentSource);
    program->bindAttribLocation("position", 0);
    program->bindAttribLocation("input_uv", 1);
    return program;
}

void drawPass(OpenglShader& program, const std::function<void(OpenglShader&)>& setUniforms)
{
    drawPass(program, setUniforms, {});
}

void drawPass(OpenglShader& program, const std::function<void(OpenglShader&)>& setUniforms,
              const std::vector<TexelRect>& within)
{
    program.setAttribPointer3f(0, 0, kVertexStride);
    program.setAttribPointer2f(1, kUvOffset, kVertexStride);
    setUniforms(program);
    if (within.empty()) {
        glDrawArrays(GL_TRIANGLES, 0, 6);
    } else {
        glEnable(GL_SCISSOR_TEST);
        for (const TexelRect& rect : within) {
            glScissor(rect.x, rect.y, rect.width, rect.height);
            glDrawArrays(GL_TRIANGLES, 0, 6);
        }
        glDisable(GL_SCISSOR_TEST);
    }
    program.disableAttrib(0);
    program.disableAttrib(1);
}

} // namespace Solvane
} // namespace Tamrin
