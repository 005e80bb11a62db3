// The WGL side of the offscreen contexts, run on Windows (and under Wine): the hidden window and its class, and
// sharing objects with a context that has already been current.
#if defined(_WIN32)

#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextPlatform.h"
#include "glcontext/ContextRegistry.h"
#include "support/GLTestContext.h"

#include "common/WindowsApi.h"

#include <glbinding/gl/gl.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

using namespace gl;
using Tamrin::Solvane::AEOpenGLContext;
using Tamrin::Solvane::ContextPlatform;

namespace {

class WindowsContextGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Tamrin::Solvane::Test::makeTestContextCurrent()) {
            GTEST_SKIP() << "no OpenGL available";
        }
    }
};

TEST_F(WindowsContextGLTest, HiddenWindowOfAPrivateClassThatTeardownWithdraws)
{
    testing::internal::CaptureStdout();
    auto context = std::make_unique<AEOpenGLContext>(nullptr);
    testing::internal::GetCapturedStdout();
    const std::string className = context->windowClassName();

    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), className.c_str(), &info));
    EXPECT_EQ(info.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(info.cbClsExtra, 0);
    EXPECT_EQ(info.cbWndExtra, 0);
    EXPECT_EQ(info.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
    EXPECT_EQ(info.hbrBackground, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(info.hIcon, nullptr);

    HWND window = WindowFromDC(static_cast<HDC>(context->platform().nativeSurface()));
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    std::array<char, 64> title = {};
    GetWindowTextA(window, title.data(), static_cast<int>(title.size()));
    EXPECT_STREQ(title.data(), "OpenGL-using FBOs in AE");
    EXPECT_EQ(static_cast<LONG_PTR>(GetWindowLongPtrA(window, GWL_EXSTYLE)) & (WS_EX_APPWINDOW | WS_EX_WINDOWEDGE),
              static_cast<LONG_PTR>(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE));

    context.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(GetClassInfoExA(GetModuleHandleA(nullptr), className.c_str(), &info));
}

// The plug-in shares before the first make-current; a context that was current first must still end up in the
// shared namespace (Wine refuses wglShareLists then, and the backend makes the context again with the share).
TEST_F(WindowsContextGLTest, ThreadContextThatWasCurrentBeforeSharingStillSeesSharedObjects)
{
    AEOpenGLContext* shared = Tamrin::Solvane::sharedContext();
    ASSERT_NE(shared, nullptr);
    shared->makeCurrent();
    const std::array<unsigned char, 16> pixels = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 10, 20, 30, 40, 50, 60};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    glFinish();

    std::array<unsigned char, 16> read = {};
    {
        std::unique_ptr<ContextPlatform> late = ContextPlatform::createNative();
        ASSERT_TRUE(late->createSurface("SolvaneLateSharingTest"));
        ASSERT_TRUE(late->createVersionedContext(shared->platform(), 3, 3));
        ASSERT_TRUE(late->makeCurrent());
        ASSERT_TRUE(late->shareObjects(shared->platform()));
        EXPECT_EQ(ContextPlatform::currentBinding().context, late->nativeContext());
        late->initializeBinding();
        EXPECT_EQ(glIsTexture(texture), GL_TRUE);
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, read.data());
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    EXPECT_EQ(read, pixels);

    shared->makeCurrent();
    glDeleteTextures(1, &texture);
    ASSERT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent());
}

} // namespace

#endif
