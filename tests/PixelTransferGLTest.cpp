#include "renderer/PixelTransfer.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "ShaderSources.h"
#include "gpu/OpenglRenderTarget.h"
#include "gpu/OpenglShader.h"
#include "standin/HostWorld.h"
#include "standin/SubstituteHost.h"
#include "support/GLCallRecorder.h"
#include "support/GLTestContext.h"

using namespace gl;
using namespace Tamrin::Solvane;
using Tamrin::Solvane::StandIn::HostWorld;
using Tamrin::Solvane::StandIn::SubstituteHost;
using Tamrin::Solvane::Test::GLCallRecorder;

namespace {

constexpr std::uint8_t kUntouched = HostWorld::kPaddingMarker;

// An 8-bit host world whose rows are `rowbytes` long; every byte, pixels and row
// padding, starts as kUntouched.
std::unique_ptr<HostWorld> world(int width, int height, int rowbytes)
{
    auto made = std::make_unique<HostWorld>(width, height, rowbytes - width * 4);
    made->fill(kUntouched);
    return made;
}

std::uint8_t* pixel(HostWorld& world, int x, int y)
{
    return world.row(y) + x * 4;
}

// Every byte distinct enough that a flip, a shear or a channel swap shows.
std::unique_ptr<HostWorld> patternWorld(int width, int height, int rowbytes)
{
    auto made = world(width, height, rowbytes);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                pixel(*made, x, y)[c] = static_cast<std::uint8_t>((x * 37 + y * 101 + c * 59 + 3) % 256);
            }
        }
    }
    pixel(*made, 0, 0)[1] = 0;
    pixel(*made, width - 1, height - 1)[2] = 255;
    return made;
}

int thrownCode(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (int code) {
        return code;
    }
    return 0;
}

class PixelTransferGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent());
        target.release();
        copyProgram = std::make_unique<OpenglShader>(Shaders::passthrough_vert, kGbarCopy);
        copyProgram->bindAttribLocation("position", 0);
        copyProgram->bindAttribLocation("input_uv", 1);
        const GLfloat quad[30] = {1, -1, 0, 1, 0, 1, 1, 0, 1, 1, -1, 1, 0, 0, 1,
                                  -1, 1, 0, 0, 1, -1, -1, 0, 0, 0, 1, -1, 0, 1, 0};
        glGenVertexArrays(1, &vertexArray);
        glBindVertexArray(vertexArray);
        glGenBuffers(1, &vertexBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    void TearDown() override
    {
        copyProgram.reset();
        glDeleteBuffers(1, &vertexBuffer);
        glDeleteVertexArrays(1, &vertexArray);
        target.release();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }

    // The render command's road for one frame, with a draw that copies the
    // uploaded frame's ".gbar" read into the layer instead of the effect.
    void renderThrough(HostWorld& input, HostWorld& output)
    {
        const int width = input.width();
        const int height = input.height();
        target.resize(width, height, false);
        target.bind(false, false);
        std::uint64_t bytesPerPixel = 0;
        GLenum pixelType = GL_NONE;
        float multiplier = 0.0f;
        const GLuint frame =
            uploadWorld(WorldFormat::Argb8, &input.def(), &host.inData(), bytesPerPixel, pixelType, multiplier, false);
        EXPECT_EQ(bytesPerPixel, 4u);
        EXPECT_EQ(pixelType, GL_UNSIGNED_BYTE);
        EXPECT_EQ(multiplier, 1.0f);

        glBindVertexArray(vertexArray);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
        copyProgram->use();
        copyProgram->setAttribPointer3f(0, 0, 20);
        copyProgram->setAttribPointer2f(1, 12, 20);
        copyProgram->setTexture("videoTexture", GL_TEXTURE_2D, frame, 0);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        copyProgram->disableAttrib(0);
        copyProgram->disableAttrib(1);
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);

        glDeleteTextures(1, &frame);
        target.finishFrame(multiplier);
        readbackWorld(width, height, &input.def(), &output.def(), &host.inData(), WorldFormat::Argb8, bytesPerPixel,
                      pixelType);
    }

    static void expectSameArea(HostWorld& actual, HostWorld& expected, int width, int height)
    {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                ASSERT_EQ(std::memcmp(pixel(actual, x, y), pixel(expected, x, y), 4), 0) << "pixel " << x << ", " << y;
            }
        }
    }

    // Bytes of `world` outside its top-left width × height pixels.
    static void expectUntouchedOutside(HostWorld& world, int width, int height)
    {
        for (int y = 0; y < world.height(); ++y) {
            for (int offset = 0; offset < world.rowbytes(); ++offset) {
                if (y < height && offset < width * 4) {
                    continue;
                }
                ASSERT_EQ(world.row(y)[offset], kUntouched)
                    << "row " << y << ", byte " << offset;
            }
        }
    }

    static constexpr const char* kGbarCopy = "#version 330\n"
                                             "in vec2 uv;\n"
                                             "out vec4 colourOut;\n"
                                             "uniform sampler2D videoTexture;\n"
                                             "void main() { colourOut = texture(videoTexture, uv).gbar; }\n";

    OpenglRenderTarget& target = OpenglRenderTarget::instance();
    SubstituteHost host{nullptr}; // the handle suite and pixel access of the transfer
    std::unique_ptr<OpenglShader> copyProgram;
    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;
};

