// The GIMP plug-in's values and pixel moves, without GIMP: the procedure's values
// written into the substitute host's store and read back by the plug-in's own
// parameter reading, as a render would; and which pixels keep the layer's own
// precision. (The rows' channel order is checked end to end by the GIMP batch tests.)

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "gimp/LayerPixels.h"
#include "gimp/ShaftValues.h"
#include "host/ParameterIndex.h"
#include "host/Parameters.h"
#include "host/StringTable.h"
#include "renderer/RenderSettings.h"
#include "standin/SubstituteHost.h"

using namespace Tamrin::Solvane;
using Gimp::LayerPlace;
using Gimp::ShaftValues;

namespace {

class GimpValuesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(declareParameters(&host.inData(), &host.outData(), strings), PF_Err_NONE); }

    RenderSettings settingsFor(const ShaftValues& values, const LayerPlace& place, double scale = 1.0)
    {
        values.applyTo(host, place, scale);
        RenderSettings settings{};
        readSettings(&host.inData(), settings);
        return settings;
    }

    StandIn::SubstituteHost host{nullptr};
    StringTable strings{1};
    const LayerPlace layer{30, -20, 200, 100};
};

TEST_F(GimpValuesTest, DefaultsAreThePluginsWithTheCentreAtTheLayersCentreInImagePixels)
{
    const ShaftValues values = ShaftValues::declaredDefaults(host.parameters(), layer);
    EXPECT_DOUBLE_EQ(values.threshold, 50.0);
    EXPECT_DOUBLE_EQ(values.thresholdSmooth, 0.0);
    EXPECT_DOUBLE_EQ(values.exposure, 10.0);
    EXPECT_EQ(values.shineLength, 2048);
    EXPECT_EQ(values.quality, 2);
    EXPECT_FALSE(values.rayOnly);
    EXPECT_DOUBLE_EQ(values.centerX, 130.0);
    EXPECT_DOUBLE_EQ(values.centerY, 30.0);
    EXPECT_EQ(values.problem(host.parameters(), layer), "");

    // The plug-in reads the layer's own centre, as it does with the host's default of 50 %.
    const RenderSettings settings = settingsFor(values, layer);
    EXPECT_DOUBLE_EQ(settings.center.x, 100.0);
    EXPECT_DOUBLE_EQ(settings.center.y, 50.0);
    EXPECT_DOUBLE_EQ(settings.threshold, 0.5);
    EXPECT_DOUBLE_EQ(settings.exposure, 0.4);
    EXPECT_EQ(settings.quality, 1);
}

TEST_F(GimpValuesTest, ValuesReachThePluginInItsUnitsAndAReducedCopyScalesTheCentreAndTheLength)
{
    ShaftValues values = ShaftValues::declaredDefaults(host.parameters(), layer);
    values.threshold = 75.0;
    values.thresholdSmooth = 20.0;
    values.exposure = 100.0;
    values.shineLength = 1000;
    values.quality = 1;
    values.rayOnly = true;
    values.centerX = -970.5; // beyond the layer's left edge
    values.centerY = 10.0;
    RenderSettings settings = settingsFor(values, layer);
    EXPECT_DOUBLE_EQ(settings.threshold, 0.75);
    EXPECT_DOUBLE_EQ(settings.thresholdSmooth, 0.2);
    EXPECT_DOUBLE_EQ(settings.exposure, 4.0);
    EXPECT_DOUBLE_EQ(settings.shineLength, 1000.0);
    EXPECT_EQ(settings.quality, 0);
    EXPECT_TRUE(settings.rayOnly);
    EXPECT_DOUBLE_EQ(settings.center.x, -1000.5);
    EXPECT_DOUBLE_EQ(settings.center.y, 30.0);

    settings = settingsFor(values, layer, 0.25);
    EXPECT_DOUBLE_EQ(settings.center.x, -250.125);
    EXPECT_DOUBLE_EQ(settings.center.y, 7.5);
    EXPECT_DOUBLE_EQ(settings.shineLength, 250.0);
    EXPECT_DOUBLE_EQ(settings.threshold, 0.75);
}

