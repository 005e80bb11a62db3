#include "renderer/ChannelOrderPass.h"

#include <glbinding/gl/gl.h>

#include "ShaderSources.h"
#include "renderer/FullScreenQuad.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

ChannelOrderPass::ChannelOrderPass(bool bgarOrder)
    : swizzleProgram(makePassProgram(bgarOrder ? Shaders::channel_bgar_frag : Shaders::channel_argb_frag))
{
}

ChannelOrderPass::~ChannelOrderPass() = default;

void ChannelOrderPass::draw(GLuint texture, float multiplier)
{
    quad.make();
    swizzleProgram->use();
    quad.bind();
    drawPass(*swizzleProgram, [&](OpenglShader& program) {
        program.setTexture("videoTexture", GL_TEXTURE_2D, texture, 0);
        program.setUniform1f("multiplier16bit", multiplier);
    });
    FullScreenQuad::unbind();
}

std::unique_ptr<ConversionPass> makeChannelOrderPass(bool multisampled)
{
    return std::make_unique<ChannelOrderPass>(multisampled);
}

} // namespace Solvane
} // namespace Tamrin
