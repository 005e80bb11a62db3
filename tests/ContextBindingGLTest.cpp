// glbinding keeps a state per context handle for the rest of the process. Contexts
// made and destroyed over and over (a set-up and set-down per project, a context per
// new host thread) must not make it grow: it may hold only as many states as
// contexts lived at once.
#include <glbinding/AbstractFunction.h>
#include <glbinding/Binding.h>
#include <glbinding/gl/gl.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextRegistry.h"
#include "glcontext/CurrentContextGuard.h"

using namespace gl;
using namespace Tamrin::Solvane;

namespace {

// A function glbinding knows beside its own, only to count the states it keeps for each.
class StateCounter : public glbinding::AbstractFunction {
public:
    StateCounter() : AbstractFunction("glSolvaneStateCounter") {}
    std::size_t states() const { return m_states.size(); }
};

} // namespace

#if !defined(_WIN32)
TEST(ContextBinding, ContextsMadeOverAndOverKeepGlbindingsStatesFew)
{
    static StateCounter counter; // glbinding keeps the pointer for the process
    static const bool registered = (glbinding::Binding::registerAdditionalFunction(&counter), true);
    ASSERT_TRUE(registered);

    CurrentContextGuard guard;
    setUpSharedContext();
    std::unique_ptr<AEOpenGLContext> first = std::make_unique<AEOpenGLContext>(sharedContext());
    first.reset();
    const std::size_t before = counter.states();
    // Set-up and set-down cycles, and contexts of threads that come and go.
    for (int cycle = 0; cycle < 6; ++cycle) {
        tearDownContexts();
        setUpSharedContext();
        std::thread([] {
            CurrentContextGuard threadGuard;
            contextForThisThread()->makeCurrent();
            GLint maxSize = 0;
            glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
            EXPECT_GT(maxSize, 0);
            threadGuard.restore();
        }).join();
        auto context = std::make_unique<AEOpenGLContext>(sharedContext());
        context->makeCurrent();
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        EXPECT_GT(maxSize, 0);
    }
    tearDownContexts();
    guard.restore();
    // Three contexts at most lived at once in the loop; a state per context made would be 18 more.
    EXPECT_LE(counter.states(), before + 3);
}
#endif
