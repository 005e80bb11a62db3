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

LightShaftPassChain::LightShaftPassChain()
    : prefilterProgram(makePassProgram(Shaders::prefilter_frag)),
      accumulateProgram(makePassProgram(Shaders::accumulate_frag))
{
}

LightShaftPassChain::~LightShaftPassChain()
{
    quad.release();
    if (textures[0] != 0) {
        glDeleteTextures(1, &textures[0]);
    }
    if (textures[1] != 0) {
        glDeleteTextures(1, &textures[1]);
    }
    prefilterProgram.reset();
    accumulateProgram.reset();
}

GLuint LightShaftPassChain::result() const
{
    return textures[1 - current];
}

void LightShaftPassChain::run(GLuint sourceTexture, Vec2 frameSize, Vec2 boxSize, Vec2 offset, Vec2 center,
                              double reachPixels, Vec2 thresholds, std::int32_t qualityFactor,
                              const std::vector<TexelRect>& drawRects)
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

    quad.make();
    quad.bind();

    target.renderToTexture(textures[current], viewSize, 0);
    prefilterProgram->use();
    drawPass(*prefilterProgram, [&](OpenglShader& program) {
        program.setUniform2f("srcSize", srcSize);
        program.setUniform2f("offset", offset);
        program.setUniform1f("threshold", static_cast<float>(thresholds.x));
        program.setUniform1f("thresholdSmooth", static_cast<float>(thresholds.y));
        program.setTexture("sourceTexture", GL_TEXTURE_2D, sourceTexture, 0);
    }, drawRects);
    target.endRenderToTexture();
    current = 1 - current;

    for (std::int32_t level = 0; level <= maxLevel; ++level) {
        target.renderToTexture(textures[current], viewSize, 0);
        accumulateProgram->use();
        drawPass(*accumulateProgram, [&](OpenglShader& program) {
            program.setUniform1f("level", static_cast<float>(level));
            program.setUniform1f("maxLevel", static_cast<float>(maxLevel));
            program.setUniform2f("viewSize", viewSize);
            program.setUniform2f("center", center);
            program.setTexture("t0", GL_TEXTURE_2D, textures[1 - current], 0);
        }, drawRects);
        target.endRenderToTexture();
        current = 1 - current;
    }

    FullScreenQuad::unbind();
}

} // namespace Solvane
} // namespace Tamrin
