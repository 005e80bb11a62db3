#include "renderer/RayGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "support/LightShaftReference.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

RenderSettings settingsAt(Vec2 center, int quality, double shineLength = 2048.0)
{
    RenderSettings settings;
    settings.center = center;
    settings.quality = quality;
    settings.shineLength = shineLength;
    return settings;
}

// The whole box, written out from the definitions: the layer grown to the centre.
struct FullBox {
    Vec2 size;
    Vec2 offset;
    Vec2 texels;
};

FullBox fullBoxOf(Vec2 center, Vec2 frame, double f)
{
    const double x = std::min(center.x, 0.0);
    const double y = std::min(center.y, 0.0);
    FullBox box;
    box.size = Vec2((std::max(frame.x, center.x) - x) / f, (std::max(frame.y, center.y) - y) / f);
    box.offset = Vec2(-x / f, -y / f);
    box.texels = Vec2(std::ceil(box.size.x), std::ceil(box.size.y));
    return box;
}

void expectVec2(Vec2 actual, double x, double y)
{
    EXPECT_DOUBLE_EQ(actual.x, x);
    EXPECT_DOUBLE_EQ(actual.y, y);
}

} // namespace

TEST(RayGeometryTest, CentreLeftOfTheLayerGrowsTheBoxTowardsIt)
{
    const RayGeometry g = computeRayGeometry(settingsAt(Vec2(-40.0, 30.0), 1), Vec2(200.0, 100.0));
    EXPECT_DOUBLE_EQ(g.factor, 2.0);
    EXPECT_DOUBLE_EQ(g.box.x, -40.0);
    EXPECT_DOUBLE_EQ(g.box.y, 0.0);
    EXPECT_DOUBLE_EQ(g.box.width, 240.0);
    EXPECT_DOUBLE_EQ(g.box.height, 100.0);
    expectVec2(g.boxSize, 120.0, 50.0);
    expectVec2(g.offset, 20.0, 0.0);
    expectVec2(g.radialCenter, -19.5, 15.5);
    expectVec2(g.chainCenter, 0.5, 15.5);
    EXPECT_EQ(g.textureSize, Vec2i(120, 50));
    EXPECT_FALSE(g.bounded);
    expectVec2(g.sampleOffset, 20.0, 0.0);
    expectVec2(g.sampleSize, 120.0, 50.0);
}

TEST(RayGeometryTest, CentreInsideOrRightBelowKeepsTheOffsetAtZero)
{
    const Vec2 frame(101.0, 50.0);
    for (int quality = 0; quality < 3; ++quality) {
        const double f = quality + 1.0;
        const RayGeometry inside = computeRayGeometry(settingsAt(Vec2(30.0, 20.0), quality), frame);
        expectVec2(inside.boxSize, 101.0 / f, 50.0 / f);
        expectVec2(inside.offset, 0.0, 0.0);
        EXPECT_EQ(inside.textureSize,
                  Vec2i(static_cast<int>(std::ceil(101.0 / f)), static_cast<int>(std::ceil(50.0 / f))));

        const RayGeometry beyond = computeRayGeometry(settingsAt(Vec2(130.0, 90.0), quality), frame);
        expectVec2(beyond.offset, 0.0, 0.0);
        expectVec2(beyond.boxSize, 130.0 / f, 90.0 / f);
        EXPECT_FALSE(beyond.bounded);
    }
    const RayGeometry above = computeRayGeometry(settingsAt(Vec2(50.0, -9.0), 2), frame);
    expectVec2(above.offset, 0.0, 3.0);
    expectVec2(above.chainCenter, 16.5, 0.5);
}

TEST(RayGeometryTest, RadialCentreSnapsToTheMiddleOfADownscaledPixel)
{
    const Vec2 frame(200.0, 100.0);
    expectVec2(computeRayGeometry(settingsAt(Vec2(100.7, 50.2), 0), frame).radialCenter, 100.5, 50.5);
    expectVec2(computeRayGeometry(settingsAt(Vec2(100.7, 50.2), 1), frame).radialCenter, 50.5, 25.5);
    expectVec2(computeRayGeometry(settingsAt(Vec2(-0.3, 2.9), 2), frame).radialCenter, -0.5, 0.5);
}

