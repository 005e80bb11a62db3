#include "gpu/OpenglRenderTarget.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "support/GLCallRecorder.h"
#include "support/GLTestContext.h"
#include "support/RenderTargetFixture.h"

using namespace gl;
using namespace Tamrin::Solvane;
using Tamrin::Solvane::Test::GLCallRecorder;
using Tamrin::Solvane::Test::Rgba;
using Tamrin::Solvane::Test::kByteStep;
using Tamrin::Solvane::Test::readPixel;
using Tamrin::Solvane::Test::expectNear;

namespace {


GLint integer(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

std::array<GLint, 4> viewport()
{
    std::array<GLint, 4> box{};
    glGetIntegerv(GL_VIEWPORT, box.data());
    return box;
}

GLint attachmentName(GLenum attachment)
{
    GLint type = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    if (type == 0) {
        return 0;
    }
    GLint name = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
    return name;
}

GLint textureLevel0(GLuint texture, GLenum parameter)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, parameter, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

GLint textureParameter(GLuint texture, GLenum parameter)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

// All texels of level 0, read through a framebuffer of the test's own.
std::vector<float> texelsOf(GLuint texture, int width, int height)
{
    const GLint previous = integer(GL_FRAMEBUFFER_BINDING);
    GLuint reader = 0;
    glGenFramebuffers(1, &reader);
    glBindFramebuffer(GL_FRAMEBUFFER, reader);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    std::vector<float> texels(static_cast<std::size_t>(width * height * 4), -1.0f);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, texels.data());
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
    glDeleteFramebuffers(1, &reader);
    return texels;
}

class RenderTargetGLTest : public Tamrin::Solvane::Test::RenderTargetFixture {
protected:
    static void clearTopLayer(const Rgba& colour)
    {
        glClearColor(colour[0], colour[1], colour[2], colour[3]);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    GLCallRecorder recorder;
};

TEST_F(RenderTargetGLTest, SingleSampleLayerStackEndsInTheOutputRenderbuffer)
{
    target.resize(6, 4, false);
    target.bind(false, false);
    ASSERT_NE(target.framebufferName(), 0u);
    EXPECT_EQ(target.layerCount(), 1u);
    EXPECT_FALSE(target.isMultisampled());
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(target.framebufferName()));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 6, 4}));
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_FALSE);
    clearTopLayer({0.25f, 0.5f, 0.75f, 1.0f});
    const GLint bottom = attachmentName(GL_COLOR_ATTACHMENT0);

    target.pushLayer(true, false);
    const GLint depth = attachmentName(GL_DEPTH_ATTACHMENT);
    EXPECT_NE(depth, 0);
    EXPECT_NE(attachmentName(GL_COLOR_ATTACHMENT0), bottom);
    expectNear(readPixel(0, 0), {0, 0, 0, 0}, 0.0f);

    // A layer without depth finds its predecessor's depth still attached.
    target.pushLayer(false, false);
    EXPECT_EQ(target.layerCount(), 3u);
    EXPECT_EQ(attachmentName(GL_DEPTH_ATTACHMENT), depth);

    const GLuint single = target.popToTexture();
    ASSERT_NE(single, 0u);
    EXPECT_EQ(textureLevel0(single, GL_TEXTURE_INTERNAL_FORMAT), static_cast<GLint>(GL_RGBA32F));
    EXPECT_EQ(textureLevel0(single, GL_TEXTURE_WIDTH), 6);
    EXPECT_EQ(textureParameter(single, GL_TEXTURE_MAG_FILTER), static_cast<GLint>(GL_LINEAR));
    glDeleteTextures(1, &single);

    // Popping the layer that owns a depth or stencil renderbuffer deletes it too.
    const GLuint withDepth = target.popToTexture();
    glDeleteTextures(1, &withDepth);
    EXPECT_EQ(glIsRenderbuffer(static_cast<GLuint>(depth)), GL_FALSE);
    target.pushLayer(false, true);
    const GLint stencil = attachmentName(GL_STENCIL_ATTACHMENT);
    EXPECT_NE(stencil, 0);
    const GLuint withStencil = target.popToTexture();
    glDeleteTextures(1, &withStencil);
    EXPECT_EQ(glIsRenderbuffer(static_cast<GLuint>(stencil)), GL_FALSE);
    EXPECT_EQ(target.layerCount(), 1u);
    EXPECT_EQ(attachmentName(GL_COLOR_ATTACHMENT0), bottom);

    target.finishFrame(1.0f);
    EXPECT_EQ(target.layerCount(), 0u);
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(target.framebufferName()));
    EXPECT_EQ(attachmentName(GL_COLOR_ATTACHMENT0), static_cast<GLint>(target.outputRenderbufferName()));
    expectNear(readPixel(5, 3), {1.0f, 0.25f, 0.5f, 0.75f}, kByteStep);

    recorder.start();
    EXPECT_EQ(target.popToTexture(), 0u);
    target.finishFrame(1.0f);
    recorder.stop();
    EXPECT_TRUE(recorder.madeNoCall());
}

