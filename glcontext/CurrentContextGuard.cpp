#include "glcontext/CurrentContextGuard.h"

#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextPlatform.h"

namespace Tamrin {
namespace Solvane {

CurrentContextGuard::CurrentContextGuard()
    : saved_(std::make_unique<SavedBinding>(ContextPlatform::currentBinding())),
      savedSerial_(AEOpenGLContext::currentSerial())
{
}

CurrentContextGuard::~CurrentContextGuard()
{
    restore();
}

void CurrentContextGuard::restore()
{
    if (restored_) {
        return;
    }
    restored_ = true;
    if (ContextPlatform::currentBinding() != *saved_) {
        ContextPlatform::restoreBinding(*saved_);
        // The thread carries the caller's binding again; the record of the plug-in context goes with it.
        AEOpenGLContext::restoreCurrentSerial(savedSerial_);
    }
}

} // namespace Solvane
} // namespace Tamrin