TEST(RayGeometryTest, QualityGivesTheFactorAndTheDoublingLevels)
{
    EXPECT_EQ(doublingLevels(2048.0), 11);
    EXPECT_EQ(doublingLevels(1024.0), 10);
    EXPECT_EQ(doublingLevels(683.0), 10);
    EXPECT_EQ(doublingLevels(1025.0), 11);
    EXPECT_EQ(doublingLevels(3.0), 2);
    EXPECT_EQ(doublingLevels(1.0), 1);
    EXPECT_EQ(doublingLevels(0.0), 1);
    EXPECT_EQ(doublingLevels(1.0e9), 11);
    EXPECT_EQ(doublingLevels(std::numeric_limits<double>::infinity()), 11);

    EXPECT_EQ(qualityFactorOf(settingsAt(Vec2(), 0)), 1);
    EXPECT_EQ(qualityFactorOf(settingsAt(Vec2(), 2)), 3);
    // Values the settings never hold still give a usable factor.
    EXPECT_EQ(qualityFactorOf(settingsAt(Vec2(), -4)), 1);
    EXPECT_EQ(qualityFactorOf(settingsAt(Vec2(), 9)), 3);
}

TEST(RayGeometryTest, ACentreWithinTheRaysReachKeepsTheWholeBox)
{
    const Vec2 frame(64.0, 48.0);
    for (int quality = 0; quality < 3; ++quality) {
        const double f = quality + 1.0;
        const double margin = rayReadMargin(quality + 1, 2048.0);
        // Level with the layer, where the rays run along the axis.
        for (const Vec2 center : {Vec2(-(margin - 2.0) * f, 20.0), Vec2(30.0, 48.0 + (margin - 2.0) * f)}) {
            const RayGeometry g = computeRayGeometry(settingsAt(center, quality), frame);
            const FullBox full = fullBoxOf(center, frame, f);
            EXPECT_FALSE(g.bounded);
            expectVec2(g.boxSize, full.size.x, full.size.y);
            expectVec2(g.offset, full.offset.x, full.offset.y);
        }
    }
}

TEST(RayGeometryTest, AFarCentreBoundsTheBoxToTheRaysReach)
{
    const Vec2 frame(96.0, 64.0);
    const std::vector<Vec2> centres = {Vec2(-1.0e6, 30.0), Vec2(1.0e6, 30.0),       Vec2(40.0, -1.0e6),
                                       Vec2(40.0, 1.0e6),  Vec2(-7.3e5, -9.1e5),   Vec2(6.1e5, 8.7e5),
                                       Vec2(-20000.3, 17.9), Vec2(30.0, 25000.6)};
    for (int quality = 0; quality < 3; ++quality) {
        for (const double shine : {0.0, 700.0, 2048.0}) {
            for (const Vec2& center : centres) {
                SCOPED_TRACE(testing::Message() << "quality " << quality << " shine " << shine << " centre ("
                                                << center.x << ", " << center.y << ")");
                const double f = quality + 1.0;
                const RayGeometry g = computeRayGeometry(settingsAt(center, quality, shine), frame);
                const Vec2 margins = rayBoxMargins(quality + 1, shine, g.radialCenter, frame / f);
                const FullBox full = fullBoxOf(center, frame, f);
                EXPECT_TRUE(g.bounded);

                // The box reaches the margin beyond the layer on the centre's side, and no further.
                for (const auto& [offset, size, layer, fullOffset, fullSize, margin] :
                     {std::make_tuple(g.offset.x, g.boxSize.x, frame.x / f, full.offset.x, full.size.x, margins.x),
                      std::make_tuple(g.offset.y, g.boxSize.y, frame.y / f, full.offset.y, full.size.y, margins.y)}) {
                    EXPECT_GE(offset, std::min(margin, fullOffset) - 1e-9);
                    EXPECT_LT(offset, margin + 1.0);
                    EXPECT_GE(size - offset - layer, std::min(margin, fullSize - fullOffset - layer) - 1e-9);
                    EXPECT_LE(size - offset - layer, margin + 1e-9);
                    // Only whole texels are dropped before the layer.
                    EXPECT_DOUBLE_EQ(fullOffset - offset, std::round(fullOffset - offset));
                }
                EXPECT_EQ(g.textureSize, Vec2i(static_cast<int>(std::ceil(g.boxSize.x)),
                                               static_cast<int>(std::ceil(g.boxSize.y))));
                // The layer stays at layer pixel 0 of the box, and the chain still aims at the true centre.
                EXPECT_NEAR(g.box.x + g.offset.x * f, 0.0, 1e-6);
                EXPECT_NEAR(g.box.y + g.offset.y * f, 0.0, 1e-6);
                EXPECT_NEAR(g.box.width, g.boxSize.x * f, 1e-6);
                EXPECT_DOUBLE_EQ(g.chainCenter.x, g.radialCenter.x + g.offset.x);
                EXPECT_DOUBLE_EQ(g.chainCenter.y, g.radialCenter.y + g.offset.y);
                EXPECT_DOUBLE_EQ(g.radialCenter.x, std::floor(center.x / f) + 0.5);
                EXPECT_DOUBLE_EQ(g.radialCenter.y, std::floor(center.y / f) + 0.5);

                // The composite reads the kept texels where the whole box's texture has them.
                for (const double q : {-1.0, 0.0, 17.25, frame.x / f + 1.0}) {
                    const double fullTexelX = (q + full.offset.x) / full.size.x * full.texels.x;
                    const double keptTexelX = (q + g.sampleOffset.x) / g.sampleSize.x * g.textureSize.x;
                    EXPECT_NEAR(keptTexelX + (full.offset.x - g.offset.x), fullTexelX, 1e-6);
                    const double fullTexelY = (q + full.offset.y) / full.size.y * full.texels.y;
                    const double keptTexelY = (q + g.sampleOffset.y) / g.sampleSize.y * g.textureSize.y;
                    EXPECT_NEAR(keptTexelY + (full.offset.y - g.offset.y), fullTexelY, 1e-6);
                }
            }
        }
    }
}

