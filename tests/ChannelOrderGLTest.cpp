#include "renderer/ChannelOrderPass.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "support/GLCallRecorder.h"
#include "support/GLTestContext.h"

using namespace gl;
using namespace Tamrin::Solvane;
using Tamrin::Solvane::Test::GLCallRecorder;

namespace {

constexpr GLsizei kSize = 2;
using Rgba = std::array<float, 4>;

// A float source texture of one colour and a float framebuffer to draw it into,
// so that the swizzle is seen without 8-bit rounding.
class ChannelOrderGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent());
        const Rgba texel = {0.1f, 0.2f, 0.3f, 0.4f};
        std::array<float, kSize * kSize * 4> pixels{};
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = texel[i % 4];
        }
        glGenTextures(1, &source);
        glBindTexture(GL_TEXTURE_2D, source);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_LINEAR));
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), kSize, kSize, 0, GL_RGBA, GL_FLOAT,
                     pixels.data());
        glBindTexture(GL_TEXTURE_2D, 0);

        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA32F, kSize, kSize);
        glGenFramebuffers(1, &target);
        glBindFramebuffer(GL_FRAMEBUFFER, target);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GL_FRAMEBUFFER_COMPLETE);
        glViewport(0, 0, kSize, kSize);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    void TearDown() override
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &target);
        glDeleteRenderbuffers(1, &colour);
        glDeleteTextures(1, &source);
    }

    Rgba drawn(int x, int y) const
    {
        Rgba pixel{};
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, pixel.data());
        return pixel;
    }

    static void expectNear(const Rgba& actual, const Rgba& expected)
    {
        for (std::size_t c = 0; c < 4; ++c) {
            EXPECT_NEAR(actual[c], expected[c], 1e-6) << "channel " << c;
        }
    }

    GLuint source = 0;
    GLuint colour = 0;
    GLuint target = 0;
    GLCallRecorder recorder;
};

TEST_F(ChannelOrderGLTest, SwizzlesIntoTheHostOrderOrTheOtherVariant)
{
    {
        ChannelOrderPass pass(false);
        pass.draw(source, 1.0f);
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                expectNear(drawn(x, y), {0.4f, 0.1f, 0.2f, 0.3f});
            }
        }
    }
    {
        ChannelOrderPass pass(true);
        pass.draw(source, 1.0f);
        expectNear(drawn(0, 0), {0.3f, 0.2f, 0.4f, 0.1f});
        expectNear(drawn(1, 1), {0.3f, 0.2f, 0.4f, 0.1f});
    }
}

TEST_F(ChannelOrderGLTest, MultiplierLeavesTheOutputAlone)
{
    ChannelOrderPass pass(false);
    pass.draw(source, 16.0f);
    expectNear(drawn(1, 0), {0.4f, 0.1f, 0.2f, 0.3f});
}

TEST_F(ChannelOrderGLTest, FirstDrawMakesTheQuadLaterDrawsReuseItAndDestructionDeletesAll)
{
    auto pass = std::make_unique<ChannelOrderPass>(false);
    const std::string texture = std::to_string(source);

    recorder.start();
    pass->draw(source, 1.0f);
    recorder.stop();
    EXPECT_TRUE(recorder.madeInOrder({
        "glGenVertexArrays", "glBindVertexArray", "glGenBuffers", "glBindBuffer(GL_ARRAY_BUFFER, *)",
        "glBufferData(GL_ARRAY_BUFFER, 120, *, GL_STATIC_DRAW)", "glUseProgram", "glBindVertexArray",
        "glBindBuffer(GL_ARRAY_BUFFER, *)", "glEnableVertexAttribArray(0)",
        "glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, *)", "glEnableVertexAttribArray(1)",
        "glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 20, *)", "glActiveTexture(GL_TEXTURE0)",
        "glBindTexture(GL_TEXTURE_2D, " + texture + ")", "glGetUniformLocation(*, \"videoTexture\")",
        "glUniform1i(*, 0)", "glGetUniformLocation(*, \"multiplier16bit\")", "glDrawArrays(GL_TRIANGLES, 0, 6)",
        "glDisableVertexAttribArray(0)", "glDisableVertexAttribArray(1)", "glBindVertexArray(0)",
        "glBindBuffer(GL_ARRAY_BUFFER, 0)"}));
    // The program does not use the multiplier, so the lookup finds nothing to set.
    EXPECT_TRUE(recorder.madeNo("glUniform1f"));
    const std::string vertexArray = recorder.callsNamed("glBindVertexArray").at(0).arguments.at(0);
    const std::string buffer = recorder.callsNamed("glBindBuffer").at(0).arguments.at(1);
    const std::string program = recorder.callsNamed("glUseProgram").back().arguments.at(0);

    recorder.start();
    pass->draw(source, 1.0f);
    recorder.stop();
    EXPECT_TRUE(recorder.madeNo("glGen*"));
    EXPECT_TRUE(recorder.madeNo("glBufferData"));
    EXPECT_TRUE(recorder.madeNo("glCompileShader"));
    EXPECT_EQ(recorder.count("glDrawArrays"), 1u);

    recorder.start();
    pass.reset();
    recorder.stop();
    EXPECT_TRUE(recorder.madeExactly({"glDeleteVertexArrays(1, *)", "glDeleteBuffers(1, *)",
                                      "glDeleteProgram(" + program + ")"}));
    EXPECT_NE(vertexArray, "0");
    EXPECT_NE(buffer, "0");
}

TEST_F(ChannelOrderGLTest, PassThatNeverDrewDestroysWithoutACall)
{
    auto pass = std::make_unique<ChannelOrderPass>(true);
    recorder.start();
    pass.reset();
    recorder.stop();
    EXPECT_TRUE(recorder.madeNoCall());
}

} // namespace
