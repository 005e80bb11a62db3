// The frame pipeline and its parts, with a stand-in plug-in so that order, threads
// and failures can be seen without OpenGL: the host thread pool, the pipeline with
// and without overlap, and raw video in and out.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli/FramePipeline.h"
#include "standin/HostThreadPool.h"
#include "cli/RawVideoReader.h"
#include "cli/RawVideoWriter.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;
using namespace Tamrin::Solvane::StandIn;

namespace {

// What the stand-in plug-in saw: one entry per render.
struct RenderSeen {
    std::thread::id thread;
    A_long time;
};
std::mutex gSeenLock;
std::vector<RenderSeen> gSeen;
A_long gFailAtTime = -1;
std::atomic<int> gRendersAtOnce{0};
bool gOverlapped = false;

// Renders by adding one to every byte; fails at one time.
PF_Err standInEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_LayerDef* output, void*)
{
    if (cmd != PF_Cmd_RENDER) {
        return PF_Err_NONE;
    }
    if (++gRendersAtOnce > 1) {
        gOverlapped = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    {
        std::lock_guard<std::mutex> guard(gSeenLock);
        gSeen.push_back({std::this_thread::get_id(), in_data->current_time});
    }
    PF_Err result = PF_Err_NONE;
    if (in_data->current_time == gFailAtTime) {
        result = PF_Err_BAD_CALLBACK_PARAM;
    } else {
        const PF_LayerDef& input = params[0]->u.ld;
        for (int y = 0; y < input.height; ++y) {
            const auto* from = static_cast<const std::uint8_t*>(input.data) + y * input.rowbytes;
            auto* to = static_cast<std::uint8_t*>(output->data) + y * output->rowbytes;
            for (int x = 0; x < input.width * 4; ++x) {
                to[x] = static_cast<std::uint8_t>(from[x] + 1);
            }
        }
    }
    --gRendersAtOnce;
    return result;
}

class FramePipelineTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        gSeen.clear();
        gFailAtTime = -1;
        gOverlapped = false;
        host.setFrameRate(30000, 1001);
    }

    // Frames 0..count-1 of 3×2 pixels whose bytes are the frame index; numbered from `first`.
    FramePipeline::Stages stages(long count, long first = 0)
    {
        FramePipeline::Stages s;
        s.read = [this, count, first](long index, PipelineFrame& frame) {
            ++reads;
            if (index == failReadAt) {
                throw std::runtime_error("in-" + std::to_string(index) + ": unreadable");
            }
            if (index >= count) {
                return false;
            }
            frame.number = first + index;
            frame.source = "in-" + std::to_string(index);
            frame.input = std::make_unique<HostWorld>(3, 2);
            frame.input->fill(static_cast<std::uint8_t>(index));
            return true;
        };
        s.write = [this](PipelineFrame& frame) {
            if (frame.number == failWriteAt) {
                throw std::runtime_error("out: disk full");
            }
            EXPECT_TRUE(frame.output->paddingIntact());
            written.push_back(frame.number);
            firstBytes.push_back(frame.output->row(0)[0]);
        };
        s.written = [this](const PipelineFrame& frame, long done) {
            progress.push_back(done);
            EXPECT_EQ(frame.number, written.back());
        };
        return s;
    }

    SubstituteHost host{standInEntry};
    long failReadAt = -1;
    long failWriteAt = -1;
    std::atomic<long> reads{0};
    std::vector<long> written;
    std::vector<int> firstBytes;
    std::vector<long> progress;
};

} // namespace