TEST_F(PixelTransferGLTest, UploadPutsEachHostPixelAtItsTexelAcrossLongRows)
{
    auto input = patternWorld(5, 3, 5 * 4 + 12);
    std::uint64_t bytesPerPixel = 0;
    GLenum pixelType = GL_NONE;
    float multiplier = 0.0f;
    const GLuint texture =
        uploadWorld(WorldFormat::Argb8, &input->def(), &host.inData(), bytesPerPixel, pixelType, multiplier, false);
    EXPECT_EQ(bytesPerPixel, 4u);
    EXPECT_EQ(pixelType, GL_UNSIGNED_BYTE);
    EXPECT_EQ(multiplier, 1.0f);
    GLint value = -1;
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, 0);

    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &value);
    EXPECT_EQ(value, static_cast<GLint>(GL_RGBA32F));
    std::vector<float> texels(5 * 3 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_FLOAT_EQ(texels[static_cast<std::size_t>((y * 5 + x) * 4 + c)], pixel(*input, x, y)[c] / 255.0f)
                    << "texel " << x << ", " << y << ", channel " << c;
            }
        }
    }
}

TEST_F(PixelTransferGLTest, FrameGoesUpAndComesBackUnchangedAndUnflipped)
{
    auto input = patternWorld(5, 3, 5 * 4 + 12);
    auto output = world(5, 3, 5 * 4 + 4);
    renderThrough(*input, *output);

    expectSameArea(*output, *input, 5, 3);
    expectUntouchedOutside(*output, 5, 3);
    EXPECT_EQ(host.counts.lastHandleSize, 5u * 3u * 4u);
    EXPECT_EQ(host.counts.suiteAcquisitions, 1);
    EXPECT_EQ(host.counts.suiteReleases, 1);
    EXPECT_EQ(host.counts.handlesMade, 1);
    EXPECT_EQ(host.counts.handlesDisposed, 1);
    EXPECT_EQ(host.counts.handleLocks, 1);
    EXPECT_EQ(host.counts.handleUnlocks, 1);
}

