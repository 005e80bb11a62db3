// The OpenGL error check of the GL suite: every case of this program runs watched (support/GLErrorCheck.h), and a
// case in which the effect raised an OpenGL error other than the one allowed fails. The cases below show that the
// watch sees errors on every context and thread, names the call, and lets the allowed call alone through.
#include "support/GLErrorCheck.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "gpu/OpenglRenderTarget.h"
#include "support/GLTestContext.h"

using namespace gl;
using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

// Collects, per case, the errors nobody expected; the program fails at its end when there are any. Each CTest test
// runs one case, so the failure belongs to that case.
class GLErrorListener : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { Support::takeUnexpectedGLErrors(); }
    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        std::ostringstream text;
        for (const Support::GLErrorReport& report : Support::takeUnexpectedGLErrors()) {
            text << "  " << report.call << ": " << report.message << "\n";
        }
        if (!text.str().empty()) {
            failures[std::string(info.test_suite_name()) + "." + info.name()] += text.str();
        }
    }
    std::map<std::string, std::string> failures;
};

class GLErrorEnvironment : public ::testing::Environment {
public:
    explicit GLErrorEnvironment(GLErrorListener* listener) : listener_(listener) {}
    void SetUp() override { Support::startGLErrorCheck(); }
    void TearDown() override
    {
        for (const auto& failure : listener_->failures) {
            ADD_FAILURE() << failure.first << " raised OpenGL errors:\n" << failure.second;
        }
    }

private:
    GLErrorListener* listener_;
};

const bool registered = [] {
    auto* listener = new GLErrorListener; // owned by GoogleTest's listener list
    ::testing::UnitTest::GetInstance()->listeners().Append(listener);
    ::testing::AddGlobalTestEnvironment(new GLErrorEnvironment(listener));
    return true;
}();

class GLErrorCheckGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registered);
        if (!Support::makeTestContextCurrent()) {
            GTEST_SKIP() << "no OpenGL context";
        }
    }
};

// Binding a texture name that was never generated is an error on every core context.
void bindUnmadeTexture()
{
    glBindTexture(GL_TEXTURE_2D, 0x7FFFFFF0u);
}

} // namespace

TEST_F(GLErrorCheckGLTest, AnErrorIsSeenWithItsCallOnThisAndOnAnotherThread)
{
    Support::ExpectedGLErrors expected;
    bindUnmadeTexture();
    std::thread other([] {
        if (Support::makeTestContextCurrent()) {
            bindUnmadeTexture();
        }
    });
    other.join();
    const auto seen = expected.seen();
    ASSERT_EQ(seen.size(), 2u);
    for (const Support::GLErrorReport& report : seen) {
        EXPECT_EQ(report.call, "glBindTexture");
        EXPECT_NE(report.message.find("GL_INVALID_OPERATION"), std::string::npos) << report.message;
    }
    // The driver's own error flag is left for the effect's checks to read.
    EXPECT_EQ(glGetError(), GL_INVALID_OPERATION);
    EXPECT_EQ(glGetError(), GL_NO_ERROR);
}

TEST_F(GLErrorCheckGLTest, OnlyTheRenderTargetsDrawBufferOnTheDefaultFramebufferIsAllowed)
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const std::size_t before = Support::allowedGLErrorCount();
    {
        Support::ExpectedGLErrors expected;
        OpenglRenderTarget& target = OpenglRenderTarget::instance();
        target.resize(16, 8, false);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        target.bind(false, false);
        target.release();
        EXPECT_TRUE(expected.seen().empty());
    }
    EXPECT_EQ(Support::allowedGLErrorCount(), before + 1);
    glGetError();
    EXPECT_FALSE(Support::isAllowedGLError({"glDrawBuffers", "GL_INVALID_OPERATION"}));
    EXPECT_FALSE(Support::isAllowedGLError({"glBindFramebuffer", "GL_INVALID_OPERATION"}));
}