TEST(RayGeometryTest, AnyCentreGivesFiniteTexturesWithinOpenGLLimits)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Vec2> centres = {Vec2(1.0e6, -1.0e6), Vec2(-1.0e12, 3.0), Vec2(2.0, 1.0e300), Vec2(inf, 0.0),
                                       Vec2(-inf, -inf),    Vec2(nan, 5.0),     Vec2(nan, nan),     Vec2(4.0e9, 1.0)};
    // 8K is where the margin still fits the smallest texture limit that OpenGL 3.3 allows in practice (16384).
    for (const Vec2 frame : {Vec2(1920.0, 1080.0), Vec2(3840.0, 2160.0), Vec2(7680.0, 4320.0), Vec2(1.0, 1.0)}) {
        for (int quality = 0; quality < 3; ++quality) {
            for (const Vec2& center : centres) {
                SCOPED_TRACE(testing::Message() << frame.x << " wide, quality " << quality << ", centre (" << center.x
                                                << ", " << center.y << ")");
                const RayGeometry g = computeRayGeometry(settingsAt(center, quality), frame);
                EXPECT_GT(g.textureSize.x, 0);
                EXPECT_GT(g.textureSize.y, 0);
                EXPECT_LE(g.textureSize.x, 16384);
                EXPECT_LE(g.textureSize.y, 16384);
                for (const double value : {g.chainCenter.x, g.chainCenter.y, g.radialCenter.x, g.radialCenter.y,
                                           g.sampleOffset.x, g.sampleOffset.y, g.sampleSize.x, g.sampleSize.y}) {
                    EXPECT_TRUE(std::isfinite(value));
                }
            }
        }
    }
    // A centre beyond reach of float arithmetic is pulled in along its own direction.
    const RayGeometry far = computeRayGeometry(settingsAt(Vec2(-1.0e15, 50.0), 0), Vec2(100.0, 100.0));
    EXPECT_NEAR(far.radialCenter.x, 50.0 - kFarthestCenter, 1.0);
    EXPECT_NEAR(far.radialCenter.y, 50.5, 1.0);
}

namespace {

// The centres of the tests below: the eight directions from a 40 × 24 layer, each
// at distances from within the rays' reach to the host's limit (its points are
// 16.16 fixed-point numbers: at most 32767 pixels).
std::vector<Vec2> centresAround(Vec2 frame, const std::vector<double>& distances)
{
    std::vector<Vec2> centres;
    for (const double d : distances) {
        const double left = -d;
        const double right = frame.x + d;
        const double above = -d;
        const double below = frame.y + d;
        // Off the corners a little unevenly, so that no ray is exactly diagonal.
        centres.insert(centres.end(), {Vec2(left, frame.y * 0.4), Vec2(right, frame.y * 0.7), Vec2(frame.x * 0.3, above),
                                       Vec2(frame.x * 0.6, below), Vec2(left, above * 0.8), Vec2(right * 0.9, above),
                                       Vec2(left * 0.7, below), Vec2(right, below * 0.6)});
    }
    return centres;
}

// The texels the geometry keeps, as columns and rows of the whole box.
struct KeptRange {
    double firstColumn, lastColumn, firstRow, lastRow;
};

KeptRange keptRangeOf(const RayGeometry& g, Vec2 wholeOffset)
{
    const double droppedX = std::round(wholeOffset.x - g.offset.x);
    const double droppedY = std::round(wholeOffset.y - g.offset.y);
    return KeptRange{droppedX, droppedX + g.textureSize.x - 1, droppedY, droppedY + g.textureSize.y - 1};
}

} // namespace

