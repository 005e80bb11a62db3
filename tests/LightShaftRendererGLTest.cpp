#include "renderer/LightShaftRenderer.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ShaderSources.h"
#include "gpu/OpenglRenderTarget.h"
#include "gpu/OpenglShader.h"
#include "renderer/ChannelOrderPass.h"
#include "renderer/LightShaftPassChain.h"
#include "renderer/FrameSequence.h"
#include "renderer/PixelTransfer.h"
#include "renderer/RayGeometry.h"
#include "support/GLCallRecorder.h"
#include "standin/HostWorld.h"
#include "standin/SubstituteHost.h"
#include "support/GLTestContext.h"
#include "support/HostTestSupport.h"
#include "support/LightShaftReference.h"
#include "support/Workbench.h"

using namespace gl;
using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

RenderSettings settingsAt(Vec2 center, int quality, bool rayOnly = false, double shineLength = 2048.0)
{
    RenderSettings settings;
    settings.threshold = 0.55;
    settings.thresholdSmooth = 0.2;
    settings.center = center;
    settings.quality = quality;
    settings.shineLength = shineLength;
    settings.exposure = 0.7;
    settings.rayOnly = rayOnly;
    return settings;
}

// One frame through the render command's OpenGL steps, with the host stand-in's
// handle suite and worlds: size and bind the render target, upload the layer,
// render, convert, and read back into a host world. A recorder, when given, sees
// the calls of render() alone.
std::vector<std::uint8_t> renderFrame(LightShaftRenderer& renderer, const std::vector<std::uint8_t>& layer, int width,
                                      int height, const RenderSettings& settings,
                                      Support::GLCallRecorder* recorder = nullptr)
{
    StandIn::SubstituteHost host(nullptr);
    StandIn::HostWorld input(width, height);
    for (int y = 0; y < height; ++y) {
        std::memcpy(input.row(y), layer.data() + static_cast<std::size_t>(y) * width * 4,
                    static_cast<std::size_t>(width) * 4);
    }
    StandIn::HostWorld output(width, height);
    renderer.settings = settings;
    runFrameSequence(renderer, &host.inData(), &input.def(), &output.def(), [&](FrameStep step) {
        if (recorder == nullptr) {
            return;
        }
        if (step == FrameStep::Upload) {
            recorder->start();
        } else if (step == FrameStep::Render) {
            recorder->stop();
            GLint boundArray = 0;
            glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &boundArray);
            EXPECT_NE(boundArray, 0) << "render() leaves its vertex array bound";
        }
    });
    return Support::pixels(output);
}

// The same OpenGL steps as the frame sequence, with the ray box given instead of
// worked out by the renderer.
std::vector<std::uint8_t> renderFrameWithGeometry(LightShaftRenderer& renderer, const std::vector<std::uint8_t>& layer,
                                                  int width, int height, const RenderSettings& settings,
                                                  const RayGeometry& geometry)
{
    StandIn::SubstituteHost host(nullptr);
    StandIn::HostWorld input(width, height);
    for (int y = 0; y < height; ++y) {
        std::memcpy(input.row(y), layer.data() + static_cast<std::size_t>(y) * width * 4,
                    static_cast<std::size_t>(width) * 4);
    }
    StandIn::HostWorld output(width, height);
    renderer.settings = settings;
    OpenglRenderTarget& target = OpenglRenderTarget::instance();
    target.setConversionPassMaker(makeChannelOrderPass);
    target.resize(width, height, false);
    target.bind(false, false);
    std::uint64_t bytesPerPixel = 4;
    GLenum pixelType = GL_UNSIGNED_BYTE;
    float multiplier = 1.0f;
    GLuint frameTexture =
        uploadWorld(WorldFormat::Argb8, &input.def(), &host.inData(), bytesPerPixel, pixelType, multiplier, false);
    renderer.render(frameTexture, Vec2(width, height), geometry);
    glDeleteTextures(1, &frameTexture);
    target.finishFrame(multiplier);
    readbackWorld(width, height, &input.def(), &output.def(), &host.inData(), WorldFormat::Argb8, bytesPerPixel,
                  pixelType);
    return Support::pixels(output);
}

std::string caseName(const RenderSettings& s)
{
    std::string name = "q" + std::to_string(s.quality) + "_c" + std::to_string(static_cast<long long>(s.center.x)) +
                       "_" + std::to_string(static_cast<long long>(s.center.y)) + (s.rayOnly ? "_rays" : "_screen");
    for (char& c : name) {
        c = c == '-' ? 'm' : c;
    }
    return name;
}