TEST_F(RenderTargetGLTest, MultisampledLayersResolveIntoAnRgbaTexture)
{
    target.resize(5, 3, true);
    ASSERT_TRUE(target.isMultisampled());
    ASSERT_NE(target.multisampleFramebufferName(), 0u);
    ASSERT_NE(target.resolveFramebufferName(), 0u);

    ::testing::internal::CaptureStdout();
    target.bind(false, false);
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(output, "") << "the multisampled layer framebuffer is complete";
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(target.multisampleFramebufferName()));
    GLint samples = 0;
    GLint maxSamples = 0;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &samples);
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    EXPECT_EQ(samples, std::min(8, maxSamples)) << "as many as asked for, or as the driver offers";
    clearTopLayer({1.0f, 0.0f, 0.5f, 1.0f});

    const GLuint resolved = target.popToTexture();
    ASSERT_NE(resolved, 0u);
    const GLint format = textureLevel0(resolved, GL_TEXTURE_INTERNAL_FORMAT);
    EXPECT_TRUE(format == static_cast<GLint>(GL_RGBA) || format == static_cast<GLint>(GL_RGBA8)) << format;
    const std::vector<float> texels = texelsOf(resolved, 5, 3);
    expectNear({texels[0], texels[1], texels[2], texels[3]}, {1.0f, 0.0f, 0.5f, 1.0f}, kByteStep);
    glDeleteTextures(1, &resolved);
    EXPECT_EQ(target.layerCount(), 0u);
}

TEST_F(RenderTargetGLTest, ResizeToTheStoredSizeReplacesOnlyTheConversionPass)
{
    target.resize(8, 8, false);
    target.bind(false, false);
    clearTopLayer({0.25f, 0.5f, 0.75f, 1.0f});
    const GLuint framebuffer = target.framebufferName();
    const GLuint output = target.outputRenderbufferName();

    recorder.start();
    target.resize(8, 8, true);
    recorder.stop();
    EXPECT_TRUE(recorder.madeNo("glGenFramebuffers"));
    EXPECT_TRUE(recorder.madeNo("glDeleteFramebuffers"));
    EXPECT_TRUE(recorder.madeNo("glGenRenderbuffers"));
    EXPECT_TRUE(recorder.madeNo("glDeleteRenderbuffers"));
    EXPECT_EQ(target.framebufferName(), framebuffer);
    EXPECT_EQ(target.outputRenderbufferName(), output);
    EXPECT_EQ(target.layerCount(), 1u);
    EXPECT_FALSE(target.isMultisampled()) << "the stored mode stays";

    // ...but the new pass took the flag as its channel-order choice: ".bgar".
    target.finishFrame(1.0f);
    expectNear(readPixel(7, 7), {0.75f, 0.5f, 1.0f, 0.25f}, kByteStep);

    // A size change while a layer is pushed deletes that layer with the rest.
    target.bind(false, false);
    recorder.start();
    target.resize(9, 8, false);
    recorder.stop();
    EXPECT_EQ(target.layerCount(), 0u);
    EXPECT_EQ(recorder.count("glDeleteRenderbuffers"), 2u) << "output and layer";
    EXPECT_TRUE(recorder.madeInOrder({"glDeleteFramebuffers", "glDeleteRenderbuffers", "glDeleteRenderbuffers",
                                      "glGenFramebuffers", "glGenRenderbuffers",
                                      "glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA32F, 9, 8)"}));
}

