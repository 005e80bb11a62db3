// The built plug-in under a host that refuses, fails and hands over odd data, as a
// host must be able to trust it: every refusal and failure gives the expected code,
// leaves the output world and the host's OpenGL context as they were, and the next
// frame renders normally; worlds of every size and padding, and parameters at and
// beyond their ranges, give a frame or a host error, never a crash or a scribble;
// and a small load across host threads and set-up cycles stays exact.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/FramePipeline.h"
#include "standin/HostThreadPool.h"
#include "standin/HostWorld.h"
#include "standin/PluginLibrary.h"
#include "standin/SubstituteHost.h"
#include "host/ParameterIndex.h"
#include "support/HostOwnContext.h"
#include "support/HostTestSupport.h"
#include "support/PluginHostFixture.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;
using namespace Tamrin::Solvane::StandIn;
using Tamrin::Solvane::Test::HostOwnContext;

using Tamrin::Solvane::Test::pixels;
using Tamrin::Solvane::Test::sameImage;

namespace {

using Bytes = std::vector<std::uint8_t>;

void paint(HostWorld& world, int phase = 0)
{
    for (int y = 0; y < world.height(); ++y) {
        std::uint8_t* p = world.row(y);
        for (int x = 0; x < world.width(); ++x, p += 4) {
            const bool bright = ((x + phase) / 3 + y / 2) % 4 == 0;
            p[0] = (x * 5 + y) % 9 == 0 ? 0 : 255;
            p[1] = bright ? 255 : 25;
            p[2] = bright ? 225 : 35;
            p[3] = bright ? 160 : 55;
        }
    }
}

// The plug-in host tests' set-up, with a painted input; every test ends with the plug-in set down.
class RobustnessHostTest : public Tamrin::Solvane::Test::PluginHostFixture {
protected:
    void SetUp() override
    {
        PluginHostFixture::SetUp();
        paint(input);
    }
    void TearDown() override
    {
        host->faults = HostFaults();
        host->globalSetDown();
        PluginHostFixture::TearDown();
    }
    // Renders the input with the host's own context current; checks that it is current afterwards.
    PF_Err render(HostWorld& in, HostWorld& out, A_long time = 0)
    {
        EXPECT_TRUE(hostContext.makeCurrent());
        const PF_Err error = host->render(in, out, time);
        EXPECT_TRUE(hostContext.isCurrent()) << "the host's context was not given back";
        return error;
    }
    Bytes renderInput()
    {
        HostWorld out(input.width(), input.height());
        EXPECT_EQ(render(input, out), PF_Err_NONE);
        return pixels(out);
    }
    // A frame of the input's size against another, both in the host's order.
    ::testing::AssertionResult sameInputFrame(const std::string& name, const Bytes& actual, const Bytes& expected) const
    {
        return sameImage(name, input.width(), input.height(), actual, expected,
                         Tamrin::Solvane::Test::PixelOrder::Argb);
    }
    void expectNothingHeld()
    {
        EXPECT_EQ(host->suitesHeld(), 0);
        EXPECT_EQ(host->handlesAlive(), 0);
        EXPECT_EQ(host->checkoutsOpen(), 0);
    }

    HostOwnContext hostContext;
    HostWorld input{23, 14};
};

} // namespace