// Compares a frame with the CPU reference, within `tolerance` levels of 8 bits
// per byte; a failure leaves both images and their difference in the test's folder.
void expectMatchesReference(const std::vector<std::uint8_t>& actual, Support::ReferenceFrame& expected,
                            const std::vector<std::uint8_t>& layer, int width, int height,
                            const RenderSettings& settings, int tolerance)
{
    Support::referenceComposite(expected, layer, width, height, settings);
    EXPECT_TRUE(Support::sameImage("lightshaft_" + caseName(settings), width, height, actual, expected.argb,
                                   Support::PixelOrder::Argb, tolerance));
}

void expectMatchesReference(const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& layer, int width,
                            int height, const RenderSettings& settings, int tolerance)
{
    Support::ReferenceFrame expected = Support::referenceRaySums(layer, width, height, settings);
    expectMatchesReference(actual, expected, layer, width, height, settings, tolerance);
}

class LightShaftRendererGLTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!Support::makeTestContextCurrent()) {
            GTEST_SKIP() << "no OpenGL context";
        }
        renderer = std::make_unique<LightShaftRenderer>();
    }

    void TearDown() override
    {
        if (renderer) {
            renderer.reset();
            EXPECT_EQ(glGetError(), GL_NO_ERROR);
        }
    }

    std::unique_ptr<LightShaftRenderer> renderer;
};

// The tolerance in 8-bit levels for frames against the reference. The reference
// computes in double on the float values the GPU receives; llvmpipe differs in
// its float sums (see the pass chain's tests) and in its atan, sin and exp2, and
// the exposure scales those differences up (by 4 at 2 stops). A value that lies
// near the middle between two levels can then round either way: on llvmpipe a few
// bytes per frame differ by one level. Two leaves room for another driver's
// transcendentals while still catching any read from a wrong texel, which moves
// the test layer's edges by tens of levels.
constexpr int kFrameTolerance = 2;

} // namespace

TEST_F(LightShaftRendererGLTest, MatchesTheReferenceForCentresQualitiesAndOutputs)
{
    const int width = 64;
    const int height = 48;
    const std::vector<std::uint8_t> layer = Support::makeTestLayer(width, height);
    // Inside, on the left and the right edge, left of and above, right of and below the layer.
    const std::vector<Vec2> centres = {Vec2(40.3, 19.6), Vec2(0.0, 30.0), Vec2(width, 12.0), Vec2(-25.0, -14.0),
                                       Vec2(90.0, 70.0)};
    for (int quality = 0; quality < 3; ++quality) {
        for (const Vec2& center : centres) {
            Support::ReferenceFrame expected =
                Support::referenceRaySums(layer, width, height, settingsAt(center, quality));
            for (const bool rayOnly : {false, true}) {
                const RenderSettings settings = settingsAt(center, quality, rayOnly);
                SCOPED_TRACE(caseName(settings));
                const std::vector<std::uint8_t> frame = renderFrame(*renderer, layer, width, height, settings);
                expectMatchesReference(frame, expected, layer, width, height, settings, kFrameTolerance);
            }
        }
    }
}

TEST_F(LightShaftRendererGLTest, ShortShineAndStrongExposureMatchTheReference)
{
    const int width = 48;
    const int height = 32;
    const std::vector<std::uint8_t> layer = Support::makeTestLayer(width, height);
    for (const double shineLength : {0.0, 37.0}) {
        RenderSettings settings = settingsAt(Vec2(10.0, 30.0), 0, false, shineLength);
        settings.exposure = 2.0;
        SCOPED_TRACE(shineLength);
        const std::vector<std::uint8_t> frame = renderFrame(*renderer, layer, width, height, settings);
        expectMatchesReference(frame, layer, width, height, settings, kFrameTolerance);
    }
}