TEST_F(RenderTargetGLTest, ReleaseForgetsTheSizeSoTheOldSizeBuildsAgain)
{
    target.resize(7, 5, false);
    target.bind(false, false);
    target.finishFrame(1.0f);

    recorder.start();
    target.release();
    recorder.stop();
    EXPECT_EQ(target.framebufferName(), 0u);
    EXPECT_EQ(target.outputRenderbufferName(), 0u);
    EXPECT_EQ(target.frameWidth(), 0);
    EXPECT_EQ(target.frameHeight(), 0);
    EXPECT_TRUE(recorder.madeInOrder({"glDeleteFramebuffers", "glDeleteRenderbuffers"}));

    target.resize(7, 5, false);
    ASSERT_NE(target.framebufferName(), 0u);
    ASSERT_NE(target.outputRenderbufferName(), 0u);
    target.bind(false, false);
    clearTopLayer({0.0f, 1.0f, 0.0f, 1.0f});
    target.finishFrame(1.0f);
    expectNear(readPixel(6, 4), {1.0f, 0.0f, 1.0f, 0.0f}, kByteStep);
}

TEST_F(RenderTargetGLTest, CreatedTexturesAreZeroedFloatsWithAcceptedFilters)
{
    struct Case {
        bool linear;
        bool mipmapped;
        GLenum mag;
        GLenum min;
    };
    const Case cases[] = {
        {true, false, GL_LINEAR, GL_LINEAR},
        {false, false, GL_NEAREST, GL_NEAREST},
        {true, true, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR},
        {false, true, GL_LINEAR, GL_LINEAR_MIPMAP_NEAREST},
    };
    while (glGetError() != GL_NO_ERROR) {
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "linear " << c.linear << ", mipmapped " << c.mipmapped);
        const GLuint texture = target.createTexture(Vec2(3.7, 2.2), c.linear, c.mipmapped);
        ASSERT_NE(texture, 0u);
        EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0);
        EXPECT_EQ(glGetError(), GL_NO_ERROR) << "every filter is one OpenGL accepts";
        EXPECT_EQ(textureParameter(texture, GL_TEXTURE_MAG_FILTER), static_cast<GLint>(c.mag));
        EXPECT_EQ(textureParameter(texture, GL_TEXTURE_MIN_FILTER), static_cast<GLint>(c.min));
        EXPECT_EQ(textureParameter(texture, GL_TEXTURE_WRAP_S), static_cast<GLint>(GL_CLAMP_TO_EDGE));
        EXPECT_EQ(textureParameter(texture, GL_TEXTURE_WRAP_T), static_cast<GLint>(GL_CLAMP_TO_EDGE));
        EXPECT_EQ(textureLevel0(texture, GL_TEXTURE_INTERNAL_FORMAT), static_cast<GLint>(GL_RGBA32F));
        EXPECT_EQ(textureLevel0(texture, GL_TEXTURE_WIDTH), 3);
        EXPECT_EQ(textureLevel0(texture, GL_TEXTURE_HEIGHT), 2);
        for (const float texel : texelsOf(texture, 3, 2)) {
            EXPECT_EQ(texel, 0.0f);
        }
        glDeleteTextures(1, &texture);
    }
}

TEST_F(RenderTargetGLTest, RenderToTextureReturnsToTheTopLayerOrToFramebufferZero)
{
    target.resize(6, 6, false);
    target.bind(false, false);
    const GLuint texture = target.createTexture(Vec2(4, 2), true, false);

    target.renderToTexture(texture, Vec2(4, 2), 0);
    const GLint pass = integer(GL_FRAMEBUFFER_BINDING);
    EXPECT_NE(pass, static_cast<GLint>(target.framebufferName()));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 4, 2}));
    clearTopLayer({1.0f, 0.0f, 0.0f, 1.0f});
    target.endRenderToTexture();
    EXPECT_EQ(glIsFramebuffer(static_cast<GLuint>(pass)), GL_FALSE);
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(target.framebufferName()));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 6, 6}));
    const std::vector<float> texels = texelsOf(texture, 4, 2);
    expectNear({texels[28], texels[29], texels[30], texels[31]}, {1.0f, 0.0f, 0.0f, 1.0f}, 0.0f);

    target.finishFrame(1.0f);
    target.renderToTexture(texture, Vec2(4, 2), 0);
    target.endRenderToTexture();
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), 0);
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 4, 2}));
    glDeleteTextures(1, &texture);
}

} // namespace
