// solvane as a production tool, with the built plug-in: keyframed parameters read
// through the plug-in's own checkouts, the same frames for every number of host
// threads, numbered sequences and raw video pipes on the command line, and what
// is left behind when a frame fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "cli/FramePipeline.h"
#include "standin/HostThreadPool.h"
#include "standin/HostWorld.h"
#include "standin/PluginSession.h"
#include "cli/PngImage.h"
#include "cli/RenderOptions.h"
#include "host/ParameterIndex.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;
using namespace Tamrin::Solvane::StandIn;
namespace fs = std::filesystem;
using Tamrin::Solvane::Test::pluginPath;
using Tamrin::Solvane::Test::runCommand;
using Tamrin::Solvane::Test::PixelOrder;
using Tamrin::Solvane::Test::sameImage;
using Tamrin::Solvane::Test::ScratchFolder;
using Tamrin::Solvane::Test::solvanePath;

using Tamrin::Solvane::Test::pixels;

namespace {

using Tamrin::Solvane::Test::readFile;
using Tamrin::Solvane::Test::writeFile;

using Bytes = std::vector<std::uint8_t>;

// Bright blocks on a dark ground, shifted by `phase`: frames that differ.
void paint(HostWorld& world, int phase = 0)
{
    for (int y = 0; y < world.height(); ++y) {
        std::uint8_t* p = world.row(y);
        for (int x = 0; x < world.width(); ++x, p += 4) {
            const bool bright = ((x + phase) / 4 + y / 3) % 3 == 0;
            p[0] = 255;
            p[1] = bright ? 250 : 20;
            p[2] = bright ? 230 : 30;
            p[3] = bright ? 190 : 50;
        }
    }
}

RgbaImage rgba(const HostWorld& world)
{
    RgbaImage image;
    image.width = world.width();
    image.height = world.height();
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    world.copyToRgba(image.pixels.data());
    return image;
}

RenderOptions options(std::vector<std::string> args)
{
    RenderOptions parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        parseRenderOption(args, i, parsed);
    }
    return parsed;
}

// Renders frames first..last of painted 40×24 layers through the pipeline; outputs by frame number.
std::map<long, Bytes> renderFrames(SubstituteHost& host, int hostThreads, long first, long last)
{
    std::map<long, Bytes> outputs;
    HostThreadPool threads(hostThreads);
    FramePipeline pipeline(host, threads);
    FramePipeline::Stages stages;
    stages.read = [&](long index, PipelineFrame& frame) {
        if (first + index > last) {
            return false;
        }
        frame.number = first + index;
        frame.input = std::make_unique<HostWorld>(40, 24);
        paint(*frame.input, static_cast<int>(frame.number));
        return true;
    };
    stages.write = [&](PipelineFrame& frame) { outputs[frame.number] = pixels(*frame.output); };
    pipeline.run(stages);
    return outputs;
}

} // namespace

TEST(SequenceHost, KeyframedValuesReachThePluginThroughItsCheckouts)
{
    PluginSession session(pluginPath(), "en_US");
    SubstituteHost& host = session.host();
    applyRenderOptions(options({"--center", "2:4,5", "6:36,20", "--exposure", "2:20", "6:60"}), host);
    const std::map<long, Bytes> animated = renderFrames(host, 2, 0, 8);

    // The same frames with constant values: before, between and after the keys.
    host.parameter(kParamCenter).animate = nullptr;
    host.parameter(kParamExposure).animate = nullptr;
    auto constant = [&](long frame, double x, double y, double exposure) {
        host.setPoint(kParamCenter, x, y);
        host.setFixedSlider(kParamExposure, exposure);
        return renderFrames(host, 1, frame, frame).at(frame);
    };
    EXPECT_TRUE(sameImage("frame-0", 40, 24, animated.at(0), constant(0, 4, 5, 20), PixelOrder::Argb));
    EXPECT_TRUE(sameImage("frame-4", 40, 24, animated.at(4), constant(4, 20, 12.5, 40), PixelOrder::Argb));
    EXPECT_TRUE(sameImage("frame-5", 40, 24, animated.at(5), constant(5, 28, 16.25, 50), PixelOrder::Argb));
    EXPECT_TRUE(sameImage("frame-8", 40, 24, animated.at(8), constant(8, 36, 20, 60), PixelOrder::Argb));
    EXPECT_NE(animated.at(4), constant(4, 4, 5, 20));
    EXPECT_EQ(host.checkoutsOpen(), 0);
}

