#include "support/GLTestContext.h"

#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextRegistry.h"

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
        return true;
    } catch (const AESDK_OpenGL_Fault&) {
        return false;
    }
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
