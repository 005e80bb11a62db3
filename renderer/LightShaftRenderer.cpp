#include "renderer/LightShaftRenderer.h"

#include <glbinding/gl/gl.h>

#include <algorithm>
#include <cmath>

#include "ShaderSources.h"
#include "renderer/FullScreenQuad.h"
#include "gpu/OpenglShader.h"
#include "renderer/LightShaftPassChain.h"
#include "renderer/RayGeometry.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

namespace {


// The prefilter's smoothstep needs a ramp of some width; the settings keep the
// smoothness at 0.01 or more, and values from elsewhere are held to that too.
Vec2 prefilterThresholds(const RenderSettings& settings)
{
    const auto fraction = [](double value, double lowest, double fallback) {
        return std::isnan(value) ? fallback : std::clamp(value, lowest, 1.0);
    };
    return Vec2(fraction(settings.threshold, 0.0, 0.0), fraction(settings.thresholdSmooth, 0.01, 0.01));
}

} // namespace

LightShaftRenderer::LightShaftRenderer()
{
    settings.center = Vec2(0.0, 0.0);
    passChain = new LightShaftPassChain();
    compositeProgram = new OpenglShader(Shaders::passthrough_vert, Shaders::composite_frag);
    compositeProgram->bindAttribLocation("position", 0);
    compositeProgram->bindAttribLocation("input_uv", 1);
}

LightShaftRenderer::~LightShaftRenderer()
{
    delete passChain;
    delete compositeProgram;
    vertexArray.release();
    if (vertexBuffer != 0) {
        glDeleteBuffers(1, &vertexBuffer);
    }
}

void LightShaftRenderer::render(GLuint videoTexture, Vec2 frameSize)
{
    // Vertex arrays are not shared between contexts: each context that draws gets
    // its own, recording the attributes of the one shared quad buffer.
    if (vertexArray.get() == 0) {
        GLuint name = 0;
        glGenVertexArrays(1, &name);
        vertexArray.set(name);
    }
    if (vertexBuffer == 0) {
        glGenBuffers(1, &vertexBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof(kFullScreenQuad), kFullScreenQuad, GL_STATIC_DRAW);
    }

    const RayGeometry geometry = computeRayGeometry(settings, frameSize);
    const auto factor = static_cast<std::int32_t>(geometry.factor);
    passChain->run(videoTexture, frameSize, geometry.boxSize, geometry.offset, geometry.chainCenter, kRayReachPixels,
                   prefilterThresholds(settings), factor);

    glBindVertexArray(vertexArray.get());
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    compositeProgram->use();
    compositeProgram->setAttribPointer3f(0, 0, kVertexStride);
    compositeProgram->setAttribPointer2f(1, kUvOffset, kVertexStride);

    compositeProgram->setTexture("videoTexture", GL_TEXTURE_2D, videoTexture, 0);
    compositeProgram->setTexture("shadowTexture", GL_TEXTURE_2D, passChain->result(), 1);
    compositeProgram->setUniform2f("offset", geometry.sampleOffset);
    compositeProgram->setUniform2f("sSize", geometry.sampleSize);
    compositeProgram->setUniform2f("radialCenter", geometry.radialCenter);
    compositeProgram->setUniform1f("shadowLength", static_cast<float>(settings.shineLength / geometry.factor));
    compositeProgram->setUniform1f("exposure", static_cast<float>(settings.exposure));
    compositeProgram->setUniform1f("step", static_cast<float>(1.0 / geometry.factor));
    compositeProgram->setUniform1f("shadowOnly", settings.rayOnly ? 1.0f : 0.0f);

    glDrawArrays(GL_TRIANGLES, 0, 6);
    compositeProgram->disableAttrib(0);
    compositeProgram->disableAttrib(1);
}

} // namespace Solvane
} // namespace Tamrin