TEST(SequenceHost, FramesAreTheSameForEveryNumberOfHostThreads)
{
    PluginSession session(pluginPath(), "en_US");
    applyRenderOptions(options({"--center", "0:0,0", "5:40,24", "--threshold", "0:30", "5:70"}), session.host());
    const std::map<long, Bytes> one = renderFrames(session.host(), 1, 0, 5);
    ASSERT_EQ(one.size(), 6u);
    EXPECT_NE(one.at(0), one.at(5));
    for (int threads : {2, 3}) {
        EXPECT_EQ(renderFrames(session.host(), threads, 0, 5), one) << threads << " host threads";
    }
}

TEST(SequenceCommand, RendersEveryNumberedFrameAtItsFileNumber)
{
    ScratchFolder folder;
    for (int frame = 7; frame <= 9; ++frame) {
        HostWorld world(40, 24);
        paint(world, frame);
        writePngAtomically(folder / ("in_0" + std::to_string(frame) + ".png"), rgba(world));
    }
    std::string output;
    ASSERT_EQ(runCommand(solvanePath() + " render " + folder / "in_%02d.png" + " " + folder / "out_%02d.png" +
                             " --frames 7-9 --center 7:2,2 9:30,18 --host-threads 3",
                         &output),
              0)
        << output;
    EXPECT_EQ(output.find("fps"), std::string::npos) << "a progress line where standard error is no terminal";
    // Frame 8 lies halfway between the keys at 7 and 9.
    ASSERT_EQ(runCommand(solvanePath() + " render " + folder / "in_08.png" + " " + folder / "single.png" +
                             " --center 16,10",
                         &output),
              0)
        << output;
    EXPECT_TRUE(sameImage("frame-8", readPng(folder / "out_08.png"), readPng(folder / "single.png")));
    EXPECT_NE(readPng(folder / "out_07.png").pixels, readPng(folder / "single.png").pixels);
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"in_07.png", "in_08.png", "in_09.png", "out_07.png",
                                                        "out_08.png", "out_09.png", "single.png"}));
    // Outputs are made as any new file is: readable as the umask allows, not only by their owner.
    writeFile(folder / "plain.txt", "x");
    EXPECT_EQ(fs::status(folder / "out_08.png").permissions(), fs::status(folder / "plain.txt").permissions());
}

TEST(SequenceCommand, AFailedFrameIsNamedAndNoOutputIsLeftHalfWritten)
{
    ScratchFolder folder;
    for (int frame = 1; frame <= 4; ++frame) {
        HostWorld world(16, 8);
        paint(world, frame);
        writePngAtomically(folder / ("in_" + std::to_string(frame) + ".png"), rgba(world));
    }
    writeFile(folder / "in_3.png", "not a picture");
    writeFile(folder / "out_3.png", "old three");
    writeFile(folder / "out_4.png", "old four");
    std::string output;
    EXPECT_EQ(runCommand(solvanePath() + " render " + folder / "in_%d.png" + " " + folder / "out_%d.png" +
                             " --frames 1-4",
                         &output),
              1);
    EXPECT_NE(output.find("error: frame 3: " + folder / "in_3.png" + ": not an image solvane reads"), std::string::npos)
        << output;
    EXPECT_EQ(readPng(folder / "out_2.png").width, 16);
    // The failed frame's and the later frame's old files are left as they were, and nothing else is there.
    EXPECT_EQ(readFile(folder / "out_3.png"), "old three");
    EXPECT_EQ(readFile(folder / "out_4.png"), "old four");
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"in_1.png", "in_2.png", "in_3.png", "in_4.png", "out_1.png",
                                                        "out_2.png", "out_3.png", "out_4.png"}));

    // A missing frame and a folder that does not exist are named the same way.
    std::remove((folder / "in_3.png").c_str());
    EXPECT_EQ(runCommand(solvanePath() + " render " + folder / "in_%d.png" + " " + folder / "out_%d.png" +
                             " --frames 2-3 --quiet",
                         &output),
              1);
    EXPECT_NE(output.find("error: frame 3: " + folder / "in_3.png"), std::string::npos) << output;
    EXPECT_EQ(runCommand(solvanePath() + " render " + folder / "in_%d.png" + " " + folder / "none/out_%d.png" +
                             " --frames 4",
                         &output),
              1);
    EXPECT_NE(output.find("error: frame 4: " + folder / "none/out_4.png"), std::string::npos) << output;
    EXPECT_EQ(runCommand(solvanePath() + " render " + folder / "in_%d.png" + " " + folder / "out_%d.png", &output),
              2);
    EXPECT_NE(output.find("--frames"), std::string::npos) << output;
}