TEST_F(RobustnessHostTest, EverySuiteRefusedInEveryCommand)
{
    setUpEffect();
    const Bytes reference = renderInput();
    ASSERT_EQ(host->globalSetDown(), PF_Err_NONE);

    for (const char* suite : {kPFANSISuite, kPFAppSuite, kPFHandleSuite}) {
        SCOPED_TRACE(suite);
        const std::string name = suite;
        host->faults.refusedSuites = {suite};

        std::strcpy(host->outData().return_msg, "kept");
        std::string text;
        EXPECT_EQ(host->about(text), name == kPFANSISuite ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE);
        if (name == kPFANSISuite) {
            EXPECT_EQ(text, "kept");
        }

        EXPECT_TRUE(hostContext.makeCurrent());
        EXPECT_EQ(host->globalSetUp(), name == kPFAppSuite ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE);
        EXPECT_TRUE(hostContext.isCurrent());
        if (name == kPFAppSuite) {
            host->faults.refusedSuites.clear();
            ASSERT_EQ(host->globalSetUp(), PF_Err_NONE);
            host->faults.refusedSuites = {suite};
        }
        EXPECT_EQ(host->paramsSetUp(), PF_Err_NONE);
        EXPECT_EQ(host->parameters().size(), 8u);

        HostWorld output(input.width(), input.height());
        output.fill(0x5C);
        const Bytes untouched = pixels(output);
        const PF_Err error = render(input, output);
        if (name == kPFHandleSuite) {
            EXPECT_EQ(error, PF_Err_BAD_CALLBACK_PARAM);
            EXPECT_TRUE(sameImage("output-against-untouched", output, untouched));
        } else {
            EXPECT_EQ(error, PF_Err_NONE);
            EXPECT_TRUE(sameImage("output-against-reference", output, reference));
        }
        expectNothingHeld();

        host->faults.refusedSuites.clear();
        EXPECT_TRUE(sameInputFrame("next-frame", renderInput(), reference)) << "the next frame";
        EXPECT_TRUE(hostContext.makeCurrent());
        EXPECT_EQ(host->globalSetDown(), PF_Err_NONE);
        EXPECT_TRUE(hostContext.isCurrent());
        expectNothingHeld();
    }
}

TEST_F(RobustnessHostTest, EveryHandleAllocationFailing)
{
    setUpEffect();
    const Bytes reference = renderInput();
    host->faults.failHandleAllocation = true;
    for (int size : {1, 7, 23}) {
        HostWorld in(size, size + 1);
        paint(in);
        HostWorld out(size, size + 1);
        out.fill(0x77);
        const Bytes untouched = pixels(out);
        EXPECT_EQ(render(in, out), PF_Err_BAD_CALLBACK_PARAM) << size;
        EXPECT_TRUE(sameImage("out-against-untouched", out, untouched));
        EXPECT_TRUE(out.paddingIntact());
        expectNothingHeld();
    }
    // Commands that need no handle are not affected.
    std::string text;
    EXPECT_EQ(host->about(text), PF_Err_NONE);
    EXPECT_EQ(host->paramsSetUp(), PF_Err_NONE);
    host->faults.failHandleAllocation = false;
    EXPECT_TRUE(sameInputFrame("next-frame", renderInput(), reference));
}

TEST_F(RobustnessHostTest, EachParameterDeclarationFailing)
{
    ASSERT_EQ(host->globalSetUp(), PF_Err_NONE);
    ASSERT_EQ(host->paramsSetUp(), PF_Err_NONE);
    const Bytes reference = renderInput();
    for (int failing = 1; failing <= 7; ++failing) {
        SCOPED_TRACE(failing);
        host->faults.failAddParamAt = failing;
        host->outData().num_params = 0;
        EXPECT_EQ(host->paramsSetUp(), PF_Err_OUT_OF_MEMORY); // the host's own code, unchanged
        EXPECT_EQ(host->parameters().size(), static_cast<std::size_t>(failing)); // the layer and those before
        EXPECT_EQ(host->addParamCalls(), failing);
        EXPECT_EQ(host->outData().num_params, 8);
        host->faults.failAddParamAt = 0;
        // A frame with parameters missing is still drawn, with the values it last read.
        HostWorld out(input.width(), input.height());
        EXPECT_EQ(render(input, out), PF_Err_NONE);
        EXPECT_TRUE(sameImage("out-against-reference", out, reference));
        expectNothingHeld();
        ASSERT_EQ(host->paramsSetUp(), PF_Err_NONE);
        EXPECT_EQ(host->parameters().size(), 8u);
        EXPECT_TRUE(sameInputFrame("next-frame", renderInput(), reference));
    }
}

