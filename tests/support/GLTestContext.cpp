#include "support/GLTestContext.h"

#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextRegistry.h"
#include "gpu/OpenglRenderTarget.h"
#include "renderer/ChannelOrderPass.h"

namespace Tamrin {
namespace Solvane {
namespace Test {

bool makeTestContextCurrent()
{
    try {
        if (sharedContext() == nullptr) {
            setUpSharedContext();
        }
        AEOpenGLContext* context = contextForThisThread();
        if (context == nullptr) {
            return false;
        }
        context->makeCurrent();
        // The render target finishes frames through the channel-order pass, as in the plug-in.
        OpenglRenderTarget::instance().setConversionPassMaker(makeChannelOrderPass);
        return true;
    } catch (const AESDK_OpenGL_Fault&) {
        return false;
    }
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