TEST_F(GimpValuesTest, ValuesOutsideTheDeclaredRangesAreNamed)
{
    const ShaftValues good = ShaftValues::declaredDefaults(host.parameters(), layer);
    auto problemWith = [&](auto change) {
        ShaftValues values = good;
        change(values);
        return values.problem(host.parameters(), layer);
    };
    EXPECT_NE(problemWith([](ShaftValues& v) { v.threshold = 100.5; }).find("threshold"), std::string::npos);
    EXPECT_NE(problemWith([](ShaftValues& v) { v.thresholdSmooth = -1; }).find("smoothness"), std::string::npos);
    EXPECT_NE(problemWith([](ShaftValues& v) { v.exposure = std::nan(""); }).find("exposure"), std::string::npos);
    EXPECT_NE(problemWith([](ShaftValues& v) { v.shineLength = 2049; }).find("shine length"), std::string::npos);
    EXPECT_NE(problemWith([](ShaftValues& v) { v.quality = 0; }).find("quality"), std::string::npos);
    EXPECT_NE(problemWith([](ShaftValues& v) { v.quality = 4; }).find("quality"), std::string::npos);
    // The host holds a point within 32767 pixels of the layer's corner, which is offset here.
    EXPECT_EQ(problemWith([](ShaftValues& v) { v.centerX = 32767 + 30; }), "");
    EXPECT_NE(problemWith([](ShaftValues& v) { v.centerX = 32768 + 30; }).find("centre's x"), std::string::npos);
    EXPECT_NE(problemWith([](ShaftValues& v) { v.centerY = -std::numeric_limits<double>::infinity(); })
                  .find("centre's y"),
              std::string::npos);
    EXPECT_EQ(problemWith([](ShaftValues& v) { v.threshold = 100; v.exposure = 0; v.shineLength = 0; }), "");
}

TEST_F(GimpValuesTest, KeptCentreFollowsTheLayerItIsRepeatedOn)
{
    ShaftValues values = ShaftValues::declaredDefaults(host.parameters(), layer);
    values.centerX = 80.0; // a quarter of the way across the layer
    values.centerY = 55.0; // three quarters down
    double fx = 0, fy = 0;
    values.centerToLayerFraction(layer, fx, fy);
    ShaftValues repeated = values;
    repeated.centerFromLayerFraction(LayerPlace{0, 0, 400, 40}, fx, fy);
    EXPECT_DOUBLE_EQ(repeated.centerX, 100.0);
    EXPECT_DOUBLE_EQ(repeated.centerY, 30.0);
    repeated.centerFromLayerFraction(layer, fx, fy);
    EXPECT_DOUBLE_EQ(repeated.centerX, 80.0);
    EXPECT_DOUBLE_EQ(repeated.centerY, 55.0);
}

TEST_F(GimpValuesTest, AClickOnThePreviewPutsTheCentreOnThatPixelOfAnOffsetLayer)
{
    // Offsets that differ in x and y, so that one taken for the other shows.
    ShaftValues values;
    values.centerAtLayerPixel(LayerPlace{37, -21, 200, 100}, 10, 64);
    EXPECT_DOUBLE_EQ(values.centerX, 47.5);
    EXPECT_DOUBLE_EQ(values.centerY, 43.5);
}

TEST(GimpLayerPixels, PixelsTheShaftsLeftAloneKeepTheLayersPrecision)
{
    // Three 16-bit RGB pixels (6 bytes each): the first unchanged in 8 bits, the second changed in one channel,
    // the third unchanged but for a value beyond 8 bits' reach that the conversion lost.
    const std::vector<std::uint8_t> in8 = {10, 20, 30, 40, 50, 60, 255, 255, 255};
    const std::vector<std::uint8_t> out8 = {10, 20, 30, 40, 51, 60, 255, 255, 255};
    std::vector<std::uint8_t> original(18), result(18, 0xEE);
    for (std::size_t i = 0; i < original.size(); ++i) {
        original[i] = static_cast<std::uint8_t>(i + 1);
    }
    EXPECT_EQ(Gimp::keepUnchangedPixels(in8.data(), out8.data(), 3, original.data(), result.data(), 6, 3), 2u);
    EXPECT_EQ(std::vector<std::uint8_t>(result.begin(), result.begin() + 6),
              std::vector<std::uint8_t>(original.begin(), original.begin() + 6));
    EXPECT_EQ(std::vector<std::uint8_t>(result.begin() + 6, result.begin() + 12), std::vector<std::uint8_t>(6, 0xEE));
    EXPECT_EQ(std::vector<std::uint8_t>(result.begin() + 12, result.end()),
              std::vector<std::uint8_t>(original.begin() + 12, original.end()));
}

} // namespace
