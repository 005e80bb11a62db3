#include "renderer/ChannelOrderPass.h"

#include <glbinding/gl/gl.h>

#include "ShaderSources.h"
#include "renderer/FullScreenQuad.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

ChannelOrderPass::ChannelOrderPass(bool bgarOrder)
    : swizzleProgram(Shaders::passthrough_vert, bgarOrder ? Shaders::channel_bgar_frag : Shaders::channel_argb_frag)
{
    swizzleProgram.bindAttribLocation("position", 0);
    swizzleProgram.bindAttribLocation("input_uv", 1);
}

ChannelOrderPass::~ChannelOrderPass()
{
    vertexArray.release();
    if (vertexBuffer != 0) {
        glDeleteBuffers(1, &vertexBuffer);
    }
    // swizzleProgram, the last member, is destroyed next and deletes its program.
}

void ChannelOrderPass::draw(GLuint texture, float multiplier)
{
    makeQuadObjects(vertexArray, vertexBuffer);

    swizzleProgram.use();
    glBindVertexArray(vertexArray.get());
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    swizzleProgram.setAttribPointer3f(0, 0, kVertexStride);
    swizzleProgram.setAttribPointer2f(1, kUvOffset, kVertexStride);

    swizzleProgram.setTexture("videoTexture", GL_TEXTURE_2D, texture, 0);
    swizzleProgram.setUniform1f("multiplier16bit", multiplier);

    glDrawArrays(GL_TRIANGLES, 0, 6);
    swizzleProgram.disableAttrib(0);
    swizzleProgram.disableAttrib(1);

    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

std::unique_ptr<ConversionPass> makeChannelOrderPass(bool multisampled)
{
    return std::make_unique<ChannelOrderPass>(multisampled);
}

} // namespace Solvane
} // namespace Tamrin