TEST(HostThreadPool, RunsEachPieceOfWorkOnTheNextThreadInTurn)
{
    HostThreadPool pool(3);
    EXPECT_EQ(pool.size(), 3);
    std::vector<std::thread::id> threads;
    for (int i = 0; i < 7; ++i) {
        pool.run([&] { threads.push_back(std::this_thread::get_id()); });
    }
    EXPECT_EQ(std::set<std::thread::id>(threads.begin(), threads.end()).size(), 3u);
    for (std::size_t i = 3; i < threads.size(); ++i) {
        EXPECT_EQ(threads[i], threads[i - 3]);
        EXPECT_NE(threads[i], std::this_thread::get_id());
    }
    // An exception comes back to the caller, and the pool goes on.
    EXPECT_THROW(pool.run([] { throw std::runtime_error("no"); }), std::runtime_error);
    int ran = 0;
    pool.run([&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(HostThreadPool(0), std::invalid_argument);
}

TEST_P(FramePipelineTest, RendersEveryFrameInOrderAtItsTimeOnTheHostThreads)
{
    HostThreadPool pool(2);
    FramePipeline pipeline(host, pool);
    pipeline.setOverlap(GetParam());
    EXPECT_EQ(pipeline.run(stages(6, 10)), 6);
    EXPECT_EQ(written, (std::vector<long>{10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(firstBytes, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(progress, (std::vector<long>{1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(gSeen.size(), 6u);
    for (std::size_t i = 0; i < gSeen.size(); ++i) {
        EXPECT_EQ(gSeen[i].time, static_cast<A_long>((10 + i) * 1001)); // frame number × time step
        EXPECT_EQ(gSeen[i].thread, gSeen[i % 2].thread);
        EXPECT_NE(gSeen[i].thread, std::this_thread::get_id());
    }
    EXPECT_NE(gSeen[0].thread, gSeen[1].thread);
    EXPECT_FALSE(gOverlapped) << "two renders ran at once";
    EXPECT_EQ(pipeline.timings().frames, 6);
}

TEST_P(FramePipelineTest, AFailureStopsAfterEveryEarlierFrameAndBeforeAnyLater)
{
    HostThreadPool pool(2);
    FramePipeline pipeline(host, pool);
    pipeline.setOverlap(GetParam());

    failReadAt = 3;
    try {
        pipeline.run(stages(6));
        FAIL() << "expected a FrameError";
    } catch (const FrameError& e) {
        EXPECT_EQ(e.frame(), 3);
        EXPECT_STREQ(e.what(), "in-3: unreadable");
    }
    EXPECT_EQ(written, (std::vector<long>{0, 1, 2}));

    failReadAt = -1;
    written.clear();
    gFailAtTime = 4 * 1001;
    try {
        pipeline.run(stages(6));
        FAIL() << "expected a FrameError";
    } catch (const FrameError& e) {
        EXPECT_EQ(e.frame(), 4);
        EXPECT_NE(std::string(e.what()).find("in-4: the plug-in could not render the frame"), std::string::npos);
    }
    EXPECT_EQ(written, (std::vector<long>{0, 1, 2, 3}));

    gFailAtTime = -1;
    written.clear();
    reads = 0;
    failWriteAt = 1;
    try {
        pipeline.run(stages(50));
        FAIL() << "expected a FrameError";
    } catch (const FrameError& e) {
        EXPECT_EQ(e.frame(), 1);
        EXPECT_STREQ(e.what(), "out: disk full");
    }
    EXPECT_EQ(written, (std::vector<long>{0}));
    // Reading stops soon after a failed write: at most the frames in the hand-overs.
    EXPECT_LE(reads.load(), 8);
}

INSTANTIATE_TEST_SUITE_P(Overlap, FramePipelineTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& overlap) { return overlap.param ? "On" : "Off"; });

TEST(RawVideo, FramesRoundTripAndAShortFrameIsAnError)
{
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    HostWorld first(3, 2);
    HostWorld second(3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 12; ++x) {
            first.row(y)[x] = static_cast<std::uint8_t>(y * 12 + x);
            second.row(y)[x] = static_cast<std::uint8_t>(100 + y * 12 + x);
        }
    }
    RawVideoWriter writer(stream, "out");
    writer.write(first);
    writer.write(second);
    std::fwrite("abc", 1, 3, stream); // a frame cut short
    EXPECT_EQ(std::ftell(stream), 2 * 24 + 3); // rows without their padding

    std::rewind(stream);
    RawVideoReader reader(stream, 3, 2, "in");
    HostWorld back(3, 2);
    ASSERT_TRUE(reader.read(back));
    EXPECT_EQ(std::vector<std::uint8_t>(back.row(1), back.row(1) + 12),
              std::vector<std::uint8_t>(first.row(1), first.row(1) + 12));
    EXPECT_TRUE(back.paddingIntact());
    ASSERT_TRUE(reader.read(back));
    EXPECT_EQ(back.row(0)[0], 100);
    try {
        reader.read(back);
        FAIL() << "a short frame must be an error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("in: the stream ends inside a frame: 3 of 24 bytes"), std::string::npos)
            << e.what();
    }
    std::fclose(stream);

    // The end of the stream at a frame boundary is the end, not an error.
    stream = std::tmpfile();
    RawVideoReader empty(stream, 3, 2, "in");
    EXPECT_FALSE(empty.read(back));
    std::fclose(stream);
}
