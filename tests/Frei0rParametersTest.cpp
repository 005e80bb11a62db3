// The frei0r module's parameters: frei0r values written into the substitute host's
// store, then read back by the plug-in's own parameter reading, as a render would.
// The frei0r module exists for Linux only.
#if !defined(_WIN32)

#include <gtest/gtest.h>

extern "C" {
#include <frei0r.h>
}

#include <cmath>
#include <limits>
#include <memory>

#include "standin/SubstituteHost.h"
#include "frei0r/Frei0rParameters.h"
#include "frei0r/SharedPlugin.h"
#include "host/Parameters.h"
#include "host/StringTable.h"
#include "renderer/RenderSettings.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::StandIn;
using Frei0r::Frei0rParameters;

namespace {

class Frei0rParametersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(declareParameters(&host.inData(), &host.outData(), strings), PF_Err_NONE);
        parameters = Frei0rParameters::fromDeclared(host.parameters());
    }

    // What the plug-in reads at its next render of a frame of this size.
    RenderSettings settingsFor(int width, int height)
    {
        parameters.applyTo(host, width, height);
        RenderSettings settings{};
        readSettings(&host.inData(), settings);
        return settings;
    }

    void setNumber(int index, double value) { ASSERT_TRUE(parameters.set(index, &value)); }
    double number(int index)
    {
        double value = -1.0;
        EXPECT_TRUE(parameters.get(index, &value));
        return value;
    }
    void setCenter(double x, double y)
    {
        setNumber(Frei0rParameters::kCenterX, x);
        setNumber(Frei0rParameters::kCenterY, y);
    }

    StandIn::SubstituteHost host{nullptr};
    StringTable strings{1};
    Frei0rParameters parameters;
};

TEST_F(Frei0rParametersTest, DescriptionsFollowFrei0rTypes)
{
    // MLT passes no frei0r position, so the centre is two doubles.
    const int types[] = {F0R_PARAM_DOUBLE, F0R_PARAM_DOUBLE, F0R_PARAM_DOUBLE, F0R_PARAM_DOUBLE,
                         F0R_PARAM_DOUBLE, F0R_PARAM_DOUBLE, F0R_PARAM_DOUBLE, F0R_PARAM_BOOL};
    const char* names[] = {"Threshold", "Threshold Smooth", "Center X", "Center Y", "Shine Length", "Exposure",
                           "Quality", "Ray Only"};
    ASSERT_EQ(Frei0rParameters::kCount, 8);
    for (int i = 0; i < Frei0rParameters::kCount; ++i) {
        EXPECT_STREQ(Frei0rParameters::describe(i).name, names[i]);
        EXPECT_EQ(Frei0rParameters::describe(i).type, types[i]);
    }
}

TEST_F(Frei0rParametersTest, DefaultsAreTheDeclaredValuesAndReachThePluginUnchanged)
{
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kThreshold), 0.5);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kThresholdSmooth), 0.0);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kCenterX), 0.5);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kCenterY), 0.5);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kShineLength), 1.0);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kExposure), 0.1);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kQuality), 0.5);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kRayOnly), 0.0);
    // An instance GStreamer makes before the plug-in starts holds the module's own copy of these: the same values.
    const Frei0rParameters builtIn;
    for (int index = 0; index < Frei0rParameters::kCount; ++index) {
        double own = -1.0;
        ASSERT_TRUE(builtIn.get(index, &own));
        EXPECT_DOUBLE_EQ(own, number(index)) << index;
    }

    // The same settings as a host that never touched the controls.
    RenderSettings untouched{};
    host.inData().width = 641;
    host.inData().height = 401;
    readSettings(&host.inData(), untouched);
    const RenderSettings settings = settingsFor(641, 401);
    EXPECT_DOUBLE_EQ(settings.threshold, untouched.threshold);
    EXPECT_DOUBLE_EQ(settings.thresholdSmooth, 0.01);
    EXPECT_DOUBLE_EQ(settings.center.x, 320.5);
    EXPECT_DOUBLE_EQ(settings.center.y, 200.5);
    EXPECT_DOUBLE_EQ(settings.center.x, untouched.center.x);
    EXPECT_DOUBLE_EQ(settings.center.y, untouched.center.y);
    EXPECT_DOUBLE_EQ(settings.shineLength, 2048.0);
    EXPECT_DOUBLE_EQ(settings.exposure, 0.4);
    EXPECT_EQ(settings.quality, 1);
    EXPECT_FALSE(settings.rayOnly);
}

TEST_F(Frei0rParametersTest, ValuesReachThePluginInItsUnits)
{
    setNumber(Frei0rParameters::kThreshold, 0.3);
    setNumber(Frei0rParameters::kThresholdSmooth, 0.2);
    setCenter(0.25, 0.4);
    setNumber(Frei0rParameters::kShineLength, 0.5);
    setNumber(Frei0rParameters::kExposure, 0.6);
    setNumber(Frei0rParameters::kQuality, 0.0);
    setNumber(Frei0rParameters::kRayOnly, 1.0);
    const RenderSettings settings = settingsFor(640, 400);
    EXPECT_DOUBLE_EQ(settings.threshold, 0.3);
    EXPECT_DOUBLE_EQ(settings.thresholdSmooth, 0.2);
    EXPECT_DOUBLE_EQ(settings.center.x, 160.0);
    EXPECT_DOUBLE_EQ(settings.center.y, 160.0);
    EXPECT_DOUBLE_EQ(settings.shineLength, 1024.0);
    EXPECT_DOUBLE_EQ(settings.exposure, 2.4);
    EXPECT_EQ(settings.quality, 0);
    EXPECT_TRUE(settings.rayOnly);

    // The plug-in reads its per-cent sliders in whole per cent; the module keeps what the host set.
    setNumber(Frei0rParameters::kThreshold, 0.505);
    EXPECT_DOUBLE_EQ(settingsFor(640, 400).threshold, 0.5);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kThreshold), 0.505);
    // Shine length in whole pixels, to the nearest.
    setNumber(Frei0rParameters::kShineLength, 100.6 / 2048.0);
    EXPECT_DOUBLE_EQ(settingsFor(640, 400).shineLength, 101.0);
}

