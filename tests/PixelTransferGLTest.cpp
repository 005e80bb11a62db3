#include "renderer/PixelTransfer.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ShaderSources.h"
#include "gpu/OpenglRenderTarget.h"
#include "gpu/OpenglShader.h"
#include "support/GLCallRecorder.h"
#include "support/GLTestContext.h"

using namespace gl;
using namespace Tamrin::Solvane;
using Tamrin::Solvane::Test::GLCallRecorder;

namespace {

constexpr std::uint8_t kUntouched = 0xEE;

// A host as far as the pixel transfer sees it: get_pixel_data8 yields the world's
// data, and the suite registry serves "PF Handle Suite" version 2 unless told to
// refuse it; handles can be made to fail. Counts what was asked of it.
class FakeHost {
public:
    FakeHost()
    {
        active = this;
        utils.get_pixel_data8 = &pixelData;
        basic.AcquireSuite = &acquireSuite;
        basic.ReleaseSuite = &releaseSuite;
        handles.host_new_handle = &newHandle;
        handles.host_lock_handle = &lockHandle;
        handles.host_unlock_handle = &unlockHandle;
        handles.host_dispose_handle = &disposeHandle;
        inData.utils = &utils;
        inData.pica_basicP = &basic;
    }
    ~FakeHost() { active = nullptr; }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    PF_InData* in_data() { return &inData; }

    bool refuseSuite = false;
    bool failAllocation = false;
    int acquires = 0;
    int releases = 0;
    int handlesMade = 0;
    int handlesDisposed = 0;
    int locks = 0;
    int unlocks = 0;
    std::uint64_t lastHandleSize = 0;

private:
    struct Block {
        void* data = nullptr;
        std::vector<std::uint8_t> bytes;
    };

    static SPErr acquireSuite(const char* name, A_long version, const void** suite)
    {
        if (active->refuseSuite || std::strcmp(name, kPFHandleSuite) != 0 || version != kPFHandleSuiteVersion2) {
            return 1;
        }
        ++active->acquires;
        *suite = &active->handles;
        return 0;
    }
    static SPErr releaseSuite(const char* name, A_long version)
    {
        EXPECT_STREQ(name, kPFHandleSuite);
        EXPECT_EQ(version, kPFHandleSuiteVersion2);
        ++active->releases;
        return 0;
    }
    static PF_Err pixelData(PF_EffectWorld* world, PF_PixelPtr, PF_Pixel8** pixels)
    {
        *pixels = static_cast<PF_Pixel8*>(world->data);
        return PF_Err_NONE;
    }
    static PF_Handle newHandle(std::uint64_t size)
    {
        active->lastHandleSize = size;
        if (active->failAllocation) {
            return nullptr;
        }
        ++active->handlesMade;
        auto block = std::make_unique<Block>();
        block->bytes.assign(size, 0);
        block->data = block->bytes.data();
        PF_Handle handle = &block->data;
        active->blocks[handle] = std::move(block);
        return handle;
    }
    static void* lockHandle(PF_Handle handle)
    {
        ++active->locks;
        return *handle;
    }
    static void unlockHandle(PF_Handle) { ++active->unlocks; }
    static void disposeHandle(PF_Handle handle)
    {
        EXPECT_EQ(active->blocks.erase(handle), 1u);
        ++active->handlesDisposed;
    }

    static FakeHost* active;
    PF_InData inData{};
    PF_UtilCallbacks utils{};
    SPBasicSuite basic{};
    PF_HandleSuite2 handles{};
    std::map<PF_Handle, std::unique_ptr<Block>> blocks;
};

FakeHost* FakeHost::active = nullptr;

// An 8-bit world whose rows may be longer than its pixels; the bytes past each
// row's pixels start as kUntouched.
struct World {
    World(int width, int height, int rowbytes) : bytes(static_cast<std::size_t>(rowbytes * height), kUntouched)
    {
        def.width = width;
        def.height = height;
        def.rowbytes = rowbytes;
        def.data = bytes.data();
    }
    std::uint8_t* pixel(int x, int y) { return bytes.data() + y * def.rowbytes + x * 4; }