// A far centre gets a box cut down to the rays' reach; the frame still matches the
// reference, which always works over the whole box.
TEST_F(LightShaftRendererGLTest, AFarCentreRendersFromABoundedBoxAsFromTheWholeOne)
{
    const int width = 48;
    const int height = 32;
    const std::vector<std::uint8_t> layer = Support::makeTestLayer(width, height);
    struct Case {
        Vec2 center;
        int quality;
        double shineLength;
    };
    // Far along one axis or both; (-6001, -4.6) at quality Low gives the whole box a
    // width of 2016.33 texels, whose fraction the composite's reads must keep.
    for (const Case& c : {Case{Vec2(-6000.0, 20.0), 0, 2048.0}, Case{Vec2(-6001.0, -4.6), 2, 2048.0},
                          Case{Vec2(25.0, 5200.7), 1, 2048.0}, Case{Vec2(-2600.0, -2500.0), 1, 300.0}}) {
        Support::ReferenceFrame expected =
            Support::referenceRaySums(layer, width, height, settingsAt(c.center, c.quality, false, c.shineLength));
        for (const bool rayOnly : {false, true}) {
            const RenderSettings settings = settingsAt(c.center, c.quality, rayOnly, c.shineLength);
            SCOPED_TRACE(caseName(settings));
            const RayGeometry g = computeRayGeometry(settings, Vec2(width, height));
            ASSERT_TRUE(g.bounded);
            const std::vector<std::uint8_t> frame = renderFrame(*renderer, layer, width, height, settings);
            EXPECT_EQ(renderer->chain().lastTextureSize(), g.textureSize);
            EXPECT_LT(g.textureSize.x, expected.textureSize.x + (g.textureSize.y < expected.textureSize.y ? 1 : 0));
            expectMatchesReference(frame, expected, layer, width, height, settings, kFrameTolerance);
        }
    }
}

// Centres no texture could reach render too. Rays from a centre a million pixels
// away are parallel to within a few millionths, like those from one a billion
// away; the pairs below also share the fraction of a texel by which the
// composite's unrounded box size shifts its reads, so their frames agree.
// Quality Low and a short shine keep the boxes small and the shafts bright.
TEST_F(LightShaftRendererGLTest, CentresBeyondAnyTextureLimitRender)
{
    const int width = 48;
    const int height = 32;
    const std::vector<std::uint8_t> layer = Support::makeTestLayer(width, height);
    const double shine = 40.0;
    const double margin = rayReadMargin(3, shine);
    const auto expectBounded = [&] {
        const Vec2i size = renderer->chain().lastTextureSize();
        EXPECT_LE(size.x, std::ceil(width / 3.0 + margin) + 1);
        EXPECT_LE(size.y, std::ceil(height / 3.0 + margin) + 1);
    };
    for (const auto& [nearCentre, farCentre] : {std::make_pair(Vec2(-1.0e6, 16.0), Vec2(-999999976.0, 16.0)),
                                                std::make_pair(Vec2(1.0e6, 1.0e6), Vec2(7.0e8, 7.0e8)),
                                                std::make_pair(Vec2(24.0, -2000002.0), Vec2(24.0, -999999901.0))}) {
        SCOPED_TRACE(testing::Message() << "centre (" << nearCentre.x << ", " << nearCentre.y << ")");
        const std::vector<std::uint8_t> nearFrame =
            renderFrame(*renderer, layer, width, height, settingsAt(nearCentre, 2, false, shine));
        expectBounded();
        const std::vector<std::uint8_t> farFrame =
            renderFrame(*renderer, layer, width, height, settingsAt(farCentre, 2, false, shine));
        expectBounded();
        EXPECT_TRUE(Support::sameImage("far-against-near", width, height, farFrame, nearFrame,
                                       Support::PixelOrder::Argb, kFrameTolerance));
    }

    // Beyond what float arithmetic holds, and not even finite: the shafts are still there.
    const double inf = std::numeric_limits<double>::infinity();
    for (const Vec2& center : {Vec2(-1.0e300, 16.0), Vec2(inf, inf), Vec2(24.0, -inf),
                               Vec2(std::numeric_limits<double>::quiet_NaN(), -1.0e15)}) {
        SCOPED_TRACE(testing::Message() << "centre (" << center.x << ", " << center.y << ")");
        const std::vector<std::uint8_t> rays =
            renderFrame(*renderer, layer, width, height, settingsAt(center, 2, true, shine));
        expectBounded();
        int brightest = 0;
        for (std::size_t i = 1; i < rays.size(); i += 4) {
            brightest = std::max<int>(brightest, rays[i]);
        }
        EXPECT_GT(brightest, 40);
    }
}