TEST_F(Frei0rParametersTest, QualityHasThreeSteps)
{
    const struct {
        double value;
        int quality;
    } steps[] = {{0.0, 0}, {0.2499, 0}, {0.25, 1}, {0.5, 1}, {0.7499, 1}, {0.75, 2}, {1.0, 2}};
    for (const auto& step : steps) {
        setNumber(Frei0rParameters::kQuality, step.value);
        EXPECT_EQ(settingsFor(64, 64).quality, step.quality) << step.value;
    }
}

// What a host hands over is not the module's own: a number beyond [0, 1] comes to its nearest end, one that is not
// finite (melt passes Threshold=inf through) counts as the declared default, and each change is named in one line.
TEST_F(Frei0rParametersTest, OutOfRangeValuesAreBroughtInAndNonNumbersCountAsTheDefault)
{
    const double threshold = number(Frei0rParameters::kThreshold);
    const double exposure = number(Frei0rParameters::kExposure);
    setNumber(Frei0rParameters::kThreshold, 1.7);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kThreshold), 1.0);
    setNumber(Frei0rParameters::kExposure, -0.2);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kExposure), 0.0);
    setNumber(Frei0rParameters::kThreshold, std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kThreshold), threshold);
    setNumber(Frei0rParameters::kThreshold, 0.4);
    setNumber(Frei0rParameters::kThreshold, std::numeric_limits<double>::infinity());
    setNumber(Frei0rParameters::kExposure, 0.3);
    setNumber(Frei0rParameters::kExposure, -std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kThreshold), threshold);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kExposure), exposure);
    setNumber(Frei0rParameters::kThreshold, 1.7);
    setNumber(Frei0rParameters::kRayOnly, 0.49);
    EXPECT_FALSE(settingsFor(64, 64).rayOnly);
    setNumber(Frei0rParameters::kRayOnly, 0.5);
    EXPECT_TRUE(settingsFor(64, 64).rayOnly);

    std::string note;
    double value = 250.0;
    ASSERT_TRUE(parameters.set(Frei0rParameters::kShineLength, &value, &note));
    EXPECT_EQ(note, "Shine Length: 250 lies outside 0 to 1; 1 is used");
    value = std::numeric_limits<double>::quiet_NaN();
    ASSERT_TRUE(parameters.set(Frei0rParameters::kExposure, &value, &note));
    EXPECT_NE(note.find("Exposure: nan is not a finite number; the default"), std::string::npos) << note;
    note.clear();
    value = 0.5;
    ASSERT_TRUE(parameters.set(Frei0rParameters::kExposure, &value, &note));
    EXPECT_EQ(note, "");

    // A centre outside the frame stays there (a light off screen), within what the host's point holds.
    setCenter(-0.5, 1.5);
    RenderSettings settings = settingsFor(640, 400);
    EXPECT_DOUBLE_EQ(settings.center.x, -320.0);
    EXPECT_DOUBLE_EQ(settings.center.y, 600.0);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kCenterX), -0.5);
    EXPECT_DOUBLE_EQ(number(Frei0rParameters::kCenterY), 1.5);
    // Each coordinate on its own: a value that is not finite puts that one back at its default, the middle.
    setCenter(0.75, std::numeric_limits<double>::infinity());
    setNumber(Frei0rParameters::kCenterX, std::numeric_limits<double>::quiet_NaN());
    settings = settingsFor(640, 400);
    EXPECT_DOUBLE_EQ(settings.center.x, 320.0);
    EXPECT_DOUBLE_EQ(settings.center.y, 200.0);
    setCenter(1e9, -1e9);
    settings = settingsFor(640, 400);
    EXPECT_DOUBLE_EQ(settings.center.x, 32767.0);
    EXPECT_DOUBLE_EQ(settings.center.y, -32767.0);

    value = 0.25;
    EXPECT_FALSE(parameters.set(Frei0rParameters::kCount, &value));
    EXPECT_FALSE(parameters.get(-1, &value));
    EXPECT_DOUBLE_EQ(value, 0.25);
}

TEST(Frei0rTime, SecondsBecomeHostTicksWithinTheHostsRange)
{
    using Frei0r::SharedPlugin;
    EXPECT_EQ(SharedPlugin::kTimeScale, 1000u);
    EXPECT_EQ(SharedPlugin::hostTime(1.5), 1500);
    EXPECT_EQ(SharedPlugin::hostTime(0.0404), 40);
    EXPECT_EQ(SharedPlugin::hostTime(-2.0), -2000);
    EXPECT_EQ(SharedPlugin::hostTime(1e12), INT32_MAX);
    EXPECT_EQ(SharedPlugin::hostTime(-1e12), INT32_MIN);
    EXPECT_EQ(SharedPlugin::hostTime(std::nan("")), 0);
}

} // namespace

#endif
