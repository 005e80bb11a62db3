#include "host/RenderCommand.h"

#include <glbinding/gl/gl.h>

#include <algorithm>
#include <cstdint>

#include "common/Vec2.h"
#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextRegistry.h"
#include "glcontext/CurrentContextGuard.h"
#include "gpu/OpenglRenderTarget.h"
#include "gpu/PerContextName.h"
#include "host/Parameters.h"
#include "host/PluginState.h"
#include "renderer/LightShaftRenderer.h"
#include "renderer/PixelTransfer.h"
#include "renderer/RayGeometry.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

namespace {

constexpr int kBadParameter = PF_Err_BAD_CALLBACK_PARAM;
constexpr int kOutOfMemory = PF_Err_OUT_OF_MEMORY;

// A world the plug-in may read or write whole: every row holds its pixels.
bool usableWorld(const PF_LayerDef* world)
{
    return world != nullptr && world->width >= 0 && world->height >= 0 &&
           static_cast<std::int64_t>(world->rowbytes) >= static_cast<std::int64_t>(world->width) * 4;
}

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

void openglSetUp()
{
    CurrentContextGuard guard;
    setUpSharedContext();
    guard.restore();
}

void openglSetDown()
{
    CurrentContextGuard guard;
    // Objects are deleted with a plug-in context current. Without a shared context
    // (its creation failed at set-up) the thread's own context serves.
    AEOpenGLContext* context = sharedContext();
    if (context == nullptr) {
        context = contextForThisThread();
    }
    if (context != nullptr) {
        context->makeCurrent();
        PerContextName::flushPendingDeletes();
    }
    OpenglRenderTarget::instance().release();
    delete gRenderer;
    gRenderer = nullptr;
    tearDownContexts();
    // The contexts took their vertex arrays and framebuffers with them.
    PerContextName::forgetAllPending();
    guard.restore();
}

void renderFrame(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output)
{
    if (in_data == nullptr || params == nullptr || params[0] == nullptr || !usableWorld(&params[0]->u.ld) ||
        !usableWorld(output)) {
        throw kBadParameter;
    }
    PF_LayerDef* input = &params[0]->u.ld;
    const int width = input->width;
    const int height = input->height;
    if (width == 0 || height == 0) {
        return; // nothing to draw, nothing to write
    }

    std::uint64_t bytesPerPixel = 4;
    GLenum pixelType = GL_UNSIGNED_BYTE;
    float multiplier = 1.0f;

    CurrentContextGuard guard;
    AEOpenGLContext* context = contextForThisThread();
    if (context == nullptr) {
        throw kBadParameter;
    }
    context->makeCurrent();
    PerContextName::flushPendingDeletes();

    if (gRenderer == nullptr) {
        gRenderer = new LightShaftRenderer();
    }
    // The settings come first so that the ray box can be checked against the
    // limits before anything is made; they are read at the frame's time either way.
    readSettings(in_data, gRenderer->settings);
    checkLimits(width, height, gRenderer->settings);
    drainErrors();

    OpenglRenderTarget& target = OpenglRenderTarget::instance();
    target.resize(width, height, false);
    target.bind(false, false);

    GLuint frameTexture =
        uploadWorld(WorldFormat::Argb8, input, in_data, bytesPerPixel, pixelType, multiplier, false);
    gRenderer->render(frameTexture, Vec2(width, height));
    glDeleteTextures(1, &frameTexture);
    target.finishFrame(multiplier);

    if (ranOutOfMemory()) {
        throw kOutOfMemory;
    }
    readbackWorld(width, height, input, output, in_data, WorldFormat::Argb8, bytesPerPixel, pixelType);
    guard.restore();
}

} // namespace Solvane
} // namespace Tamrin
