#include "renderer/FrameSequence.h"

#include <glbinding/gl/gl.h>

#include <algorithm>
#include <cstdint>
#include <new>

#include "common/Vec2.h"
#include "gpu/OpenglRenderTarget.h"
#include "gpu/OpenglShader.h"
#include "renderer/ChannelOrderPass.h"
#include "renderer/LightShaftRenderer.h"
#include "renderer/PixelTransfer.h"
#include "renderer/RayGeometry.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

namespace {

constexpr int kBadParameter = PF_Err_BAD_CALLBACK_PARAM;

// Whether the driver would store a float (RGBA32F) texture of this size: asked of
// the proxy texture, which allocates nothing. Drivers refuse sizes within the
// side limits when the bytes are too many (llvmpipe: about 1.5 GiB per surface).
bool floatSurfaceFits(GLsizei width, GLsizei height)
{
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), width, height, 0, GL_RGBA, GL_FLOAT,
                 nullptr);
    GLint storedWidth = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &storedWidth);
    return storedWidth != 0;
}

// OpenGL fails silently, and leaves garbage, for surfaces beyond its limits. Frames
// that would need one are refused before anything is drawn or written: 516 beyond
// the side limits, the host's out-of-memory code for surfaces the driver will not
// store.
void checkLimits(int width, int height, const RenderSettings& settings)
{
    GLint maxTexture = 0;
    GLint maxRenderbuffer = 0;
    GLint maxViewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);

    const int maxWidth = std::min({maxTexture, maxRenderbuffer, maxViewport[0]});
    const int maxHeight = std::min({maxTexture, maxRenderbuffer, maxViewport[1]});
    if (width > maxWidth || height > maxHeight) {
        throw kBadParameter;
    }
    const RayGeometry geometry = computeRayGeometry(settings, Vec2(width, height));
    if (geometry.textureSize.x > std::min(maxTexture, maxViewport[0]) ||
        geometry.textureSize.y > std::min(maxTexture, maxViewport[1])) {
        throw kBadParameter;
    }
    if (!floatSurfaceFits(width, height) || !floatSurfaceFits(geometry.textureSize.x, geometry.textureSize.y)) {
        throw std::bad_alloc();
    }
}

void drainErrors()
{
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

// Whether OpenGL ran out of memory for one of the frame's surfaces since the last
// drain; its contents would be undefined. OpenGL keeps only the first error until it
// is read, so this is asked after each step.
bool ranOutOfMemory()
{
    bool outOfMemory = false;
    for (int i = 0; i < 16; ++i) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) {
            break;
        }
        outOfMemory = outOfMemory || error == GL_OUT_OF_MEMORY;
    }
    return outOfMemory;
}

} // namespace

void runFrameSequence(LightShaftRenderer& renderer, PF_InData* in_data, PF_LayerDef* input, PF_LayerDef* output,
                      const std::function<void(FrameStep)>& afterStep)
{
    const auto stepDone = [&afterStep](FrameStep step) {
        if (afterStep) {
            afterStep(step);
        }
    };
    const int width = input->width;
    const int height = input->height;
    checkLimits(width, height, renderer.settings);
    drainErrors();

    std::uint64_t bytesPerPixel = 4;
    GLenum pixelType = GL_UNSIGNED_BYTE;
    float multiplier = 1.0f;
    const std::uint64_t failedBuildsBefore = OpenglShader::failedBuilds();

    OpenglRenderTarget& target = OpenglRenderTarget::instance();
    target.setConversionPassMaker(makeChannelOrderPass);
    target.resize(width, height, false);
    target.bind(false, false);
    // bind() selects the draw buffer before its layer's framebuffer is bound, which
    // OpenGL answers with an error of no consequence; it must not hide a later one.
    drainErrors();

    // Every step runs, so that the frame's objects are let go of as always; a frame
    // with a surface left without storage is refused only before its read-back.
    GLuint frameTexture =
        uploadWorld(WorldFormat::Argb8, input, in_data, bytesPerPixel, pixelType, multiplier, false);
    bool outOfMemory = ranOutOfMemory();
    stepDone(FrameStep::Upload);
    renderer.render(frameTexture, Vec2(width, height));
    glDeleteTextures(1, &frameTexture);
    stepDone(FrameStep::Render);
    outOfMemory = ranOutOfMemory() || outOfMemory;
    target.finishFrame(multiplier);
    stepDone(FrameStep::Finish);
    outOfMemory = ranOutOfMemory() || outOfMemory;

    if (outOfMemory) {
        throw std::bad_alloc();
    }
    // A program that did not compile or link drew nothing, and a framebuffer without
    // storage holds nothing: the read-back would be a blank frame.
    if (OpenglShader::failedBuilds() != failedBuildsBefore ||
        glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        throw kBadParameter;
    }
    readbackWorld(width, height, input, output, in_data, WorldFormat::Argb8, bytesPerPixel, pixelType);
    stepDone(FrameStep::Readback);
}

} // namespace Solvane
} // namespace Tamrin
