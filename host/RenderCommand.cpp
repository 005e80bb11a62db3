#include "host/RenderCommand.h"

#include <cstdint>

#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextRegistry.h"
#include "glcontext/CurrentContextGuard.h"
#include "gpu/OpenglRenderTarget.h"
#include "gpu/PerContextName.h"
#include "host/Parameters.h"
#include "host/PluginState.h"
#include "renderer/FrameSequence.h"
#include "renderer/LightShaftRenderer.h"

namespace Tamrin {
namespace Solvane {

namespace {

constexpr int kBadParameter = PF_Err_BAD_CALLBACK_PARAM;

// A world the plug-in may read or write whole: every row holds its pixels.
bool usableWorld(const PF_LayerDef* world)
{
    return world != nullptr && world->width >= 0 && world->height >= 0 &&
           static_cast<std::int64_t>(world->rowbytes) >= static_cast<std::int64_t>(world->width) * 4;
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
    PluginState::destroyRenderer();
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

    CurrentContextGuard guard;
    AEOpenGLContext* context = contextForThisThread();
    if (context == nullptr) {
        throw kBadParameter;
    }
    context->makeCurrent();
    PerContextName::flushPendingDeletes();

    LightShaftRenderer& renderer = PluginState::renderer();
    // The settings come first so that the ray box can be checked against the
    // limits before anything is made; they are read at the frame's time either way.
    readSettings(in_data, renderer.settings);
    runFrameSequence(renderer, in_data, input, output);
    guard.restore();
}

} // namespace Solvane
} // namespace Tamrin
