// Splitting a sequence for a render farm: the chunks of a frame range, the "K/N"
// option, which frames a resumed run leaves out, and the render command's checks on
// where --chunk, --skip-existing and --first-frame apply.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/FrameChunk.h"
#include "cli/RenderJob.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane::Cli;
namespace fs = std::filesystem;

TEST(FrameChunk, ChunksAreContiguousInOrderAndDifferByAtMostOneFrame)
{
    EXPECT_EQ(chunkOf({1, 12}, {1, 3})->first, 1);
    EXPECT_EQ(chunkOf({1, 12}, {1, 3})->last, 4);
    EXPECT_EQ(chunkOf({1, 12}, {3, 3})->first, 9);
    EXPECT_EQ(chunkOf({1, 12}, {3, 3})->last, 12);

    for (long first : {0L, 1L, 7L, 1001L}) {
        for (long frames = 1; frames <= 40; ++frames) {
            for (long chunks = 1; chunks <= 45; ++chunks) {
                const std::string where = std::to_string(frames) + " frames from " + std::to_string(first) +
                                          " in " + std::to_string(chunks) + " chunks";
                long next = first;
                long smallest = frames, largest = 0;
                for (long k = 1; k <= chunks; ++k) {
                    const auto chunk = chunkOf({first, first + frames - 1}, {k, chunks});
                    const long size = chunk ? chunk->count() : 0;
                    if (chunk) {
                        ASSERT_EQ(chunk->first, next) << where << ", chunk " << k;
                        ASSERT_GE(chunk->last, chunk->first) << where << ", chunk " << k;
                        next = chunk->last + 1;
                    }
                    smallest = std::min(smallest, size);
                    largest = std::max(largest, size);
                }
                ASSERT_EQ(next, first + frames) << where << ": the chunks do not cover the range";
                ASSERT_LE(largest - smallest, 1) << where;
                // Empty chunks only where there are more chunks than frames.
                ASSERT_EQ(smallest == 0, chunks > frames) << where;
            }
        }
    }

    // The largest range and the most chunks stay exact (64-bit products where long has 32 bits).
    const auto last = chunkOf({0, 999999999}, {1000000, 1000000});
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->first, 999999000);
    EXPECT_EQ(last->last, 999999999);
    EXPECT_EQ(chunkOf({0, 999999999}, {500000, 1000000})->first, 499999000);
}

TEST(FrameChunk, ParsesChunkOfChunks)
{
    EXPECT_EQ(parseFrameChunk("3/8").index, 3);
    EXPECT_EQ(parseFrameChunk("3/8").count, 8);
    EXPECT_EQ(parseFrameChunk("1/1").count, 1);
    EXPECT_EQ(parseFrameChunk("1000000/1000000").index, 1000000);
    for (const char* bad : {"0/3", "4/3", "3", "3/", "/3", "a/b", "-1/3", "1/0", "1/1000001", "1/3/4", " 1/3", "1/3 ",
                            "+1/3", "", "/"}) {
        EXPECT_THROW(parseFrameChunk(bad), std::invalid_argument) << "'" << bad << "'";
    }
    try {
        parseFrameChunk("5/4");
        ADD_FAILURE() << "5/4 accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("--chunk"), std::string::npos) << e.what();
    }
}

