#include "renderer/LightShaftPassChain.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gpu/OpenglRenderTarget.h"
#include "renderer/RayGeometry.h"
#include "support/GLCallRecorder.h"
#include "support/GLTestContext.h"
#include "support/LightShaftReference.h"

using namespace gl;
using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

RenderSettings settingsAt(Vec2 center, int quality, double shineLength = 2048.0)
{
    RenderSettings settings;
    settings.threshold = 0.55;
    settings.thresholdSmooth = 0.2;
    settings.center = center;
    settings.quality = quality;
    settings.shineLength = shineLength;
    return settings;
}

std::vector<float> readTexture(GLuint texture, Vec2i size)
{
    std::vector<float> texels(static_cast<std::size_t>(size.x) * size.y * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

// The chain drawn on a frame of the test layer, between the render target's bind
// and finishFrame as the render command has them.
class PassChainGLTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!Support::makeTestContextCurrent()) {
            GTEST_SKIP() << "no OpenGL context";
        }
        OpenglRenderTarget& target = OpenglRenderTarget::instance();
        target.resize(kWidth, kHeight, false);
        target.bind(false, false);
        // The target's first bind in a context sets a draw buffer on the default
        // framebuffer, which OpenGL refuses; only the chain's own errors count here.
        while (glGetError() != GL_NO_ERROR) {
        }

        layer = Support::makeTestLayer(kWidth, kHeight);
        glGenTextures(1, &source);
        glBindTexture(GL_TEXTURE_2D, source);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GL_LINEAR));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_LINEAR));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(GL_CLAMP_TO_EDGE));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(GL_CLAMP_TO_EDGE));
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     layer.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        chain = std::make_unique<LightShaftPassChain>();
    }

    void TearDown() override
    {
        if (source == 0) {
            return;
        }
        chain.reset();
        glDeleteTextures(1, &source);
        OpenglRenderTarget::instance().finishFrame(1.0f);
        EXPECT_EQ(glGetError(), GL_NO_ERROR);
    }

    RayGeometry run(const RenderSettings& settings)
    {
        const RayGeometry g = computeRayGeometry(settings, Vec2(kWidth, kHeight));
        chain->run(source, Vec2(kWidth, kHeight), g.boxSize, g.offset, g.chainCenter, kRayReachPixels,
                   Vec2(settings.threshold, settings.thresholdSmooth), qualityFactorOf(settings));
        return g;
    }

    std::vector<std::uint8_t> layer;
    GLuint source = 0;
    std::unique_ptr<LightShaftPassChain> chain;
};

} // namespace

TEST_F(PassChainGLTest, DrawsAPrefilterThenOnePassPerLevelAndACopy)
{
    const int expectedLevels[] = {11, 10, 10};
    const double expectedReach[] = {2048.0, 1024.0, 683.0};
    for (int quality = 0; quality < 3; ++quality) {
        SCOPED_TRACE(quality);
        Support::GLCallRecorder recorder;
        recorder.start();
        const RayGeometry g = run(settingsAt(Vec2(20.0, 10.0), quality));
        recorder.stop();

        const std::size_t passes = static_cast<std::size_t>(expectedLevels[quality]) + 2;
        EXPECT_EQ(recorder.count("glDrawArrays"), passes) << recorder.dump();
        EXPECT_EQ(recorder.count("glGenFramebuffers"), passes);
        EXPECT_EQ(recorder.count("glDeleteFramebuffers"), passes);
        EXPECT_TRUE(recorder.madeNo("glGetError"));
        EXPECT_EQ(chain->lastFactor(), quality + 1);
        EXPECT_EQ(chain->lastMaxLevel(), expectedLevels[quality]);
        EXPECT_DOUBLE_EQ(chain->lastReach(), expectedReach[quality]);
        EXPECT_EQ(chain->lastTextureSize(), g.textureSize);
        // The prefilter writes the first texture and the passes alternate from the second.
        EXPECT_EQ(chain->result(), chain->texture(passes % 2 == 1 ? 0 : 1));
        // Every pass is drawn into one of the two textures, and the chain unbinds its arrays.
        EXPECT_TRUE(recorder.madeInOrder({"glUseProgram", "glDrawArrays", "glBindVertexArray(0)",
                                          "glBindBuffer(GL_ARRAY_BUFFER, 0)"}));
    }
}

TEST_F(PassChainGLTest, KeepsItsTexturesForTheSameSizeAndReplacesThemForANewOne)
{
    run(settingsAt(Vec2(20.0, 10.0), 1));
    const GLuint first[2] = {chain->texture(0), chain->texture(1)};
    ASSERT_NE(first[0], 0u);
    ASSERT_NE(first[1], 0u);
    ASSERT_NE(first[0], first[1]);

    Support::GLCallRecorder recorder;
    recorder.start();
    run(settingsAt(Vec2(40.0, 30.0), 1));
    recorder.stop();
    EXPECT_EQ(chain->texture(0), first[0]);
    EXPECT_EQ(chain->texture(1), first[1]);
    EXPECT_TRUE(recorder.madeNo("glDeleteTextures"));
    EXPECT_TRUE(recorder.madeNo("glGenTextures"));
    // Nor is the quad buffer or the vertex array made again.
    EXPECT_TRUE(recorder.madeNo("glGenBuffers"));
    EXPECT_TRUE(recorder.madeNo("glGenVertexArrays"));

    // A centre left of the layer grows the box, so both textures are made anew.
    recorder.start();
    const RayGeometry grown = run(settingsAt(Vec2(-30.0, 10.0), 1));
    recorder.stop();
    EXPECT_EQ(recorder.count("glDeleteTextures"), 1u);
    EXPECT_TRUE(recorder.madeInOrder({"glDeleteTextures(2, *", "glGenTextures", "glGenTextures"}));
    EXPECT_EQ(chain->lastTextureSize(), grown.textureSize);
    EXPECT_EQ(grown.textureSize, Vec2i(47, 24));
}

