// The render command's own options: frame numbers and file-name patterns, the host
// time base, the raw video size and host threads, the checks on their combinations,
// and the progress line's text.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/FramePattern.h"
#include "cli/ProgressLine.h"
#include "cli/RenderJob.h"
#include "host/ParameterIndex.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;

TEST(FramePattern, NumbersFramesAsPrintfWouldWithoutPrintf)
{
    EXPECT_EQ(FramePattern("in/frame_%04d.png").path(7), "in/frame_0007.png");
    EXPECT_EQ(FramePattern("in/frame_%04d.png").path(123456), "in/frame_123456.png");
    EXPECT_EQ(FramePattern("f%d.png").path(42), "f42.png");
    EXPECT_EQ(FramePattern("100%%_%03d.png").path(5), "100%_005.png");
    EXPECT_FALSE(FramePattern("100%%.png").numbered());
    EXPECT_EQ(FramePattern("100%%.png").path(3), "100%.png");
    EXPECT_TRUE(FramePattern("a%02db").numbered());
    for (const char* bad : {"%s.png", "%04d_%04d.png", "%", "a%4d.png", "%n", "%x"}) {
        EXPECT_THROW(FramePattern{bad}, std::invalid_argument) << bad;
    }
}

TEST(FrameRange, FirstToLastOrOneFrame)
{
    EXPECT_EQ(parseFrameRange("1-240").first, 1);
    EXPECT_EQ(parseFrameRange("1-240").count(), 240);
    EXPECT_EQ(parseFrameRange("17").count(), 1);
    EXPECT_EQ(parseFrameRange("17").first, 17);
    for (const char* bad : {"", "-5", "5-", "9-3", "a-b", "1-2-3", "1 - 3", "1234567890"}) {
        EXPECT_THROW(parseFrameRange(bad), std::invalid_argument) << bad;
    }
}

TEST(FrameRate, WholeDecimalAndRationalRates)
{
    A_u_long scale = 0;
    A_long step = 0;
    parseFrameRate("24", scale, step);
    EXPECT_EQ(scale, 24u);
    EXPECT_EQ(step, 1);
    parseFrameRate("30000/1001", scale, step);
    EXPECT_EQ(scale, 30000u);
    EXPECT_EQ(step, 1001);
    parseFrameRate("29.97", scale, step);
    EXPECT_EQ(scale, 2997u);
    EXPECT_EQ(step, 100);
    parseFrameRate("50/2", scale, step);
    EXPECT_EQ(scale, 25u);
    EXPECT_EQ(step, 1);
    for (const char* bad : {"0", "-24", "abc", "24/0", "/5", "1e9", "nan", "2000"}) {
        EXPECT_THROW(parseFrameRate(bad, scale, step), std::invalid_argument) << bad;
    }
}

TEST(RenderJob, OptionsAndTheirCombinations)
{
    const RenderJob sequence("x.aex", {"in/f_%04d.png", "out/f_%04d.png", "--frames", "1-240", "--fps", "25",
                                       "--center", "1:0,0", "240:100,100", "--host-threads", "3", "--quiet"});
    EXPECT_EQ(sequence.jobOptions().frames->count(), 240);
    EXPECT_EQ(sequence.jobOptions().timeScale, 25u);
    EXPECT_EQ(sequence.jobOptions().hostThreads, 3);
    EXPECT_TRUE(sequence.jobOptions().quiet);
    EXPECT_EQ(sequence.renderOptions().keyframes.count(kParamCenter), 1u);

    const RenderJob pipe("x.aex", {"--raw", "1920x1080", "-", "-", "--no-overlap"});
    EXPECT_EQ(pipe.jobOptions().rawWidth, 1920);
    EXPECT_EQ(pipe.jobOptions().rawHeight, 1080);
    EXPECT_FALSE(pipe.jobOptions().overlap);
    EXPECT_EQ(pipe.jobOptions().hostThreads, 2);

    // One still image animated over frames is a sequence too.
    EXPECT_NO_THROW(RenderJob("x.aex", {"still.png", "out_%03d.png", "--frames", "0-9"}));
    EXPECT_NO_THROW(RenderJob("x.aex", {"in_%03d.png", "one.png", "--frames", "5"}));

    // The centre takes what the host's 16.16 point holds: +-32767 pixels, the ends included.
    const RenderJob farthest("x.aex", {"a.png", "b.png", "--center", "32767,-32767"});
    EXPECT_DOUBLE_EQ(farthest.renderOptions().centerX.value(), 32767.0);
    EXPECT_DOUBLE_EQ(farthest.renderOptions().centerY.value(), -32767.0);
    EXPECT_NO_THROW(RenderJob("x.aex", {"a.png", "b.png", "--center", "0:-32767,0", "9:0,32767"}));
    for (const char* beyond : {"32767.01,0", "0,-32768", "inf,0", "nan,0"}) {
        EXPECT_THROW(RenderJob("x.aex", {"a.png", "b.png", "--center", beyond}), std::invalid_argument) << beyond;
    }

    const std::vector<std::vector<std::string>> usageErrors = {
        {"in_%04d.png", "out_%04d.png"},                       // a sequence without --frames
        {"in_%04d.png", "out.png", "--frames", "1-3"},         // many frames into one file
        {"in.png", "out.png", "--frames", "1-3"},
        {"-", "out.png"},                                      // a stream without --raw
        {"--raw", "4x4", "-", "-", "--frames", "1-2"},         // raw video counts from 0
        {"--raw", "4x4", "in_%d.raw", "-"},
        {"--raw", "0x4", "-", "-"}, {"--raw", "4", "-", "-"}, {"--raw", "99999x2", "-", "-"},
        {"in.png"}, {"a.png", "b.png", "c.png"},
        {"a.png", "b.png", "--host-threads", "0"}, {"a.png", "b.png", "--host-threads", "x"},
        {"a.png", "b.png", "--fps"}, {"a.png", "b.png", "--bogus"}, {"a_%s.png", "b.png", "--frames", "1"},
    };
    for (const auto& args : usageErrors) {
        EXPECT_THROW(RenderJob("x.aex", args), std::invalid_argument) << args[0] << " " << args[1];
    }
}