// Centres in all eight directions, out to the host's limit (its points are 16.16
// fixed-point numbers: 32767 pixels) and beyond it, against the reference over
// the whole box (worked out only where the frame reads it).
TEST_F(LightShaftRendererGLTest, FarCentresInEveryDirectionMatchTheReference)
{
    const int width = 40;
    const int height = 28;
    const std::vector<std::uint8_t> layer = Support::makeTestLayer(width, height);
    struct Case {
        double distance;
        int quality;
        double shineLength;
        bool rayOnly;
    };
    for (const Case& c : {Case{32767.0, 0, 2048.0, false}, Case{6000.0, 1, 2048.0, true},
                          Case{1.0e6, 2, 600.0, false}}) {
        const double d = c.distance;
        // Off the corners a little unevenly, so that no ray is exactly diagonal.
        for (const Vec2& center : {Vec2(-d, 11.0), Vec2(width + d, 19.0), Vec2(13.0, -d), Vec2(25.0, height + d),
                                   Vec2(-d, -0.8 * d), Vec2(0.9 * d, -d), Vec2(-0.7 * d, height + d),
                                   Vec2(width + d, 0.6 * d)}) {
            const RenderSettings settings = settingsAt(center, c.quality, c.rayOnly, c.shineLength);
            SCOPED_TRACE(caseName(settings));
            const std::vector<std::uint8_t> frame = renderFrame(*renderer, layer, width, height, settings);
            EXPECT_TRUE(computeRayGeometry(settings, Vec2(width, height)).bounded);
            const std::vector<std::uint8_t> expected =
                Support::referenceFarLightShafts(layer, width, height, settings);
            EXPECT_TRUE(Support::sameImage("lightshaft_far_" + caseName(settings), width, height, frame, expected,
                                           Support::PixelOrder::Argb, kFrameTolerance));
        }
    }
}

// The box bounded by the rays' slant gives the bytes of the box grown by the whole
// margin on each axis, to a level in a few pixels, whatever the size, centre,
// quality and output. (The float rounding of the texture coordinates follows the
// box's texel count; a box one texel larger than the whole margin's moves a few
// bytes by a level at 1080p too.)
TEST_F(LightShaftRendererGLTest, TheSlantedBoundRendersTheBytesOfTheWholeMargin)
{
    struct Case {
        int width;
        int height;
        Vec2 center;
        int quality;
        double shineLength;
        bool rayOnly;
    };
    const std::vector<Case> cases = {
        {48, 32, Vec2(-20000.0, -20000.0), 0, 300.0, false}, {48, 32, Vec2(32767.0, -9000.0), 1, 2048.0, true},
        {48, 32, Vec2(-3000.0, 25000.0), 2, 2048.0, false},  {48, 32, Vec2(5000.0, 4000.0), 2, 700.0, true},
        {48, 32, Vec2(-1500.0, -1200.0), 1, 2048.0, false},  {61, 37, Vec2(-32767.0, 10.0), 1, 2048.0, false},
        {61, 37, Vec2(-32767.0, -32767.0), 2, 2048.0, true}, {61, 37, Vec2(20000.0, 30000.0), 0, 300.0, false},
        {61, 37, Vec2(-2500.0, 3000.0), 2, 1000.0, true},    {96, 40, Vec2(1.0e6, -1.0e6), 2, 2048.0, false},
        {96, 40, Vec2(-7000.0, -30000.0), 1, 2048.0, true},  {96, 40, Vec2(700.0, -2600.0), 1, 2048.0, false}};
    int smaller = 0;
    int banded = 0;
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> layer = Support::makeTestLayer(c.width, c.height);
        const RenderSettings settings = settingsAt(c.center, c.quality, c.rayOnly, c.shineLength);
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "_" + caseName(settings));
        const Vec2 frameSize(c.width, c.height);
        const double whole = rayReadMargin(c.quality + 1, c.shineLength);
        const RayGeometry before = computeRayGeometry(settings, frameSize, Vec2(whole, whole));
        const RayGeometry now = computeRayGeometry(settings, frameSize);
        smaller += now.textureSize.x < before.textureSize.x || now.textureSize.y < before.textureSize.y ? 1 : 0;

        const std::vector<std::uint8_t> frame = renderFrame(*renderer, layer, c.width, c.height, settings);
        EXPECT_EQ(renderer->chain().lastTextureSize(), now.textureSize);
        const std::vector<std::uint8_t> wholeMargin =
            renderFrameWithGeometry(*renderer, layer, c.width, c.height, settings, before);
        EXPECT_EQ(renderer->chain().lastTextureSize(), before.textureSize);
        // Within one level on at most 1 % of the pixels: the texture coordinates' float rounding follows the box's
        // texel count, and softpipe's filtering turns it into a level in 6 of 1,536 pixels (llvmpipe and zink:
        // none). A box that lost part of a ray would darken whole shafts.
        EXPECT_TRUE(Support::sameImage("box-against-whole-reach_" + caseName(settings), c.width, c.height, frame,
                                       wholeMargin, Support::PixelOrder::Argb, 1));
        std::size_t differing = 0;
        for (std::size_t i = 0; i + 3 < frame.size(); i += 4) {
            differing += std::equal(&frame[i], &frame[i] + 4, &wholeMargin[i]) ? 0 : 1;
        }
        EXPECT_LE(differing * 100, static_cast<std::size_t>(c.width * c.height));
        // Drawing the passes only where the output's reads lie leaves the frame's bytes as they were with the passes
        // drawn everywhere: the scissor leaves every drawn fragment's value alone, so this holds on every driver.
        if (!now.drawRects.empty()) {
            ++banded;
            RayGeometry everywhere = now;
            everywhere.drawRects.clear();
            EXPECT_TRUE(Support::sameImage(
                "band-against-everywhere_" + caseName(settings), c.width, c.height,
                renderFrameWithGeometry(*renderer, layer, c.width, c.height, settings, everywhere), frame,
                Support::PixelOrder::Argb));
        }
        // The steps above are the frame sequence's: with the same box they give its bytes.
        if (&c == &cases.front()) {
            EXPECT_TRUE(Support::sameImage(
                "steps-against-sequence_" + caseName(settings), c.width, c.height,
                renderFrameWithGeometry(*renderer, layer, c.width, c.height, settings, now), frame,
                Support::PixelOrder::Argb));
        }
    }
    // All but the centre level with the layer and the three within the whole
    // margin's reach (whose box is the whole box either way) get a smaller box.
    EXPECT_EQ(smaller, static_cast<int>(cases.size()) - 4);
    EXPECT_GE(banded, smaller);
}

