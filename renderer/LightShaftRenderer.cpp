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
    : passChain(std::make_unique<LightShaftPassChain>())
{
    settings.center = Vec2(0.0, 0.0);
    compositeProgram = makePassProgram(Shaders::composite_frag);
}

LightShaftRenderer::~LightShaftRenderer() = default;

void LightShaftRenderer::render(GLuint videoTexture, Vec2 frameSize)
{
    render(videoTexture, frameSize, computeRayGeometry(settings, frameSize));
}

void LightShaftRenderer::render(GLuint videoTexture, Vec2 frameSize, const RayGeometry& geometry)
{
    // Vertex arrays are not shared between contexts: each context that draws gets
    // its own, recording the attributes of the one shared quad buffer.
    quad.makeUnbound();

    const auto factor = static_cast<std::int32_t>(geometry.factor);
    passChain->run(videoTexture, frameSize, geometry.boxSize, geometry.offset, geometry.chainCenter, kRayReachPixels,
                   prefilterThresholds(settings), factor, geometry.drawRects);

    quad.bind();
    compositeProgram->use();
    drawPass(*compositeProgram, [&](OpenglShader& program) {
        program.setTexture("videoTexture", GL_TEXTURE_2D, videoTexture, 0);
        program.setTexture("shadowTexture", GL_TEXTURE_2D, passChain->result(), 1);
        program.setUniform2f("offset", geometry.sampleOffset);
        program.setUniform2f("sSize", geometry.sampleSize);
        program.setUniform2f("radialCenter", geometry.radialCenter);
        program.setUniform1f("shadowLength", static_cast<float>(settings.shineLength / geometry.factor));
        program.setUniform1f("exposure", static_cast<float>(settings.exposure));
        program.setUniform1f("step", static_cast<float>(1.0 / geometry.factor));
        program.setUniform1f("shadowOnly", settings.rayOnly ? 1.0f : 0.0f);
    });
}

} // namespace Solvane
} // namespace Tamrin