// The copy reads each texel at its interpolated texture coordinate, which lands
// within a rounding error of the texel's centre: the values agree to float precision
// on llvmpipe and zink (1e-5). softpipe's bilinear weights are coarser and mix in
// up to 0.00093 of a neighbour's difference: 2e-3. A copy read half a texel off
// would mix in half of it.
TEST_F(PassChainGLTest, CopyPassLeavesTheSumsAsTheLastLevelMadeThem)
{
    for (int quality = 0; quality < 2; ++quality) {
        const RayGeometry g = run(settingsAt(Vec2(30.0, 20.0), quality));
        const std::vector<float> copy = readTexture(chain->texture(0), g.textureSize);
        const std::vector<float> last = readTexture(chain->texture(1), g.textureSize);
        double worst = 0.0;
        for (std::size_t i = 0; i < copy.size(); ++i) {
            const double scale = std::max(1e-6, static_cast<double>(std::fabs(last[i])));
            worst = std::max(worst, std::fabs(copy[i] - last[i]) / scale);
        }
        EXPECT_LT(worst, 2e-3);
    }
}

// The sums are compared as floats, before any quantisation. llvmpipe filters
// float textures with float weights, and the sums add up to 2^11 terms of about
// 0.001 in float, so each texel may drift by a few units of the float's last
// place per level from the double-precision reference; 2e-5 absolute plus 1e-4
// relative allows for that and still catches a texel read from the wrong place
// (a neighbour differs by 1e-3 or more across the test layer's edges).
TEST_F(PassChainGLTest, RaySumsMatchTheReference)
{
    const std::vector<Vec2> centres = {Vec2(40.3, 19.6), Vec2(0.0, 30.0), Vec2(-25.0, -14.0), Vec2(90.0, 70.0),
                                       Vec2(kWidth, 5.0)};
    for (int quality = 0; quality < 3; ++quality) {
        for (const Vec2& center : centres) {
            SCOPED_TRACE(testing::Message() << "quality " << quality << ", centre (" << center.x << ", " << center.y
                                            << ")");
            const RenderSettings settings = settingsAt(center, quality);
            const RayGeometry g = run(settings);
            const Support::ReferenceFrame expected = Support::referenceLightShafts(layer, kWidth, kHeight, settings);
            ASSERT_EQ(g.textureSize, expected.textureSize);
            const std::vector<float> sums = readTexture(chain->result(), g.textureSize);
            std::size_t wrong = 0;
            double worst = 0.0;
            for (std::size_t i = 0; i < sums.size(); ++i) {
                const double want = expected.raySums.texels[i];
                const double error = std::fabs(sums[i] - want);
                worst = std::max(worst, error);
                wrong += error > 2e-5 + 1e-4 * std::fabs(want) ? 1 : 0;
            }
            EXPECT_EQ(wrong, 0u) << "largest error " << worst;
        }
    }
}

// With a far centre the chain gets the bounded box; wherever the layer's pixels
// can read, its sums equal those of the whole box.
TEST_F(PassChainGLTest, BoundedBoxSumsEqualTheWholeBoxNearTheLayer)
{
    struct Case {
        Vec2 center;
        int quality;
        double shineLength;
    };
    // Far along one axis, and far along both (where the whole box is large, so
    // with the shortest margin: quality Low and no shine).
    for (const Case& c : {Case{Vec2(-5000.0, 20.0), 0, 2048.0}, Case{Vec2(30.0, 4300.0), 1, 2048.0},
                          Case{Vec2(3300.0, -3200.5), 2, 0.0}}) {
        SCOPED_TRACE(testing::Message() << "centre (" << c.center.x << ", " << c.center.y << ")");
        const RenderSettings settings = settingsAt(c.center, c.quality, c.shineLength);
        const RayGeometry g = run(settings);
        ASSERT_TRUE(g.bounded);
        const Support::ReferenceFrame expected = Support::referenceLightShafts(layer, kWidth, kHeight, settings);
        EXPECT_LT(static_cast<double>(g.textureSize.x) * g.textureSize.y,
                  static_cast<double>(expected.textureSize.x) * expected.textureSize.y);

        const std::vector<float> sums = readTexture(chain->result(), g.textureSize);
        const int shiftX = static_cast<int>(std::lround(expected.offset.x - g.offset.x));
        const int shiftY = static_cast<int>(std::lround(expected.offset.y - g.offset.y));
        // The layer and a few texels around it.
        const int x0 = std::max(0, static_cast<int>(g.offset.x) - 3);
        const int y0 = std::max(0, static_cast<int>(g.offset.y) - 3);
        const int x1 = std::min(g.textureSize.x, static_cast<int>(g.offset.x + kWidth / g.factor) + 3);
        const int y1 = std::min(g.textureSize.y, static_cast<int>(g.offset.y + kHeight / g.factor) + 3);
        std::size_t wrong = 0;
        double worst = 0.0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const float* want = expected.raySums.at(x + shiftX, y + shiftY);
                for (int k = 0; k < 4; ++k) {
                    const double error = std::fabs(sums[(static_cast<std::size_t>(y) * g.textureSize.x + x) * 4 + k] -
                                                   want[k]);
                    worst = std::max(worst, error);
                    wrong += error > 2e-5 + 1e-4 * std::fabs(want[k]) ? 1 : 0;
                }
            }
        }
        EXPECT_EQ(wrong, 0u) << "largest error " << worst;
    }
}
