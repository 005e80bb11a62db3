// Keyframes: the track's interpolation, and the render options that take them and
// answer the host's checkouts with the value at the time asked for.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "cli/KeyframeTrack.h"
#include "cli/RenderOptions.h"
#include "standin/SubstituteHost.h"
#include "host/ParameterIndex.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;
using namespace Tamrin::Solvane::StandIn;

namespace {

RenderOptions parse(std::vector<std::string> args)
{
    RenderOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!parseRenderOption(args, i, options)) {
            throw std::invalid_argument("not an option: " + args[i]);
        }
    }
    return options;
}

// A host with the effect's parameters declared as the plug-in declares them, without the plug-in.
class DeclaredParameters : public ::testing::Test {
protected:
    void SetUp() override
    {
        PF_ParamDef def{};
        def.param_type = PF_Param_FIX_SLIDER; // threshold
        host.addParam(-1, &def);
        host.addParam(-1, &def); // threshold smooth
        def.param_type = PF_Param_POINT;
        def.u.td.x_value = def.u.td.y_value = 50 << 16;
        host.addParam(-1, &def);
        def = PF_ParamDef{};
        def.param_type = PF_Param_SLIDER;
        host.addParam(-1, &def);
        def.param_type = PF_Param_FIX_SLIDER;
        host.addParam(-1, &def);
    }
    // The value a checkout gives at a frame, with the host's time base.
    PF_ParamDef at(PF_ParamIndex index, long frame)
    {
        PF_ParamDef def{};
        EXPECT_EQ(host.checkoutParam(index, static_cast<A_long>(frame * host.inData().time_step), &def), PF_Err_NONE);
        host.checkinParam(&def);
        return def;
    }

    SubstituteHost host{nullptr};
};

} // namespace

TEST(KeyframeTrack, LinearBetweenKeysHeldOutside)
{
    KeyframeTrack track(2);
    track.add(120, {1700, 800});
    track.add(0, {200, 300}); // out of order: kept in frame order
    EXPECT_EQ(track.valueAt(-5), (std::vector<double>{200, 300}));
    EXPECT_EQ(track.valueAt(0), (std::vector<double>{200, 300}));
    EXPECT_EQ(track.valueAt(60), (std::vector<double>{950, 550}));
    EXPECT_DOUBLE_EQ(track.valueAt(30)[0], 575);
    EXPECT_EQ(track.valueAt(120), (std::vector<double>{1700, 800}));
    EXPECT_EQ(track.valueAt(1e9), (std::vector<double>{1700, 800}));

    // A key at a frame already keyed replaces it; three keys make two segments.
    track.add(120, {1000, 1000});
    track.add(60, {0, 0});
    EXPECT_EQ(track.keys().size(), 3u);
    EXPECT_EQ(track.valueAt(90), (std::vector<double>{500, 500}));
    EXPECT_EQ(track.valueAt(30), (std::vector<double>{100, 150}));

    KeyframeTrack single(1);
    EXPECT_TRUE(single.valueAt(3).empty());
    single.add(10, {5});
    EXPECT_EQ(single.valueAt(0), std::vector<double>{5});
    EXPECT_THROW(single.add(1, {1, 2}), std::invalid_argument);
}

TEST(RenderOptionsKeyframes, ParsedFromFollowingArgumentsOrOneArgument)
{
    const RenderOptions spread = parse({"--center", "0:200,300", "120:1700,800", "--exposure", "40"});
    ASSERT_EQ(spread.keyframes.count(kParamCenter), 1u);
    EXPECT_EQ(spread.keyframes.at(kParamCenter).keys().size(), 2u);
    EXPECT_FALSE(spread.centerX.has_value());
    EXPECT_EQ(spread.exposure, 40.0);

    const RenderOptions joined = parse({"--threshold", "0:10 24:90", "--center", "5,6"});
    EXPECT_EQ(joined.keyframes.at(kParamThreshold).valueAt(12), std::vector<double>{50});
    EXPECT_EQ(joined.centerX, 5.0);

    // The later of two settings of one option wins.
    const RenderOptions later = parse({"--center", "0:1,2", "--center", "3,4"});
    EXPECT_EQ(later.keyframes.count(kParamCenter), 0u);
    EXPECT_EQ(later.centerY, 4.0);

    // The parse stops at the first argument that is not a keyframe, such as a file name.
    std::vector<std::string> args = {"--shine-length", "0:100", "10:200", "in.png"};
    std::size_t i = 0;
    RenderOptions options;
    ASSERT_TRUE(parseRenderOption(args, i, options));
    EXPECT_EQ(i, 2u);

    // Every key's value is checked as a single value is.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--threshold", "0:10", "5:101"}, {"--center", "0:1,2", "9:40000,0"},
          {"--shine-length", "0:1.5"}, {"--exposure", "0:"}, {"--center", "0:12"}, {"--threshold", "10 20"},
          {"--threshold", "0:10", "x:20"}, {"--threshold", "99999999999:5"}, {"--threshold", ":40"},
          {"--center", "0:1,2", ":3,4"}}) {
        EXPECT_THROW(parse(bad), std::invalid_argument) << bad[0] << " " << bad[1];
    }
}

TEST_F(DeclaredParameters, CheckoutsAnswerWithTheValueAtTheirTime)
{
    applyRenderOptions(parse({"--center", "10:100,50", "20:200,-50", "--threshold", "0:0", "10:100",
                              "--shine-length", "0:0", "3:10", "--exposure", "30"}),
                       host);
    EXPECT_EQ(at(kParamCenter, 0).u.td.x_value, 100 << 16); // held before the first key
    EXPECT_EQ(at(kParamCenter, 15).u.td.x_value, 150 << 16);
    EXPECT_EQ(at(kParamCenter, 15).u.td.y_value, 0);
    EXPECT_EQ(at(kParamCenter, 16).u.td.y_value, -10 * 65536);
    EXPECT_EQ(at(kParamCenter, 99).u.td.y_value, -50 * 65536);
    EXPECT_EQ(at(kParamThreshold, 5).u.fd.value, 50 << 16);
    EXPECT_EQ(at(kParamThreshold, 1).u.fd.value, 10 << 16);
    EXPECT_EQ(at(kParamShineLength, 1).u.sd.value, 3); // 3.33 as a whole-number slider
    EXPECT_EQ(at(kParamShineLength, 2).u.sd.value, 7);
    EXPECT_EQ(at(kParamExposure, 7).u.fd.value, 30 << 16);

    // A time base of 30000/1001: frame 15 is at 15015 units and still reads as frame 15.
    host.setFrameRate(30000, 1001);
    EXPECT_EQ(at(kParamCenter, 15).u.td.x_value, 150 << 16);
    EXPECT_EQ(at(kParamThreshold, 3).u.fd.value, 30 << 16);
}