TEST_F(RobustnessHostTest, EachCheckoutFailingKeepsTheValueOfTheLastFrame)
{
    setUpEffect();
    // Values other than the defaults, and for each parameter another value that shows.
    host->setFixedSlider(kParamThreshold, 40);
    host->setFixedSlider(kParamThresholdSmooth, 10);
    host->setPoint(kParamCenter, 5, 3);
    host->setSlider(kParamShineLength, 2048);
    host->setFixedSlider(kParamExposure, 30);
    host->setPopup(kParamQuality, 1);
    host->setCheckbox(kParamRayOnly, false);
    const std::map<PF_ParamIndex, std::function<void()>> changes = {
        {kParamThreshold, [&] { host->setFixedSlider(kParamThreshold, 90); }},
        {kParamThresholdSmooth, [&] { host->setFixedSlider(kParamThresholdSmooth, 90); }},
        {kParamCenter, [&] { host->setPoint(kParamCenter, 20, 12); }},
        {kParamShineLength, [&] { host->setSlider(kParamShineLength, 2); }},
        {kParamExposure, [&] { host->setFixedSlider(kParamExposure, 90); }},
        {kParamQuality, [&] { host->setPopup(kParamQuality, 3); }},
        {kParamRayOnly, [&] { host->setCheckbox(kParamRayOnly, true); }},
    };
    for (const auto& [index, change] : changes) {
        SCOPED_TRACE(index);
        const Bytes before = renderInput();
        change();
        host->faults.failCheckoutIndex = index;
        EXPECT_TRUE(sameInputFrame("next-frame", renderInput(), before))
            << "a failed checkout must keep the last frame's value";
        expectNothingHeld();
        host->faults.failCheckoutIndex = -1;
        EXPECT_NE(renderInput(), before) << "the new value shows once its checkout works";
    }
}