#if !defined(_WIN32)
TEST(PipeCommand, StandardOutputCarriesTheFramesAndNothingElse)
{
    ScratchFolder folder;
    std::string input;
    std::vector<HostWorld> frames;
    for (int frame = 0; frame < 3; ++frame) {
        HostWorld world(20, 12);
        paint(world, frame * 3);
        const Bytes bytes = pixels(world);
        input.append(bytes.begin(), bytes.end());
    }
    writeFile(folder / "in.raw", input);
    std::string output;
    ASSERT_EQ(runCommand("( " + solvanePath() + " render --verbose --raw 20x12 - - --center 0:0,0 2:20,12 " +
                             "--exposure 50 < " + folder / "in.raw" + " > " + folder / "out.raw" + " 2> " +
                             folder / "err.txt )",
                         &output),
              0)
        << readFile(folder / "err.txt");
    const std::string stream = readFile(folder / "out.raw");
    ASSERT_EQ(stream.size(), 3u * 20 * 12 * 4);
    // The plug-in's context identification (asked for with --verbose) went to standard error.
    EXPECT_NE(readFile(folder / "err.txt").find("OpenGL Version:"), std::string::npos);

    // Frames count from 0: the middle frame is rendered at frame 1, in the host's byte order.
    PluginSession session(pluginPath(), "en_US");
    session.host().setPoint(kParamCenter, 10, 6);
    session.host().setFixedSlider(kParamExposure, 50);
    HostWorld middle(20, 12);
    paint(middle, 3);
    HostWorld rendered(20, 12);
    ASSERT_EQ(session.host().render(middle, rendered, 1), PF_Err_NONE);
    const Bytes expected = pixels(rendered);
    const std::string middleFrame = stream.substr(20 * 12 * 4, 20 * 12 * 4);
    EXPECT_TRUE(
        sameImage("frame-1", 20, 12, Bytes(middleFrame.begin(), middleFrame.end()), expected, PixelOrder::Argb));
}

TEST(PipeCommand, AShortLastFrameIsAnErrorAfterTheWholeFrames)
{
    ScratchFolder folder;
    writeFile(folder / "in.raw", std::string(2 * 8 * 4 * 4 + 10, '\x40'));
    std::string output;
    EXPECT_EQ(runCommand("( " + solvanePath() + " render --raw 8x4 - - < " + folder / "in.raw" + " > " +
                             folder / "out.raw" + " 2> " + folder / "err.txt )",
                         &output),
              1);
    EXPECT_EQ(readFile(folder / "out.raw").size(), 2u * 8 * 4 * 4);
    EXPECT_NE(readFile(folder / "err.txt").find("error: frame 2: standard input: the stream ends inside a frame: 10 "
                                                "of 128 bytes"),
              std::string::npos)
        << readFile(folder / "err.txt");

    // Into a file: nothing is left of a run that failed, and an old file stays.
    writeFile(folder / "old.raw", "old");
    EXPECT_EQ(runCommand(solvanePath() + " render --raw 8x4 " + folder / "in.raw" + " " + folder / "old.raw", &output),
              1);
    EXPECT_EQ(readFile(folder / "old.raw"), "old");
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"err.txt", "in.raw", "old.raw", "out.raw"}));
}

TEST(PipeCommand, ProgressLineOnlyOnATerminalAndNotWhenQuiet)
{
    if (runCommand("command -v script") != 0) {
        GTEST_SKIP() << "no 'script' to give the command a terminal";
    }
    ScratchFolder folder;
    writeFile(folder / "in.raw", std::string(3 * 8 * 4 * 4, '\x70'));
    const std::string render = solvanePath() + " render --raw 8x4 " + folder / "in.raw" + " " + folder / "out.raw";
    std::string output;
    // script runs the command with a terminal for its standard streams.
    ASSERT_EQ(runCommand("script -qec '" + render + "' /dev/null", &output), 0) << output;
    EXPECT_NE(output.find("frame 2 (3 done)"), std::string::npos) << output;
    EXPECT_NE(output.find(" fps"), std::string::npos);
    ASSERT_EQ(runCommand("script -qec '" + render + " --quiet' /dev/null", &output), 0) << output;
    EXPECT_EQ(output.find(" fps"), std::string::npos) << output;
    ASSERT_EQ(runCommand(render, &output), 0) << output;
    EXPECT_EQ(output.find(" fps"), std::string::npos) << output;
}
#endif
