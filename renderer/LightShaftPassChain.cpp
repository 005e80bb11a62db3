#include "renderer/LightShaftPassChain.h"

#include <glbinding/gl/gl.h>

#include <algorithm>
#include <cmath>

#include "ShaderSources.h"
#include "renderer/FullScreenQuad.h"
#include "gpu/OpenglRenderTarget.h"
#include "gpu/OpenglShader.h"
#include "renderer/RayGeometry.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

namespace {


OpenglShader* makeProgram(const char* fragmentSource)
{
    auto* program = new OpenglShader(Shaders::passthrough_vert, fragmentSource);
    program->bindAttribLocation("position", 0);
    program->bindAttribLocation("input_uv", 1);
    return program;
}

} // namespace

LightShaftPassChain::LightShaftPassChain()
    : prefilterProgram(makeProgram(Shaders::prefilter_frag)), accumulateProgram(makeProgram(Shaders::accumulate_frag))
{
}

LightShaftPassChain::~LightShaftPassChain()
{
    vertexArray.release();
    if (vertexBuffer != 0) {
        glDeleteBuffers(1, &vertexBuffer);
    }
    if (textures[0] != 0) {
        glDeleteTextures(1, &textures[0]);
    }
    if (textures[1] != 0) {
        glDeleteTextures(1, &textures[1]);
    }
    delete prefilterProgram;
    delete accumulateProgram;
}

GLuint LightShaftPassChain::result() const
{
    return textures[1 - current];
}

void LightShaftPassChain::run(GLuint sourceTexture, Vec2 frameSize, Vec2 boxSize, Vec2 offset, Vec2 center,
                              double reachPixels, Vec2 thresholds, std::int32_t qualityFactor)
{
    OpenglRenderTarget& target = OpenglRenderTarget::instance();

    factor = static_cast<std::int32_t>(std::clamp(static_cast<double>(qualityFactor), 1.0, 4.0));
    const Vec2 srcSize = frameSize / factor;
    const Vec2i size(static_cast<std::int32_t>(std::ceil(boxSize.x)), static_cast<std::int32_t>(std::ceil(boxSize.y)));
    const Vec2 viewSize(size.x, size.y);
    reach = std::ceil(reachPixels / qualityFactor);
    maxLevel = doublingLevels(reach);
    current = 0;

    if (size != textureSize || textures[0] == 0) {
        if (textures[0] != 0) {
            glDeleteTextures(2, textures);
        }
        textures[0] = target.createTexture(viewSize, true, false);
        textures[1] = target.createTexture(viewSize, true, false);
        textureSize = size;
    }

    makeQuadObjects(vertexArray, vertexBuffer);
    glBindVertexArray(vertexArray.get());
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);

    target.renderToTexture(textures[current], viewSize, 0);
    prefilterProgram->use();
    prefilterProgram->setAttribPointer3f(0, 0, kVertexStride);
    prefilterProgram->setAttribPointer2f(1, kUvOffset, kVertexStride);
    prefilterProgram->setUniform2f("srcSize", srcSize);
    prefilterProgram->setUniform2f("offset", offset);
    prefilterProgram->setUniform1f("threshold", static_cast<float>(thresholds.x));
    prefilterProgram->setUniform1f("thresholdSmooth", static_cast<float>(thresholds.y));
    prefilterProgram->setTexture("sourceTexture", GL_TEXTURE_2D, sourceTexture, 0);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    prefilterProgram->disableAttrib(0);
    prefilterProgram->disableAttrib(1);
    target.endRenderToTexture();
    current = 1 - current;

    for (std::int32_t level = 0; level <= maxLevel; ++level) {
        target.renderToTexture(textures[current], viewSize, 0);
        accumulateProgram->use();
        accumulateProgram->setAttribPointer3f(0, 0, kVertexStride);
        accumulateProgram->setAttribPointer2f(1, kUvOffset, kVertexStride);
        accumulateProgram->setUniform1f("level", static_cast<float>(level));
        accumulateProgram->setUniform1f("maxLevel", static_cast<float>(maxLevel));
        accumulateProgram->setUniform2f("viewSize", viewSize);
        accumulateProgram->setUniform2f("center", center);
        accumulateProgram->setTexture("t0", GL_TEXTURE_2D, textures[1 - current], 0);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        accumulateProgram->disableAttrib(0);
        accumulateProgram->disableAttrib(1);
        target.endRenderToTexture();
        current = 1 - current;
    }

    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

} // namespace Solvane
} // namespace Tamrin