// Every texel that the frame's output depends on, found by following the reads of
// the composite and of every doubling level back from each output pixel, lies in
// the box: a box that dropped one of them would change the frame.
TEST(RayGeometryTest, TheBoxHoldsEveryTexelTheFrameReads)
{
    const Vec2 frame(40.0, 24.0);
    struct Case {
        int quality;
        double shine;
        std::vector<double> distances;
    };
    // Quality High sums over the most texels; the read region of a far centre is a
    // band some 4,100 texels long, so it takes fewer distances.
    int banded = 0;
    for (const Case& c : {Case{0, 2048.0, {900.0, 3100.0, 32767.0}}, Case{1, 2048.0, {300.0, 1700.0, 5000.0, 32767.0}},
                          Case{2, 500.0, {100.0, 800.0, 2600.0, 32767.0}}, Case{2, 0.0, {700.0, 32767.0}}}) {
        for (const Vec2& center : centresAround(frame, c.distances)) {
            SCOPED_TRACE(testing::Message() << "quality " << c.quality << " shine " << c.shine << " centre ("
                                            << center.x << ", " << center.y << ")");
            const RenderSettings settings = settingsAt(center, c.quality, c.shine);
            const RayGeometry g = computeRayGeometry(settings, frame);
            const Support::ReadRegion reads = Support::referenceReadRegion(static_cast<int>(frame.x),
                                                                    static_cast<int>(frame.y), settings);
            ASSERT_FALSE(reads.texels.empty());
            const KeptRange kept = keptRangeOf(g, reads.offset);
            EXPECT_LE(kept.firstColumn, reads.texels.minColumn());
            EXPECT_GE(kept.lastColumn, reads.texels.maxColumn());
            EXPECT_LE(kept.firstRow, reads.texels.minRow());
            EXPECT_GE(kept.lastRow, reads.texels.maxRow());
            // The bound is close: where it cuts the box on the centre's side, it
            // keeps a few dozen texels beyond what is read (the sideways slips it
            // allows for are never all taken).
            const bool left = center.x < 0.0;
            const bool above = center.y < 0.0;
            if (left ? kept.firstColumn > 0.0 : kept.lastColumn < reads.textureSize.x - 1) {
                EXPECT_LT(left ? reads.texels.minColumn() - kept.firstColumn : kept.lastColumn - reads.texels.maxColumn(),
                          80.0);
            }
            if (above ? kept.firstRow > 0.0 : kept.lastRow < reads.textureSize.y - 1) {
                EXPECT_LT(above ? reads.texels.minRow() - kept.firstRow : kept.lastRow - reads.texels.maxRow(), 80.0);
            }
            // The passes draw every texel that is read: each row's span lies in one of the draw rectangles.
            if (!g.drawRects.empty()) {
                ++banded;
                for (int row = reads.texels.minRow(); row <= reads.texels.maxRow(); ++row) {
                    const std::size_t i = static_cast<std::size_t>(row - reads.texels.top);
                    if (reads.texels.first[i] > reads.texels.last[i]) {
                        continue;
                    }
                    const int y = row - static_cast<int>(kept.firstRow);
                    const int x0 = reads.texels.first[i] - static_cast<int>(kept.firstColumn);
                    const int x1 = reads.texels.last[i] - static_cast<int>(kept.firstColumn);
                    EXPECT_TRUE(std::any_of(g.drawRects.begin(), g.drawRects.end(), [&](const TexelRect& r) {
                        return y >= r.y && y < r.y + r.height && x0 >= r.x && x1 < r.x + r.width;
                    })) << "row " << y << ", columns " << x0 << " to " << x1;
                }
            }
        }
    }
    // Off the corners, at the greater distances, the reads fill only a band of the box.
    EXPECT_GE(banded, 20);
}