TEST(RenderJob, EveryOptionTakesItsValueAfterAnEqualsSignToo)
{
    const RenderJob spaced("x.aex", {"in_%d.png", "out_%d.png", "--frames", "1-9", "--fps", "25", "--center",
                                     "-40,30", "--exposure", "1:20", "5:40", "--quality", "low", "--language", "zh_CN",
                                     "--host-threads", "3"});
    const RenderJob equals("x.aex", {"in_%d.png", "out_%d.png", "--frames=1-9", "--fps=25", "--center=-40,30",
                                     "--exposure=1:20", "5:40", "--quality=low", "--language=zh_CN",
                                     "--host-threads=3"});
    for (const RenderJob* job : {&spaced, &equals}) {
        EXPECT_EQ(job->jobOptions().frames->count(), 9);
        EXPECT_EQ(job->jobOptions().timeScale, 25u);
        EXPECT_EQ(job->jobOptions().hostThreads, 3);
        EXPECT_EQ(*job->renderOptions().centerX, -40.0);
        EXPECT_EQ(*job->renderOptions().centerY, 30.0);
        EXPECT_EQ(job->renderOptions().keyframes.at(kParamExposure).valueAt(3)[0], 30.0);
        EXPECT_EQ(*job->renderOptions().quality, 3);
        EXPECT_EQ(job->renderOptions().language, "zh_CN");
    }
    EXPECT_EQ(RenderJob("x.aex", {"--raw=16x8", "-", "-"}).jobOptions().rawWidth, 16);

    // A switch takes no value; an empty value is no value; sizes beyond the plug-in name the size and the limit.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"a.png", "b.png", "--ray-only=yes"}, {"a.png", "b.png", "--quiet=1"},
          {"a.png", "b.png", "--center="}, {"a.png", "b.png", "--language=toolong"}}) {
        EXPECT_THROW(RenderJob("x.aex", args), std::invalid_argument) << args[2];
    }
    try {
        RenderJob("x.aex", {"--raw", "16385x8", "-", "-"});
        ADD_FAILURE() << "a frame wider than the plug-in draws was accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("16385x8"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("16384"), std::string::npos) << e.what();
    }
}

TEST(ProgressLine, FiguresAndSilenceWhenOff)
{
    EXPECT_EQ(ProgressLine::format(57, 57, 240, 10.0), "frame 57 (57/240, 24%)  5.70 fps  0:32 left");
    EXPECT_EQ(ProgressLine::format(3, 10, 100000, 5.0), "frame 3 (10/100000, 0%)  2.00 fps  13:53:15 left");
    EXPECT_EQ(ProgressLine::format(9, 10, 0, 4.0), "frame 9 (10 done)  2.50 fps");
    EXPECT_EQ(ProgressLine::format(0, 0, 10, 0.0), "frame 0 (0/10, 0%)  0.00 fps  --:-- left");

    std::FILE* stream = std::tmpfile();
    {
        ProgressLine off(false, stream);
        off.frameDone(1, 1, 2);
        off.frameDone(2, 2, 2);
    }
    EXPECT_EQ(std::ftell(stream), 0);
    {
        ProgressLine on(true, stream);
        on.frameDone(1, 1, 2);
        on.frameDone(2, 2, 2); // the last frame is always shown
    }
    std::rewind(stream);
    char text[512] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, stream);
    const std::string written(text, length);
    EXPECT_EQ(written.front(), '\r');
    EXPECT_NE(written.find("frame 2 (2/2, 100%)"), std::string::npos);
    EXPECT_EQ(written.back(), '\n');
    std::fclose(stream);
}