TEST_F(RobustnessHostTest, WorldsOfEverySizeAndRowPadding)
{
    setUpEffect();
    host->setPoint(kParamCenter, 2, 1);
    struct Size {
        int width, height;
    };
    for (const Size size : {Size{1, 1}, Size{1, 4096}, Size{4096, 1}, Size{3, 5}, Size{17, 1}, Size{1, 17},
                            Size{255, 3}, Size{1023, 7}, Size{2, 2}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        Bytes reference;
        // No padding, the host's usual, a large one, and paddings that are no multiple of a pixel.
        for (int extra : {0, -1, 4096 + 4, 3, 5, 1}) {
            SCOPED_TRACE(extra);
            HostWorld in(size.width, size.height, extra);
            paint(in, 1);
            HostWorld out(size.width, size.height, extra);
            ASSERT_EQ(render(in, out), PF_Err_NONE);
            EXPECT_TRUE(out.paddingIntact());
            EXPECT_TRUE(in.paddingIntact());
            if (reference.empty()) {
                reference = pixels(out);
            } else {
                EXPECT_TRUE(sameImage("out-against-reference", out, reference)) << "the padding changed the picture";
            }
        }
        expectNothingHeld();
    }
    // Empty frames are nothing to draw and nothing to write.
    for (const Size size : {Size{0, 0}, Size{0, 5}, Size{5, 0}}) {
        HostWorld in(size.width, size.height);
        HostWorld out(size.width, size.height);
        EXPECT_EQ(render(in, out), PF_Err_NONE);
        EXPECT_TRUE(out.paddingIntact());
    }
    // An output smaller than the input takes only what it holds.
    HostWorld small(9, 4);
    small.fill(0x31);
    EXPECT_EQ(render(input, small), PF_Err_NONE);
    EXPECT_TRUE(small.paddingIntact());
}

TEST_F(RobustnessHostTest, UnusableWorldsAndRecordsAreRefusedUntouched)
{
    setUpEffect();
    const Bytes reference = renderInput();
    HostWorld output(input.width(), input.height());
    output.fill(0x5C);
    const Bytes untouched = pixels(output);

    HostWorld shortRows(input.width(), input.height(), 0);
    shortRows.def().rowbytes = input.width() * 4 - 1;
    EXPECT_EQ(render(shortRows, output), PF_Err_BAD_CALLBACK_PARAM);
    HostWorld backwards(input.width(), input.height(), 0);
    backwards.def().rowbytes = -input.width() * 4;
    EXPECT_EQ(render(backwards, output), PF_Err_BAD_CALLBACK_PARAM);
    HostWorld negative(4, 4);
    negative.def().width = -4;
    EXPECT_EQ(render(negative, output), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(sameImage("output-against-untouched", output, untouched));
    HostWorld shortOutput(input.width(), input.height(), 0);
    shortOutput.fill(0x5C);
    shortOutput.def().rowbytes = 4;
    EXPECT_EQ(render(input, shortOutput), PF_Err_BAD_CALLBACK_PARAM);
    shortOutput.def().rowbytes = input.width() * 4;
    EXPECT_TRUE(sameImage("shortOutput-against-untouched", shortOutput, untouched));

    // No parameters, no output, no records at all.
    EXPECT_EQ(host->command(PF_Cmd_RENDER, nullptr, &output.def()), PF_Err_BAD_CALLBACK_PARAM);
    PF_ParamDef layer{};
    layer.u.ld = input.def();
    PF_ParamDef* params[] = {&layer};
    EXPECT_EQ(host->command(PF_Cmd_RENDER, params, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    for (PF_Cmd cmd : {PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_RENDER}) {
        EXPECT_EQ(library->entryPoint()(cmd, nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM)
            << cmd;
    }
    EXPECT_TRUE(sameImage("output-against-untouched", output, untouched));
    expectNothingHeld();
    EXPECT_TRUE(sameInputFrame("next-frame", renderInput(), reference));
}

TEST_F(RobustnessHostTest, ParametersAtAndBeyondTheirRanges)
{
    setUpEffect();
    const Bytes reference = renderInput();
    const PF_Fixed fixedValues[] = {INT32_MIN, -(1 << 16), 0, 50 << 16, 100 << 16, 101 << 16, 10000 << 16, INT32_MAX};
    struct Case {
        std::string what;
        std::function<void()> set;
    };
    std::vector<Case> cases;
    for (PF_ParamIndex index : {kParamThreshold, kParamThresholdSmooth, kParamExposure}) {
        for (PF_Fixed value : fixedValues) {
            cases.push_back({"fixed slider " + std::to_string(index) + " = " + std::to_string(value),
                             [=] { host->parameter(index).current.u.fd.value = value; }});
        }
    }
    for (A_long value : {INT32_MIN, -1, 0, 1, 2048, 2049, 100000, INT32_MAX}) {
        cases.push_back({"shine length " + std::to_string(value),
                         [=] { host->parameter(kParamShineLength).current.u.sd.value = value; }});
    }
    for (A_long value : {INT32_MIN, -1, 0, 1, 3, 4, INT32_MAX}) {
        cases.push_back({"quality " + std::to_string(value),
                         [=] { host->parameter(kParamQuality).current.u.pd.value = value; }});
    }
    for (A_long value : {INT32_MIN, -1, 2, INT32_MAX}) {
        cases.push_back({"ray only " + std::to_string(value),
                         [=] { host->parameter(kParamRayOnly).current.u.bd.value = value; }});
    }
    // The centre as far as the host's fixed point reaches, about 32768 pixels each way.
    for (const auto& [x, y] : {std::make_pair(INT32_MIN, INT32_MIN), std::make_pair(INT32_MAX, 7 << 16),
                               std::make_pair(-(1 << 16), INT32_MAX)}) {
        cases.push_back({"centre " + std::to_string(x) + "," + std::to_string(y), [=, px = x, py = y] {
                             host->setPoint(kParamCenter, 0, 0);
                             host->parameter(kParamCenter).current.u.td.x_value = px;
                             host->parameter(kParamCenter).current.u.td.y_value = py;
                         }});
    }
    // A popup value beyond the choices is the nearest choice: High below them, Low above.
    auto qualityFrame = [&](A_long choice) {
        host->parameter(kParamQuality).current.u.pd.value = choice;
        return renderInput();
    };
    const Bytes high = qualityFrame(1);
    const Bytes low = qualityFrame(3);
    ASSERT_NE(high, low);
    EXPECT_EQ(qualityFrame(INT32_MIN), high);
    EXPECT_EQ(qualityFrame(-5), high);
    EXPECT_EQ(qualityFrame(INT32_MAX), low);
    ASSERT_EQ(host->paramsSetUp(), PF_Err_NONE);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.set();
        HostWorld first(input.width(), input.height());
        first.fill(0x5C);
        const Bytes untouched = pixels(first);
        const PF_Err error = render(input, first);
        EXPECT_TRUE(error == PF_Err_NONE || error == PF_Err_BAD_CALLBACK_PARAM) << error;
        EXPECT_TRUE(first.paddingIntact());
        if (error != PF_Err_NONE) {
            EXPECT_TRUE(sameImage("first-against-untouched", first, untouched));
        } else {
            // The same frame again is the same: nothing undefined went into it.
            HostWorld second(input.width(), input.height());
            EXPECT_EQ(render(input, second), PF_Err_NONE);
            EXPECT_EQ(pixels(second), pixels(first));
        }
        expectNothingHeld();
        ASSERT_EQ(host->paramsSetUp(), PF_Err_NONE); // back to the declared values
        EXPECT_TRUE(sameInputFrame("next-frame", renderInput(), reference)) << "the next frame";
    }
}

TEST_F(RobustnessHostTest, FramesBeyondTheOpenGLLimitsAreRefusedUntouched)
{
    setUpEffect();
    const Bytes reference = renderInput();
    struct Size {
        int width, height;
    };
    for (const Size size : {Size{20000, 1}, Size{1, 20000}, Size{70000, 2}}) {
        HostWorld in(size.width, size.height);
        HostWorld out(size.width, size.height);
        out.fill(0x33);
        EXPECT_EQ(render(in, out), PF_Err_BAD_CALLBACK_PARAM) << size.width << "x" << size.height;
        EXPECT_EQ(out.row(0)[0], 0x33);
        EXPECT_EQ(out.row(size.height - 1)[size.width * 4 - 1], 0x33);
        expectNothingHeld();
    }
    EXPECT_TRUE(sameInputFrame("next-frame", renderInput(), reference));
}

TEST_F(RobustnessHostTest, SmallLoadAcrossHostThreadsAndSetUpCycles)
{
    setUpEffect();
    // The centre moves over eight frame times; every frame must equal the first of its time.
    host->parameter(kParamCenter).animate = [](PF_ParamDef& def, double seconds, int, int) {
        const int frame = static_cast<int>(seconds * 24.0 + 0.5) % 8;
        def.u.td.x_value = (frame * 3) << 16;
        def.u.td.y_value = (14 - frame) << 16;
    };
    std::vector<Bytes> reference(8);
    long mismatches = 0;
    {
        HostThreadPool threads(3);
        FramePipeline pipeline(*host, threads);
        FramePipeline::Stages stages;
        stages.read = [&](long index, PipelineFrame& frame) {
            if (index >= 240) {
                return false;
            }
            frame.number = index;
            frame.input = std::make_unique<HostWorld>(input.width(), input.height());
            paint(*frame.input);
            return true;
        };
        stages.write = [&](PipelineFrame& frame) {
            Bytes& expected = reference[static_cast<std::size_t>(frame.number % 8)];
            if (expected.empty()) {
                expected = pixels(*frame.output);
            } else if (pixels(*frame.output) != expected) {
                ++mismatches;
            }
            if (!frame.output->paddingIntact()) {
                ++mismatches;
            }
        };
        EXPECT_EQ(pipeline.run(stages), 240);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_NE(reference[0], reference[4]);
    expectNothingHeld();

    host->parameter(kParamCenter).animate = nullptr;
    const Bytes first = renderInput();
    HostThreadPool threads(2);
    for (int cycle = 0; cycle < 6; ++cycle) {
        ASSERT_EQ(host->globalSetDown(), PF_Err_NONE);
        setUpEffect();
        for (int t = 0; t < 2; ++t) {
            HostWorld out(input.width(), input.height());
            PF_Err error = PF_Err_NONE;
            threads.run([&] { error = host->render(input, out, 0); });
            EXPECT_EQ(error, PF_Err_NONE);
            EXPECT_TRUE(sameImage("out-against-first", out, first)) << "cycle " << cycle;
        }
        expectNothingHeld();
    }
}