// The box never takes more texels than the whole margin on every axis gave, and
// takes as many where the rays run level with an axis; far off a corner of 1080p
// it saves 30 % on each axis and more than a third of the texels.
TEST(RayGeometryTest, TheBoxNeverExceedsTheWholeMarginAndShrinksOffTheCorners)
{
    for (const Vec2 frame : {Vec2(40.0, 24.0), Vec2(1920.0, 1080.0), Vec2(3840.0, 2160.0), Vec2(1.0, 1.0)}) {
        for (int quality = 0; quality < 3; ++quality) {
            for (const double shine : {0.0, 700.0, 2048.0}) {
                for (const Vec2& center : centresAround(frame, {0.0, 20.0, 500.0, 3000.0, 32767.0, 1.0e6, 1.0e12})) {
                    SCOPED_TRACE(testing::Message() << frame.x << " wide, quality " << quality << " shine " << shine
                                                    << " centre (" << center.x << ", " << center.y << ")");
                    const RenderSettings settings = settingsAt(center, quality, shine);
                    const double whole = rayReadMargin(quality + 1, shine);
                    const RayGeometry g = computeRayGeometry(settings, frame);
                    const RayGeometry before = computeRayGeometry(settings, frame, Vec2(whole, whole));
                    EXPECT_LE(g.textureSize.x, before.textureSize.x);
                    EXPECT_LE(g.textureSize.y, before.textureSize.y);
                    // Both keep the layer where the whole box has it.
                    EXPECT_DOUBLE_EQ(g.offset.x - std::floor(g.offset.x), before.offset.x - std::floor(before.offset.x));
                    EXPECT_DOUBLE_EQ(g.offset.y - std::floor(g.offset.y), before.offset.y - std::floor(before.offset.y));
                    const Vec2 margins = rayBoxMargins(quality + 1, shine, g.radialCenter, frame / (quality + 1.0));
                    EXPECT_LE(margins.x, whole);
                    EXPECT_LE(margins.y, whole);
                }
            }
        }
    }

    // Level with the layer on one axis: the rays from its middle run along the
    // other axis, which keeps the whole margin.
    const double whole = rayReadMargin(1, 2048.0);
    EXPECT_DOUBLE_EQ(rayBoxMargins(1, 2048.0, Vec2(-20000.5, 300.5), Vec2(1920.0, 1080.0)).x, whole);
    EXPECT_DOUBLE_EQ(rayBoxMargins(1, 2048.0, Vec2(700.5, 30000.5), Vec2(1920.0, 1080.0)).y, whole);

    // Far off the top-left corner of 1080p at High quality: the reads reach
    // furthest beyond the layer from its top-left corner, whose rays run at 45°.
    const RayGeometry g = computeRayGeometry(settingsAt(Vec2(-20000.0, -20000.0), 0), Vec2(1920.0, 1080.0));
    const Vec2 margins = rayBoxMargins(1, 2048.0, g.radialCenter, Vec2(1920.0, 1080.0));
    EXPECT_NEAR(margins.x / whole, std::sqrt(0.5), 0.02);
    EXPECT_NEAR(margins.y / whole, std::sqrt(0.5), 0.02);
    const double texels = static_cast<double>(g.textureSize.x) * g.textureSize.y;
    const double wholeTexels = (1920.0 + whole + 1.0) * (1080.0 + whole + 1.0);
    EXPECT_LT(texels, 0.64 * wholeTexels);
}

// The draw rectangles: bands of rows in order, within the texture, none empty; a
// centre within the layer draws everywhere, and far off a corner of 1080p the
// passes draw under 60 % of the box.
TEST(RayGeometryTest, DrawRectanglesCoverTheReadBandInOrderWithinTheTexture)
{
    const Vec2 frame(1920.0, 1080.0);
    for (int quality = 0; quality < 3; ++quality) {
        for (const Vec2& center : centresAround(frame, {0.0, 500.0, 3000.0, 32767.0, 1.0e12})) {
            SCOPED_TRACE(testing::Message() << "quality " << quality << " centre (" << center.x << ", " << center.y
                                            << ")");
            const RayGeometry g = computeRayGeometry(settingsAt(center, quality), frame);
            std::int32_t nextRow = 0;
            for (const TexelRect& r : g.drawRects) {
                EXPECT_GE(r.y, nextRow);
                EXPECT_GT(r.width, 0);
                EXPECT_GT(r.height, 0);
                EXPECT_GE(r.x, 0);
                EXPECT_LE(r.x + r.width, g.textureSize.x);
                EXPECT_LE(r.y + r.height, g.textureSize.y);
                nextRow = r.y + r.height;
            }
        }
        EXPECT_TRUE(computeRayGeometry(settingsAt(Vec2(900.0, 500.0), quality), frame).drawRects.empty());
    }
    const RayGeometry g = computeRayGeometry(settingsAt(Vec2(-20000.0, -20000.0), 0), frame);
    double drawn = 0.0;
    for (const TexelRect& r : g.drawRects) {
        drawn += static_cast<double>(r.width) * r.height;
    }
    EXPECT_LT(drawn, 0.6 * g.textureSize.x * g.textureSize.y);
}
