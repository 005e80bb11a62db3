#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextPlatform.h"
#include "support/ContextPlatformSpy.h"
#include "support/GLTestContext.h"

#include <glbinding/Meta.h>
#include <glbinding/gl/gl.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <regex>
#include <string>
#include <thread>

using namespace gl;
using Tamrin::Solvane::AEOpenGLContext;
using Tamrin::Solvane::AESDK_OpenGL_Fault;
using Tamrin::Solvane::ContextPlatform;
using Tamrin::Solvane::Test::ContextPlatformSpy;

namespace {

struct ContextVersion {
    GLint major = 0;
    GLint minor = 0;
    GLint profileMask = 0;
    GLint flags = 0;
};

ContextVersion currentVersion()
{
    ContextVersion version;
    glGetIntegerv(GL_MAJOR_VERSION, &version.major);
    glGetIntegerv(GL_MINOR_VERSION, &version.minor);
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &version.profileMask);
    glGetIntegerv(GL_CONTEXT_FLAGS, &version.flags);
    return version;
}

bool isCore(const ContextVersion& version)
{
    return (version.profileMask & static_cast<GLint>(GL_CONTEXT_CORE_PROFILE_BIT)) != 0;
}

// The block as it must read for the context current now, built from OpenGL's own answers.
std::string expectedBlockForCurrentContext()
{
    const ContextVersion version = currentVersion();
    const auto text = [](GLenum name) { return std::string(reinterpret_cast<const char*>(glGetString(name))); };
    return "\nOpenGL Version:  " + std::to_string(version.major) + "." + std::to_string(version.minor)
        + "\nOpenGL Vendor:   " + text(GL_VENDOR) + "\nOpenGL Renderer: " + text(GL_RENDERER)
        + "\nOpenGL Revision: " + std::to_string(glbinding::Meta::glRevision()) + " (gl.xml)\n\n";
}

void* currentNativeContext()
{
    return ContextPlatform::currentBinding().context;
}

std::uint64_t windowCounterOf(const AEOpenGLContext& context)
{
    std::smatch match;
    const std::string& name = context.windowClassName();
    EXPECT_TRUE(std::regex_match(name, match, std::regex("AEOpenGL_Win_Class([0-9]+)_([0-9]+)"))) << name;
    return match.size() == 3 ? std::stoull(match[2].str()) : 0;
}

class ContextGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Tamrin::Solvane::Test::makeTestContextCurrent()) {
            GTEST_SKIP() << "no OpenGL available";
        }
    }
};

TEST_F(ContextGLTest, EachNewContextWritesOneIdentificationBlockAndMakingCurrentWritesNothing)
{
    testing::internal::CaptureStdout();
    auto shared = std::make_unique<AEOpenGLContext>(nullptr);
    const std::string sharedBlock = testing::internal::GetCapturedStdout();
    EXPECT_EQ(sharedBlock, expectedBlockForCurrentContext());
    EXPECT_TRUE(std::regex_match(sharedBlock, std::regex("\nOpenGL Version:  [0-9]+\\.[0-9]+\n[^]*")));

    testing::internal::CaptureStdout();
    auto thread = std::make_unique<AEOpenGLContext>(shared.get());
    const std::string threadBlock = testing::internal::GetCapturedStdout();
    EXPECT_EQ(threadBlock, expectedBlockForCurrentContext());

    testing::internal::CaptureStdout();
    shared->makeCurrent();
    thread->makeCurrent();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(ContextGLTest, SharedContextAsksForNoVersionThreadContextsForCore33WithoutFlags)
{
    auto shared = std::make_unique<AEOpenGLContext>(nullptr);
    const ContextVersion plain = currentVersion();
    // No attributes give the driver's default context, which is never a core profile.
    EXPECT_FALSE(isCore(plain));

    auto thread = std::make_unique<AEOpenGLContext>(shared.get());
    const ContextVersion versioned = currentVersion();
    EXPECT_TRUE(versioned.major > 3 || (versioned.major == 3 && versioned.minor >= 3));
    EXPECT_TRUE(isCore(versioned));
    EXPECT_EQ(versioned.flags, 0);

    shared->makeCurrent();
    EXPECT_FALSE(isCore(currentVersion()));
}

TEST_F(ContextGLTest, ThreadContextsOnOtherThreadsShareObjects)
{
    auto shared = std::make_unique<AEOpenGLContext>(nullptr);
    std::unique_ptr<AEOpenGLContext> writer;
    std::unique_ptr<AEOpenGLContext> reader;
    const std::array<unsigned char, 16> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    GLuint texture = 0;

    std::thread([&] {
        writer = std::make_unique<AEOpenGLContext>(shared.get());
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glFinish();
    }).join();

    std::array<unsigned char, 16> read = {};
    std::thread([&] {
        reader = std::make_unique<AEOpenGLContext>(shared.get());
        EXPECT_EQ(glIsTexture(texture), GL_TRUE);
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, read.data());
        glDeleteTextures(1, &texture);
    }).join();

    EXPECT_NE(texture, 0u);
    EXPECT_EQ(read, pixels);
}