    std::vector<std::uint8_t> bytes;
    PF_LayerDef def{};
};

// Every byte distinct enough that a flip, a shear or a channel swap shows.
World patternWorld(int width, int height, int rowbytes)
{
    World world(width, height, rowbytes);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                world.pixel(x, y)[c] = static_cast<std::uint8_t>((x * 37 + y * 101 + c * 59 + 3) % 256);
            }
        }
    }
    world.pixel(0, 0)[1] = 0;
    world.pixel(width - 1, height - 1)[2] = 255;
    return world;
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
    void renderThrough(World& input, World& output)
    {
        const int width = input.def.width;
        const int height = input.def.height;
        target.resize(width, height, false);
        target.bind(false, false);
        std::uint64_t bytesPerPixel = 0;
        GLenum pixelType = GL_NONE;
        float multiplier = 0.0f;
        const GLuint frame =
            uploadWorld(WorldFormat::Argb8, &input.def, host.in_data(), bytesPerPixel, pixelType, multiplier, false);
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
        readbackWorld(width, height, &input.def, &output.def, host.in_data(), WorldFormat::Argb8, bytesPerPixel,
                      pixelType);
    }

    static void expectSameArea(World& actual, World& expected, int width, int height)
    {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                ASSERT_EQ(std::memcmp(actual.pixel(x, y), expected.pixel(x, y), 4), 0) << "pixel " << x << ", " << y;
            }
        }
    }

    // Bytes of `world` outside its top-left width × height pixels.
    static void expectUntouchedOutside(World& world, int width, int height)
    {
        for (int y = 0; y < world.def.height; ++y) {
            for (int offset = 0; offset < world.def.rowbytes; ++offset) {
                if (y < height && offset < width * 4) {
                    continue;
                }
                ASSERT_EQ(world.bytes[static_cast<std::size_t>(y * world.def.rowbytes + offset)], kUntouched)
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
    FakeHost host;
    std::unique_ptr<OpenglShader> copyProgram;
    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;
};

TEST_F(PixelTransferGLTest, UploadPutsEachHostPixelAtItsTexelAcrossLongRows)
{
    World input = patternWorld(5, 3, 5 * 4 + 12);
    std::uint64_t bytesPerPixel = 0;
    GLenum pixelType = GL_NONE;
    float multiplier = 0.0f;
    const GLuint texture =
        uploadWorld(WorldFormat::Argb8, &input.def, host.in_data(), bytesPerPixel, pixelType, multiplier, false);
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
                EXPECT_FLOAT_EQ(texels[static_cast<std::size_t>((y * 5 + x) * 4 + c)], input.pixel(x, y)[c] / 255.0f)
                    << "texel " << x << ", " << y << ", channel " << c;
            }
        }
    }
}

TEST_F(PixelTransferGLTest, FrameGoesUpAndComesBackUnchangedAndUnflipped)
{
    World input = patternWorld(5, 3, 5 * 4 + 12);
    World output(5, 3, 5 * 4 + 4);
    renderThrough(input, output);

    expectSameArea(output, input, 5, 3);
    expectUntouchedOutside(output, 5, 3);
    EXPECT_EQ(host.lastHandleSize, 5u * 3u * 4u);
    EXPECT_EQ(host.acquires, 1);
    EXPECT_EQ(host.releases, 1);
    EXPECT_EQ(host.handlesMade, 1);
    EXPECT_EQ(host.handlesDisposed, 1);
    EXPECT_EQ(host.locks, 1);
    EXPECT_EQ(host.unlocks, 1);
}

