#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextPlatform.h"
#include "glcontext/ContextRegistry.h"
#include "glcontext/CurrentContextGuard.h"
#include "support/GLTestContext.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#ifndef _WIN32
#define EGL_NO_X11
#include <EGL/egl.h>
#endif

using namespace Tamrin::Solvane;

namespace {

bool makePluginContextCurrent()
{
    return Tamrin::Solvane::Test::makeTestContextCurrent();
}

// A context of the caller's own, made and made current past the plug-in's registry, as a host's would be.
std::unique_ptr<ContextPlatform> makeCallerContextCurrent()
{
    std::unique_ptr<ContextPlatform> caller = ContextPlatform::createNative();
    EXPECT_TRUE(caller->createSurface("CallerContextOfTheTest"));
    EXPECT_TRUE(caller->createPlainContext());
    EXPECT_TRUE(caller->makeCurrent());
    return caller;
}

// Each case runs on a new thread, which starts with no context current, as a host thread would.
class ContextGuardGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!makePluginContextCurrent()) {
            GTEST_SKIP() << "no OpenGL available";
        }
    }

    template <typename Function>
    static void onNewThread(Function function)
    {
        std::thread(function).join();
    }
};

TEST_F(ContextGuardGLTest, LeavesAThreadThatHadNoContextWithNone)
{
    onNewThread([] {
        const SavedBinding none = ContextPlatform::currentBinding();
        ASSERT_EQ(none.context, nullptr);
        CurrentContextGuard guard;
        ASSERT_TRUE(makePluginContextCurrent());
        EXPECT_NE(AEOpenGLContext::currentSerial(), 0u);
        guard.restore();
        EXPECT_EQ(ContextPlatform::currentBinding(), none);
        EXPECT_EQ(AEOpenGLContext::currentSerial(), 0u);
    });
}

TEST_F(ContextGuardGLTest, GivesBackTheCallersOwnContextWithItsSurfaces)
{
    onNewThread([] {
        const auto caller = makeCallerContextCurrent();
        const SavedBinding saved = ContextPlatform::currentBinding();
        EXPECT_EQ(saved.context, caller->nativeContext());
        {
            CurrentContextGuard guard;
            ASSERT_TRUE(makePluginContextCurrent());
            EXPECT_NE(ContextPlatform::currentBinding(), saved);
            guard.restore();
            EXPECT_EQ(ContextPlatform::currentBinding(), saved);
        }
        EXPECT_EQ(ContextPlatform::currentBinding(), saved);
    });
}

TEST_F(ContextGuardGLTest, GivesTheContextBackWhenAFaultUnwinds)
{
    onNewThread([] {
        const auto caller = makeCallerContextCurrent();
        const SavedBinding saved = ContextPlatform::currentBinding();
        try {
            CurrentContextGuard guard;
            ASSERT_TRUE(makePluginContextCurrent());
            throw 516;
        } catch (int) {
        }
        EXPECT_EQ(ContextPlatform::currentBinding(), saved);
    });
}

TEST_F(ContextGuardGLTest, RestoresAtMostOnce)
{
    onNewThread([] {
        const auto caller = makeCallerContextCurrent();
        SavedBinding plugin;
        {
            CurrentContextGuard guard;
            ASSERT_TRUE(makePluginContextCurrent());
            plugin = ContextPlatform::currentBinding();
            guard.restore();
            ASSERT_TRUE(makePluginContextCurrent());
            guard.restore();
            EXPECT_EQ(ContextPlatform::currentBinding(), plugin);
        }
        EXPECT_EQ(ContextPlatform::currentBinding(), plugin);
    });
}

TEST_F(ContextGuardGLTest, CallsNothingWhenTheBindingIsAlreadyTheSavedOne)
{
    onNewThread([] {
        ASSERT_TRUE(makePluginContextCurrent());
        const SavedBinding saved = ContextPlatform::currentBinding();
        CurrentContextGuard guard;
        // Only a switch back would bring the saved record of the plug-in context back with it.
        AEOpenGLContext::clearCurrentSerial();
        guard.restore();
        EXPECT_EQ(ContextPlatform::currentBinding(), saved);
        EXPECT_EQ(AEOpenGLContext::currentSerial(), 0u);
    });
}

TEST_F(ContextGuardGLTest, GivesBackTheRecordOfThePluginContextItSwitchedAwayFrom)
{
    onNewThread([] {
        ASSERT_TRUE(makePluginContextCurrent());
        const std::uint64_t threadSerial = AEOpenGLContext::currentSerial();
        const SavedBinding saved = ContextPlatform::currentBinding();
        CurrentContextGuard guard;
        sharedContext()->makeCurrent();
        EXPECT_EQ(AEOpenGLContext::currentSerial(), sharedContext()->serial());
        guard.restore();
        EXPECT_EQ(ContextPlatform::currentBinding(), saved);
        EXPECT_EQ(AEOpenGLContext::currentSerial(), threadSerial);
    });
}

#ifndef _WIN32
TEST_F(ContextGuardGLTest, GivesBackTheClientApiTheThreadHadBound)
{
    onNewThread([] {
        ASSERT_EQ(eglBindAPI(EGL_OPENGL_ES_API), EGL_TRUE);
        CurrentContextGuard guard;
        ASSERT_TRUE(makePluginContextCurrent());
        EXPECT_EQ(eglQueryAPI(), static_cast<EGLenum>(EGL_OPENGL_API));
        guard.restore();
        EXPECT_EQ(eglQueryAPI(), static_cast<EGLenum>(EGL_OPENGL_ES_API));
        EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
    });
}
#endif

} // namespace