TEST_F(LightShaftRendererGLTest, TransparentLayerStaysTransparentBlack)
{
    const int width = 48;
    const int height = 32;
    // Bright colours under zero alpha: nothing may shine, and the blend must not
    // divide zero by zero.
    std::vector<std::uint8_t> layer(static_cast<std::size_t>(width) * height * 4, 255);
    for (std::size_t i = 0; i < layer.size(); i += 4) {
        layer[i] = 0;
    }
    for (const bool rayOnly : {false, true}) {
        SCOPED_TRACE(rayOnly);
        const RenderSettings settings = settingsAt(Vec2(30.0, 10.0), 0, rayOnly);
        const std::vector<std::uint8_t> frame = renderFrame(*renderer, layer, width, height, settings);
        std::size_t coloured = 0;
        for (std::size_t i = 0; i < frame.size(); i += 4) {
            EXPECT_EQ(frame[i], 0) << "alpha of pixel " << i / 4;
            coloured += frame[i + 1] != 0 || frame[i + 2] != 0 || frame[i + 3] != 0 ? 1 : 0;
        }
        // Screened, everything is transparent black. The rays alone take the layer's
        // own colour at the centre pixel, still with alpha 0.
        EXPECT_EQ(coloured, rayOnly ? 1u : 0u);
        expectMatchesReference(frame, layer, width, height, settings, 0);
    }
}