TEST_F(PixelTransferGLTest, ReadbackWritesOnlyWhatFrameAndOutputWorldBothHold)
{
    World input = patternWorld(5, 3, 5 * 4);
    World sameSize(5, 3, 5 * 4);
    renderThrough(input, sameSize);

    // The finished frame stays bound, so it can be read into other worlds.
    World smaller(3, 2, 3 * 4);
    readbackWorld(5, 3, &input.def, &smaller.def, host.in_data(), WorldFormat::Argb8, 4, GL_UNSIGNED_BYTE);
    expectSameArea(smaller, input, 3, 2);

    World larger(7, 5, 7 * 4 + 8);
    readbackWorld(5, 3, &input.def, &larger.def, host.in_data(), WorldFormat::Argb8, 4, GL_UNSIGNED_BYTE);
    expectSameArea(larger, input, 5, 3);
    expectUntouchedOutside(larger, 5, 3);

    // Wider but shorter, and narrower but taller.
    World wide(8, 2, 8 * 4);
    readbackWorld(5, 3, &input.def, &wide.def, host.in_data(), WorldFormat::Argb8, 4, GL_UNSIGNED_BYTE);
    expectSameArea(wide, input, 5, 2);
    expectUntouchedOutside(wide, 5, 2);
    World tall(2, 6, 2 * 4);
    readbackWorld(5, 3, &input.def, &tall.def, host.in_data(), WorldFormat::Argb8, 4, GL_UNSIGNED_BYTE);
    expectSameArea(tall, input, 2, 3);
    expectUntouchedOutside(tall, 2, 3);

    EXPECT_EQ(host.handlesMade, host.handlesDisposed);
    EXPECT_EQ(host.acquires, host.releases);
}

TEST_F(PixelTransferGLTest, FailuresThrowTheirCodeLeaveTheOutputAloneAndReleaseWhatWasTaken)
{
    World input = patternWorld(4, 2, 4 * 4);
    World first(4, 2, 4 * 4);
    renderThrough(input, first);
    const int acquiresBefore = host.acquires;
    const int releasesBefore = host.releases;

    World output(4, 2, 4 * 4);
    const auto readBack = [&](WorldFormat format) {
        return thrownCode([&] {
            readbackWorld(4, 2, &input.def, &output.def, host.in_data(), format, 4, GL_UNSIGNED_BYTE);
        });
    };

    host.refuseSuite = true;
    EXPECT_EQ(readBack(WorldFormat::Argb8), 13);
    EXPECT_EQ(host.acquires, acquiresBefore);
    EXPECT_EQ(host.releases, releasesBefore);
    expectUntouchedOutside(output, 0, 0);
    host.refuseSuite = false;

    host.failAllocation = true;
    EXPECT_EQ(readBack(WorldFormat::Argb8), 4);
    EXPECT_EQ(host.acquires, acquiresBefore + 1);
    EXPECT_EQ(host.releases, releasesBefore + 1);
    expectUntouchedOutside(output, 0, 0);
    host.failAllocation = false;

    const int handlesBefore = host.handlesMade;
    EXPECT_EQ(readBack(static_cast<WorldFormat>(0x61726762)), 516);
    EXPECT_EQ(host.releases, releasesBefore + 2);
    EXPECT_EQ(host.handlesMade, handlesBefore + 1);
    EXPECT_EQ(host.handlesDisposed, host.handlesMade) << "the handle is not left behind";
    EXPECT_EQ(host.unlocks, host.locks);
    expectUntouchedOutside(output, 0, 0);
}

TEST_F(PixelTransferGLTest, UploadOfAnotherFormatThrows516AndKeepsNoTexture)
{
    World input = patternWorld(2, 2, 2 * 4);
    std::uint64_t bytesPerPixel = 7;
    GLenum pixelType = GL_NONE;
    float multiplier = 0.0f;
    GLCallRecorder recorder;
    recorder.start();
    const int code = thrownCode([&] {
        uploadWorld(static_cast<WorldFormat>(0x61726762), &input.def, host.in_data(), bytesPerPixel, pixelType,
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
