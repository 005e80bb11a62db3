#include "renderer/FrameSequence.h"

#include <glbinding/gl/gl.h>

#include <algorithm>
#include <cstdint>

#include "common/Vec2.h"
#include "gpu/OpenglRenderTarget.h"
#include "renderer/ChannelOrderPass.h"
#include "renderer/LightShaftRenderer.h"
#include "renderer/PixelTransfer.h"
#include "renderer/RayGeometry.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

namespace {

constexpr int kBadParameter = PF_Err_BAD_CALLBACK_PARAM;
constexpr int kOutOfMemory = PF_Err_OUT_OF_MEMORY;

// OpenGL fails silently, and leaves garbage, for surfaces beyond its limits. Frames
// that would need one are refused before anything is drawn or written.
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
}

void drainErrors()
{
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

// Whether OpenGL ran out of memory for one of the frame's surfaces since the last
// drain; its contents would be undefined.
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

    OpenglRenderTarget& target = OpenglRenderTarget::instance();
    target.setConversionPassMaker(makeChannelOrderPass);
    target.resize(width, height, false);
    target.bind(false, false);

    GLuint frameTexture =
        uploadWorld(WorldFormat::Argb8, input, in_data, bytesPerPixel, pixelType, multiplier, false);
    stepDone(FrameStep::Upload);
    renderer.render(frameTexture, Vec2(width, height));
    glDeleteTextures(1, &frameTexture);
    stepDone(FrameStep::Render);
    target.finishFrame(multiplier);
    stepDone(FrameStep::Finish);

    if (ranOutOfMemory()) {
        throw kOutOfMemory;
    }
    readbackWorld(width, height, input, output, in_data, WorldFormat::Argb8, bytesPerPixel, pixelType);
    stepDone(FrameStep::Readback);
}

} // namespace Solvane
} // namespace Tamrin