TEST_F(PixelTransferGLTest, ReadbackWritesOnlyWhatFrameAndOutputWorldBothHold)
{
    auto input = patternWorld(5, 3, 5 * 4);
    auto sameSize = world(5, 3, 5 * 4);
    renderThrough(*input, *sameSize);

    // The finished frame stays bound, so it can be read into other worlds.
    auto smaller = world(3, 2, 3 * 4);
    readbackWorld(5, 3, &input->def(), &smaller->def(), &host.inData(), WorldFormat::Argb8, 4, GL_UNSIGNED_BYTE);
    expectSameArea(*smaller, *input, 3, 2);

    auto larger = world(7, 5, 7 * 4 + 8);
    readbackWorld(5, 3, &input->def(), &larger->def(), &host.inData(), WorldFormat::Argb8, 4, GL_UNSIGNED_BYTE);
    expectSameArea(*larger, *input, 5, 3);
    expectUntouchedOutside(*larger, 5, 3);

    // Wider but shorter, and narrower but taller.
    auto wide = world(8, 2, 8 * 4);
    readbackWorld(5, 3, &input->def(), &wide->def(), &host.inData(), WorldFormat::Argb8, 4, GL_UNSIGNED_BYTE);
    expectSameArea(*wide, *input, 5, 2);
    expectUntouchedOutside(*wide, 5, 2);
    auto tall = world(2, 6, 2 * 4);
    readbackWorld(5, 3, &input->def(), &tall->def(), &host.inData(), WorldFormat::Argb8, 4, GL_UNSIGNED_BYTE);
    expectSameArea(*tall, *input, 2, 3);
    expectUntouchedOutside(*tall, 2, 3);

    EXPECT_EQ(host.counts.handlesMade, host.counts.handlesDisposed);
    EXPECT_EQ(host.counts.suiteAcquisitions, host.counts.suiteReleases);
}

TEST_F(PixelTransferGLTest, FailuresThrowTheirCodeLeaveTheOutputAloneAndReleaseWhatWasTaken)
{
    auto input = patternWorld(4, 2, 4 * 4);
    auto first = world(4, 2, 4 * 4);
    renderThrough(*input, *first);
    const int acquiresBefore = host.counts.suiteAcquisitions;
    const int releasesBefore = host.counts.suiteReleases;

    auto output = world(4, 2, 4 * 4);
    const auto readBack = [&](WorldFormat format) {
        return thrownCode([&] {
            readbackWorld(4, 2, &input->def(), &output->def(), &host.inData(), format, 4, GL_UNSIGNED_BYTE);
        });
    };

    host.faults.refusedSuites.insert(kPFHandleSuite);
    EXPECT_EQ(readBack(WorldFormat::Argb8), 13);
    EXPECT_EQ(host.counts.suiteAcquisitions, acquiresBefore);
    EXPECT_EQ(host.counts.suiteReleases, releasesBefore);
    expectUntouchedOutside(*output, 0, 0);
    host.faults.refusedSuites.clear();

    host.faults.failHandleAllocation = true;
    EXPECT_EQ(readBack(WorldFormat::Argb8), 4);
    EXPECT_EQ(host.counts.suiteAcquisitions, acquiresBefore + 1);
    EXPECT_EQ(host.counts.suiteReleases, releasesBefore + 1);
    expectUntouchedOutside(*output, 0, 0);
    host.faults.failHandleAllocation = false;

    const int handlesBefore = host.counts.handlesMade;
    EXPECT_EQ(readBack(static_cast<WorldFormat>(0x61726762)), 516);
    EXPECT_EQ(host.counts.suiteReleases, releasesBefore + 2);
    EXPECT_EQ(host.counts.handlesMade, handlesBefore + 1);
    EXPECT_EQ(host.counts.handlesDisposed, host.counts.handlesMade) << "the handle is not left behind";
    EXPECT_EQ(host.counts.handleUnlocks, host.counts.handleLocks);
    expectUntouchedOutside(*output, 0, 0);
}

TEST_F(PixelTransferGLTest, UploadOfAnotherFormatThrows516AndKeepsNoTexture)
{
    auto input = patternWorld(2, 2, 2 * 4);
    std::uint64_t bytesPerPixel = 7;
    GLenum pixelType = GL_NONE;
    float multiplier = 0.0f;
    GLCallRecorder recorder;
    recorder.start();
    const int code = thrownCode([&] {
        uploadWorld(static_cast<WorldFormat>(0x61726762), &input->def(), &host.inData(), bytesPerPixel, pixelType,
                    multiplier, false);
    });
    recorder.stop();
    EXPECT_EQ(code, 516);
    EXPECT_EQ(bytesPerPixel, 7u);
    EXPECT_EQ(recorder.count("glGenTextures"), 1u);
    EXPECT_EQ(recorder.count("glDeleteTextures"), 1u);
    EXPECT_TRUE(recorder.madeNo("glTexSubImage2D"));
    EXPECT_TRUE(recorder.madeNo("glPixelStorei"));
}

} // namespace
