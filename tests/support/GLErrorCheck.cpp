#include "support/GLErrorCheck.h"

#include "glcontext/ContextPlatform.h"

#include <glbinding/AbstractFunction.h>
#include <glbinding/Binding.h>
#include <glbinding/CallbackMask.h>
#include <glbinding/FunctionCall.h>
#include <glbinding/callbacks.h>
#include <glbinding/gl/gl.h>

#include <mutex>

using namespace gl;

namespace Tamrin {
namespace Solvane {
namespace Test {

namespace {

struct Watch {
    std::mutex lock;
    std::vector<GLErrorReport> unexpected;
    std::vector<GLErrorReport> expected;
    std::size_t allowed = 0;
    int expecting = 0;
};

Watch& watch()
{
    static Watch* const instance = new Watch; // outlives every thread that may still call OpenGL at exit
    return *instance;
}

// The call in progress on this thread, and the context the debug output was last switched on for.
thread_local const char* callInProgress = "";
thread_local void* contextWatched = nullptr;
// Whether glbinding has a context on this thread: before the effect hands it one, nothing may go to the driver.
thread_local bool bindingInUse = false;

void GL_APIENTRY onDebugMessage(GLenum source, GLenum type, GLuint, GLenum, GLsizei length, const GLchar* message,
                                const void*)
{
    // Only the API's errors: a shader that does not compile (which some tests make on purpose) is reported through
    // the compiler's own source, and performance notes are no errors.
    if (source != GL_DEBUG_SOURCE_API || type != GL_DEBUG_TYPE_ERROR) {
        return;
    }
    GLErrorReport report;
    report.call = callInProgress;
    report.message = length >= 0 ? std::string(message, static_cast<std::size_t>(length)) : std::string(message);
    Watch& w = watch();
    std::lock_guard<std::mutex> hold(w.lock);
    if (isAllowedGLError(report)) {
        ++w.allowed;
    } else if (w.expecting > 0) {
        w.expected.push_back(report);
    } else {
        w.unexpected.push_back(report);
    }
}

// Switches the driver's debug output on for the context current on this thread, the first time a call runs on it.
// The calls go straight to the driver, past glbinding's callbacks, so that no recorder in a test sees them.
void watchCurrentContext()
{
    void* const context = ContextPlatform::currentBinding().context;
    if (!bindingInUse || context == nullptr || context == contextWatched) {
        return;
    }
    contextWatched = context;
    glbinding::Binding::Enable.directCall(GL_DEBUG_OUTPUT);
    glbinding::Binding::Enable.directCall(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glbinding::Binding::DebugMessageCallback.directCall(onDebugMessage, nullptr);
}

} // namespace

void startGLErrorCheck()
{
    static std::once_flag started;
    std::call_once(started, [] {
        glbinding::setBeforeCallback([](const glbinding::FunctionCall& call) {
            watchCurrentContext();
            callInProgress = call.function->name();
        });
        // glbinding keeps the callback mask per context, so each context gets it when glbinding first switches to it
        // (and again at every switch, which changes nothing).
        glbinding::Binding::addContextSwitchCallback([](glbinding::ContextHandle handle) {
            bindingInUse = handle != 0;
            if (bindingInUse) {
                glbinding::addCallbackMask(glbinding::CallbackMask::Before);
            }
        });
    });
}

std::vector<GLErrorReport> takeUnexpectedGLErrors()
{
    Watch& w = watch();
    std::lock_guard<std::mutex> hold(w.lock);
    std::vector<GLErrorReport> out;
    out.swap(w.unexpected);
    return out;
}

std::size_t allowedGLErrorCount()
{
    Watch& w = watch();
    std::lock_guard<std::mutex> hold(w.lock);
    return w.allowed;
}

bool isAllowedGLError(const GLErrorReport& report)
{
    return report.call == "glDrawBuffer";
}

ExpectedGLErrors::ExpectedGLErrors()
{
    Watch& w = watch();
    std::lock_guard<std::mutex> hold(w.lock);
    ++w.expecting;
    w.expected.clear();
}

ExpectedGLErrors::~ExpectedGLErrors()
{
    Watch& w = watch();
    std::lock_guard<std::mutex> hold(w.lock);
    --w.expecting;
}

std::vector<GLErrorReport> ExpectedGLErrors::seen() const
{
    Watch& w = watch();
    std::lock_guard<std::mutex> hold(w.lock);
    return w.expected;
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