TEST_F(ContextGLTest, ConstructionAndMakeCurrentRecordTheContextOnTheThread)
{
    auto shared = std::make_unique<AEOpenGLContext>(nullptr);
    auto thread = std::make_unique<AEOpenGLContext>(shared.get());
    EXPECT_GT(shared->serial(), 0u);
    EXPECT_GT(thread->serial(), shared->serial());
    EXPECT_EQ(AEOpenGLContext::currentSerial(), thread->serial());
    EXPECT_EQ(currentNativeContext(), thread->platform().nativeContext());

    shared->makeCurrent();
    EXPECT_EQ(AEOpenGLContext::currentSerial(), shared->serial());
    EXPECT_EQ(currentNativeContext(), shared->platform().nativeContext());

    // Teardown leaves the thread with no context at all.
    thread.reset();
    EXPECT_EQ(AEOpenGLContext::currentSerial(), 0u);
    EXPECT_EQ(currentNativeContext(), nullptr);
}

TEST_F(ContextGLTest, WindowClassNamesHoldTheAddressAndACounterThatFailuresAdvanceToo)
{
    auto first = std::make_unique<AEOpenGLContext>(nullptr);
    std::smatch match;
    const std::string name = first->windowClassName();
    ASSERT_TRUE(std::regex_match(name, match, std::regex("AEOpenGL_Win_Class([0-9]+)_([0-9]+)"))) << name;
    EXPECT_EQ(std::stoull(match[1].str()), reinterpret_cast<std::uint64_t>(first.get()));
    const std::uint64_t counter = windowCounterOf(*first);

    {
        ContextPlatformSpy spy;
        spy.failAt(ContextPlatformSpy::Step::Surface);
        EXPECT_THROW(AEOpenGLContext{nullptr}, AESDK_OpenGL_Fault);
    }
    auto second = std::make_unique<AEOpenGLContext>(first.get());
    EXPECT_EQ(windowCounterOf(*second), counter + 2);
    EXPECT_NE(second->windowClassName(), first->windowClassName());
}

struct FailureCase {
    ContextPlatformSpy::Step step;
    bool threadPath;
    bool heldContext;
};

class ContextFailureGLTest : public ContextGLTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ContextFailureGLTest, RaisesCodeOnePrintsNothingAndReleasesWhatItHeld)
{
    const FailureCase failure = GetParam();
    auto shared = std::make_unique<AEOpenGLContext>(nullptr);
    const void* callerContext = currentNativeContext();

    ContextPlatformSpy spy;
    spy.failAt(failure.step);
    testing::internal::CaptureStdout();
    std::int32_t code = 0;
    try {
        AEOpenGLContext context(failure.threadPath ? shared.get() : nullptr);
        ADD_FAILURE() << "construction did not fail";
    } catch (const AESDK_OpenGL_Fault& fault) {
        code = fault.errorCode;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(code, 1);

    // The failed backend was torn down, and a context it had made current went with it.
    EXPECT_EQ(spy.backendsMade(), 1u);
    ASSERT_EQ(spy.tornDownContexts().size(), 1u);
    EXPECT_EQ(spy.tornDownContexts()[0] != nullptr, failure.heldContext);
    if (failure.heldContext) {
        EXPECT_EQ(currentNativeContext(), nullptr);
        EXPECT_EQ(AEOpenGLContext::currentSerial(), 0u);
    } else {
        EXPECT_EQ(currentNativeContext(), callerContext);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, ContextFailureGLTest,
    ::testing::Values(FailureCase{ContextPlatformSpy::Step::Surface, false, false},
                      FailureCase{ContextPlatformSpy::Step::PlainContext, false, false},
                      FailureCase{ContextPlatformSpy::Step::MakeCurrent, false, true},
                      FailureCase{ContextPlatformSpy::Step::ExtensionString, false, true},
                      FailureCase{ContextPlatformSpy::Step::Surface, true, false},
                      FailureCase{ContextPlatformSpy::Step::VersionedContext, true, false},
                      FailureCase{ContextPlatformSpy::Step::MakeCurrent, true, true},
                      FailureCase{ContextPlatformSpy::Step::ShareObjects, true, true}));

TEST_F(ContextGLTest, CreateContextExtensionIsFoundAsAPlainSubstring)
{
    ContextPlatformSpy spy;
    spy.simulateFreshProcess();
    const std::string name = ContextPlatform::createNative()->createContextExtensionName();

    // Only a longer name that begins with it: the plain substring test still passes.
    spy.replaceExtensionString("EXT_one " + name + "_profile EXT_two");
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(AEOpenGLContext{nullptr});
    EXPECT_NE(testing::internal::GetCapturedStdout(), "");
}

TEST_F(ContextGLTest, MissingCreateContextExtensionFailsUnlessAnEarlierSharedContextStoredTheEntry)
{
    ContextPlatformSpy spy;
    spy.replaceExtensionString("EXT_one EXT_two");

    // The entry stored by an earlier shared context of this process is used.
    EXPECT_NO_THROW(AEOpenGLContext{nullptr});

    spy.simulateFreshProcess();
    testing::internal::CaptureStdout();
    try {
        AEOpenGLContext context(nullptr);
        ADD_FAILURE() << "construction did not fail";
    } catch (const AESDK_OpenGL_Fault& fault) {
        EXPECT_EQ(fault.errorCode, 1);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