// The layer is 8 bits deep, so a NaN would be hidden in the conversion; the
// composite program is drawn into a float texture here to see its values.
TEST_F(LightShaftRendererGLTest, CompositeWritesTransparentBlackWhereLayerAndShineAreTransparent)
{
    const int size = 8;
    const auto makeTexture = [](int w, int h, const std::vector<float>& texels) {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_LINEAR));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GL_LINEAR));
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), w, h, 0, GL_RGBA, GL_FLOAT,
                     texels.empty() ? nullptr : texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return texture;
    };
    // Transparent layer pixels with colour, no ray sums at all.
    std::vector<float> video(size * size * 4, 1.0f);
    for (std::size_t i = 0; i < video.size(); i += 4) {
        video[i] = 0.0f;
    }
    const GLuint videoTexture = makeTexture(size, size, video);
    const GLuint shadowTexture = makeTexture(size, size, std::vector<float>(size * size * 4, 0.0f));
    const GLuint outputTexture = makeTexture(size, size, {});
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, outputTexture, 0);
    glViewport(0, 0, size, size);
    glDisable(GL_BLEND);

    const float quad[30] = {1, -1, 0, 1, 0, 1,  1,  0, 1, 1, -1, 1, 0, 0, 1,
                            -1, 1, 0, 0, 1, -1, -1, 0, 0, 0, 1, -1, 0, 1, 0};
    GLuint vertexArray = 0;
    GLuint buffer = 0;
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);

    OpenglShader composite(Shaders::passthrough_vert, Shaders::composite_frag);
    composite.bindAttribLocation("position", 0);
    composite.bindAttribLocation("input_uv", 1);
    composite.use();
    ASSERT_NE(composite.programName(), 0u);
    composite.setAttribPointer3f(0, 0, 20);
    composite.setAttribPointer2f(1, 12, 20);
    composite.setTexture("videoTexture", GL_TEXTURE_2D, videoTexture, 0);
    composite.setTexture("shadowTexture", GL_TEXTURE_2D, shadowTexture, 1);
    composite.setUniform2f("offset", Vec2(0.0, 0.0));
    composite.setUniform2f("sSize", Vec2(size, size));
    composite.setUniform2f("radialCenter", Vec2(2.5, 2.5));
    composite.setUniform1f("shadowLength", 2048.0f);
    composite.setUniform1f("exposure", 0.4f);
    composite.setUniform1f("step", 1.0f);
    composite.setUniform1f("shadowOnly", 0.0f);
    glDrawArrays(GL_TRIANGLES, 0, 6);

    std::vector<float> result(size * size * 4, -1.0f);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, size, size, GL_RGBA, GL_FLOAT, result.data());
    for (std::size_t i = 0; i < result.size(); ++i) {
        ASSERT_EQ(result[i], 0.0f) << "pixel " << i / 4 << " channel " << i % 4;
    }

    composite.disableAttrib(0);
    composite.disableAttrib(1);
    glBindVertexArray(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteVertexArrays(1, &vertexArray);
    glDeleteBuffers(1, &buffer);
    const GLuint textures[3] = {videoTexture, shadowTexture, outputTexture};
    glDeleteTextures(3, textures);
}

TEST_F(LightShaftRendererGLTest, DrawsTheChainThenOneCompositePass)
{
    const int width = 48;
    const int height = 32;
    const std::vector<std::uint8_t> layer = Support::makeTestLayer(width, height);
    for (int quality = 0; quality < 3; ++quality) {
        Support::GLCallRecorder recorder;
        renderFrame(*renderer, layer, width, height, settingsAt(Vec2(12.0, 40.0), quality), &recorder);
        EXPECT_EQ(recorder.count("glDrawArrays"), quality == 0 ? 14u : 13u);
        // The composite goes into the render target's layer once the chain has given it back.
        EXPECT_TRUE(recorder.madeInOrder({"glBindVertexArray(0)", "glBindVertexArray", "glUseProgram",
                                          "glDrawArrays(GL_TRIANGLES, 0, 6)"}));
        EXPECT_TRUE(recorder.madeNo("glGetError"));
    }
}

// Vertex arrays belong to one context: a frame rendered by another thread, with
// its own context, must come out byte for byte the same.
TEST_F(LightShaftRendererGLTest, RendersTheSameBytesOnAnotherThreadsContext)
{
    const int width = 64;
    const int height = 48;
    const std::vector<std::uint8_t> layer = Support::makeTestLayer(width, height);
    const RenderSettings settings = settingsAt(Vec2(-20.0, 30.0), 1);
    // Names are counted per context: with these taken here, the renderer's names in
    // this context are ones that the other thread's fresh context has not made.
    GLuint taken[64] = {};
    glGenVertexArrays(64, taken);
    const std::vector<std::uint8_t> here = renderFrame(*renderer, layer, width, height, settings);

    std::vector<std::uint8_t> there;
    bool hadContext = false;
    std::thread other([&] {
        hadContext = Support::makeTestContextCurrent();
        if (hadContext) {
            there = renderFrame(*renderer, layer, width, height, settings);
            glFinish();
        }
    });
    other.join();
    ASSERT_TRUE(hadContext);
    EXPECT_TRUE(Support::sameImage("other-thread", width, height, there, here, Support::PixelOrder::Argb));

    // And back on this thread, with this thread's objects.
    ASSERT_TRUE(Support::makeTestContextCurrent());
    EXPECT_TRUE(Support::sameImage("back-on-this-thread", width, height,
                                   renderFrame(*renderer, layer, width, height, settings), here,
                                   Support::PixelOrder::Argb));
    expectMatchesReference(here, layer, width, height, settings, kFrameTolerance);
    glDeleteVertexArrays(64, taken);
}