TEST(FrameChunk, AResumedRunLeavesOutFinishedFramesOfItsChunkOnly)
{
    const FramePattern out("out/f_%03d.png");
    std::set<std::string> done = {"out/f_002.png", "out/f_005.png", "out/f_009.png"};
    std::vector<std::string> asked;
    const auto complete = [&](const std::string& path) {
        asked.push_back(path);
        return done.count(path) > 0;
    };
    EXPECT_EQ(framesToRender({1, 10}, std::nullopt, false, out, complete),
              (std::vector<long>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_TRUE(asked.empty()) << "looked at outputs without --skip-existing";
    EXPECT_EQ(framesToRender({1, 10}, std::nullopt, true, out, complete), (std::vector<long>{1, 3, 4, 6, 7, 8, 10}));
    EXPECT_EQ(framesToRender({1, 10}, FrameChunk{2, 3}, true, out, complete), (std::vector<long>{4, 6}));
    EXPECT_EQ(framesToRender({1, 10}, FrameChunk{3, 3}, false, out, complete), (std::vector<long>{7, 8, 9, 10}));
    EXPECT_TRUE(framesToRender({1, 2}, FrameChunk{1, 3}, false, out, complete).empty());
    EXPECT_EQ(framesToRender({1, 2}, FrameChunk{2, 3}, false, out, complete), (std::vector<long>{1}));
    done = {"out/f_004.png", "out/f_005.png", "out/f_006.png"};
    EXPECT_TRUE(framesToRender({1, 10}, FrameChunk{2, 3}, true, out, complete).empty());
}

TEST(FrameChunk, OnlyARegularFileUnderTheFramesOwnNameIsComplete)
{
    const Tamrin::Solvane::Test::ScratchFolder scratch;
    const fs::path& folder = scratch.path();
    fs::create_directories(folder / "dir.png");
    std::ofstream(folder / "done.png") << "frame";
    std::ofstream(folder / "empty.png");
    // What a run stopped while writing leaves behind: the temporary file, never the frame's own name.
    std::ofstream(folder / "half.png.tmp-Ab12Cd") << "half";
    EXPECT_TRUE(outputIsComplete((folder / "done.png").string()));
    EXPECT_TRUE(outputIsComplete((folder / "empty.png").string()));
    EXPECT_FALSE(outputIsComplete((folder / "half.png").string()));
    EXPECT_FALSE(outputIsComplete((folder / "missing.png").string()));
    EXPECT_FALSE(outputIsComplete((folder / "dir.png").string()));
    EXPECT_FALSE(outputIsComplete((folder / "no-folder/done.png").string()));
#if !defined(_WIN32)
    fs::create_symlink("done.png", folder / "link.png");
    fs::create_symlink("missing.png", folder / "dangling.png");
    EXPECT_TRUE(outputIsComplete((folder / "link.png").string()));
    EXPECT_FALSE(outputIsComplete((folder / "dangling.png").string()));
#endif
}

TEST(FrameChunk, RenderCommandTakesFarmOptionsOnlyWhereTheyApply)
{
    const RenderJob chunk("x.aex", {"in_%04d.png", "out_%04d.png", "--frames", "1-240", "--chunk", "3/8",
                                    "--skip-existing"});
    ASSERT_TRUE(chunk.jobOptions().chunk.has_value());
    EXPECT_EQ(chunk.jobOptions().chunk->index, 3);
    EXPECT_EQ(chunk.jobOptions().chunk->count, 8);
    EXPECT_TRUE(chunk.jobOptions().skipExisting);
    EXPECT_FALSE(RenderJob("x.aex", {"in_%04d.png", "out_%04d.png", "--frames", "1-2"}).jobOptions().skipExisting);
    // A still animated over numbered frames splits too; one image may be skipped when it is there.
    EXPECT_NO_THROW(RenderJob("x.aex", {"still.png", "out_%04d.png", "--frames", "0-9", "--chunk", "2/2"}));
    EXPECT_NO_THROW(RenderJob("x.aex", {"in.png", "out.png", "--skip-existing"}));
    EXPECT_EQ(RenderJob("x.aex", {"--raw", "8x8", "-", "-", "--first-frame", "240"}).jobOptions().firstFrame, 240);

    const std::vector<std::vector<std::string>> usageErrors = {
        {"in.png", "out.png", "--chunk", "1/2"},                          // one image has nothing to split
        {"in_%d.png", "out.png", "--frames", "4", "--chunk", "1/1"},
        {"--raw", "8x8", "-", "-", "--chunk", "1/2"},                     // raw video is split before solvane
        {"--raw", "8x8", "in.raw", "out.raw", "--skip-existing"},
        {"in_%d.png", "out_%d.png", "--frames", "1-9", "--first-frame", "5"},
        {"--raw", "8x8", "-", "-", "--first-frame", "-1"},
        {"in_%d.png", "out_%d.png", "--frames", "1-9", "--chunk", "0/3"},
        {"in_%d.png", "out_%d.png", "--frames", "1-9", "--chunk"},
    };
    for (const auto& args : usageErrors) {
        std::string line;
        for (const auto& arg : args) {
            line += arg + " ";
        }
        EXPECT_THROW(RenderJob("x.aex", args), std::invalid_argument) << line;
    }
    try {
        RenderJob("x.aex", {"--raw", "8x8", "-", "-", "--chunk", "1/2"});
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("--first-frame"), std::string::npos)
            << "the message should say how raw video is split: " << e.what();
    }
}
