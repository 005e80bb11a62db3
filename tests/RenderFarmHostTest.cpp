// solvane's options for render farms, with the built plug-in: a keyframed sequence
// rendered in chunks equals one whole run byte for byte, a resumed run renders only
// the frames that are missing and leaves finished ones alone, and a piece of raw
// video numbered by --first-frame equals the same frames of the whole stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "cli/PngImage.h"
#include "standin/HostWorld.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;
using namespace Tamrin::Solvane::StandIn;
namespace fs = std::filesystem;
using Tamrin::Solvane::Test::pixels;
using Tamrin::Solvane::Test::runCommand;
using Tamrin::Solvane::Test::ScratchFolder;
using Tamrin::Solvane::Test::solvanePath;

namespace {

using Tamrin::Solvane::Test::readFile;
using Tamrin::Solvane::Test::writeFile;

// Bright stripes on a dark ground that move with the frame number.
void paint(HostWorld& world, long frame)
{
    for (int y = 0; y < world.height(); ++y) {
        std::uint8_t* p = world.row(y);
        for (int x = 0; x < world.width(); ++x, p += 4) {
            const bool bright = ((x + frame * 2) / 5 + y / 4) % 3 == 0;
            p[0] = 255;
            p[1] = bright ? 245 : 25;
            p[2] = bright ? 225 : 35;
            p[3] = bright ? 180 : 45;
        }
    }
}

std::vector<std::string> fileNames(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string frameName(long frame)
{
    return std::string("out_") + (frame < 10 ? "0" : "") + std::to_string(frame) + ".png";
}

// A scratch folder under the build folder with a numbered sequence in_01.png ..
// in_12.png of 40 × 24 frames; kept when the test fails, removed when it passes.
class FarmSequence : public ::testing::Test {
protected:
    static constexpr long kFrames = 12;
    // Keys on three parameters, so that every frame has values of its own.
    const std::string keyframes = " --frames 1-12 --center 1:0,0 12:40,24 --exposure 1:20 6:70 12:35 "
                                  "--threshold 1:30 12:60 --quiet";

    void SetUp() override
    {
        for (const char* sub : {"in", "whole", "chunks"}) {
            fs::create_directories(folder_ / sub);
        }
        for (long frame = 1; frame <= kFrames; ++frame) {
            HostWorld world(40, 24);
            paint(world, frame);
            RgbaImage image;
            image.width = world.width();
            image.height = world.height();
            image.pixels.resize(static_cast<std::size_t>(image.width) * image.height * 4);
            world.copyToRgba(image.pixels.data());
            writePngAtomically(path("in/in_" + frameName(frame).substr(4)), image);
        }
    }

    std::string path(const std::string& relative) const { return (folder_ / relative).string(); }

    // Renders the sequence into `into` (a folder under the scratch folder) with extra options.
    int render(const std::string& into, const std::string& extra, std::string* output) const
    {
        return runCommand(solvanePath() + " render " + path("in/in_%02d.png") + " " + path(into + "/out_%02d.png") +
                              keyframes + " " + extra,
                          output);
    }

    const ScratchFolder scratch_;
    const fs::path folder_ = scratch_.path();
};

TEST_F(FarmSequence, ChunksTogetherEqualOneWholeRenderByteForByte)
{
    std::string output;
    ASSERT_EQ(render("whole", "", &output), 0) << output;
    ASSERT_EQ(fileNames(folder_ / "whole").size(), static_cast<std::size_t>(kFrames));
    EXPECT_NE(readFile(folder_ / "whole" / frameName(1)), readFile(folder_ / "whole" / frameName(12)));

    // Five chunks of 12 frames: 2, 2, 3, 2, 3 frames; each run writes its own frames and no others.
    const std::vector<std::vector<long>> chunks = {{1, 2}, {3, 4}, {5, 6, 7}, {8, 9}, {10, 11, 12}};
    std::vector<std::string> expected;
    for (std::size_t k = 0; k < chunks.size(); ++k) {
        ASSERT_EQ(render("chunks", "--chunk " + std::to_string(k + 1) + "/5 --host-threads 1", &output), 0) << output;
        for (long frame : chunks[k]) {
            expected.push_back(frameName(frame));
        }
        ASSERT_EQ(fileNames(folder_ / "chunks"), expected) << "after chunk " << k + 1;
    }
    for (long frame = 1; frame <= kFrames; ++frame) {
        EXPECT_EQ(readFile(folder_ / "chunks" / frameName(frame)), readFile(folder_ / "whole" / frameName(frame)))
            << "frame " << frame;
    }

    // More chunks than frames: a chunk without frames does nothing and succeeds.
    fs::remove_all(folder_ / "chunks");
    fs::create_directories(folder_ / "chunks");
    ASSERT_EQ(render("chunks", "--chunk 1/20", &output), 0) << output;
    EXPECT_TRUE(fileNames(folder_ / "chunks").empty());
    ASSERT_EQ(render("chunks", "--chunk 20/20", &output), 0) << output;
    EXPECT_EQ(fileNames(folder_ / "chunks"), (std::vector<std::string>{frameName(12)}));
}

TEST_F(FarmSequence, AResumedRunRendersOnlyMissingFramesAndLeavesFinishedOnesAlone)
{
    std::string output;
    ASSERT_EQ(render("whole", "", &output), 0) << output;
    ASSERT_EQ(render("chunks", "", &output), 0) << output;
    const fs::path chunks = folder_ / "chunks";

    // A run that stopped: frames 7 and 8 missing, frame 8's temporary file left half-written,
    // frame 5 finished (its content marks it, so a second render of it would show).
    fs::remove(chunks / frameName(7));
    fs::remove(chunks / frameName(8));
    writeFile(chunks / (frameName(8) + ".tmp-Xy12Zq"), "half a frame");
    writeFile(chunks / frameName(5), "finished before");
#if !defined(_WIN32)
    std::map<long, ino_t> inodes;
    for (long frame = 1; frame <= kFrames; ++frame) {
        struct stat info {};
        if (stat((chunks / frameName(frame)).c_str(), &info) == 0) {
            inodes[frame] = info.st_ino;
        }
    }
    ASSERT_EQ(inodes.size(), 10u);
#endif

    ASSERT_EQ(render("chunks", "--skip-existing", &output), 0) << output;
    EXPECT_NE(output.find("10 of the frames are already there; rendering 2"), std::string::npos) << output;
    EXPECT_EQ(readFile(chunks / frameName(5)), "finished before");
    EXPECT_EQ(readFile(chunks / frameName(7)), readFile(folder_ / "whole" / frameName(7)));
    EXPECT_EQ(readFile(chunks / frameName(8)), readFile(folder_ / "whole" / frameName(8)));
    EXPECT_EQ(readFile(chunks / (frameName(8) + ".tmp-Xy12Zq")), "half a frame");
#if !defined(_WIN32)
    // Every frame that was there is the same file: none was written again.
    for (const auto& [frame, inode] : inodes) {
        struct stat info {};
        ASSERT_EQ(stat((chunks / frameName(frame)).c_str(), &info), 0);
        EXPECT_EQ(info.st_ino, inode) << "frame " << frame << " was written again";
    }
#endif

    // Within a chunk: only that chunk's missing frames, and nothing at all when none is missing.
    fs::remove(chunks / frameName(2));
    fs::remove(chunks / frameName(6));
    ASSERT_EQ(render("chunks", "--chunk 2/3 --skip-existing", &output), 0) << output;
    EXPECT_TRUE(fs::exists(chunks / frameName(6)));
    EXPECT_FALSE(fs::exists(chunks / frameName(2)));
    ASSERT_EQ(render("chunks", "--chunk 2/3 --skip-existing", &output), 0) << output;
    EXPECT_EQ(output.find("OpenGL"), std::string::npos) << "the plug-in was loaded with nothing to render";
    EXPECT_EQ(readFile(chunks / frameName(6)), readFile(folder_ / "whole" / frameName(6)));
}

TEST(RawVideoPieces, APieceNumberedByItsFirstFrameEqualsThoseFramesOfTheWholeStream)
{
    const ScratchFolder scratch;
    const fs::path& folder = scratch.path();
    const std::size_t frameBytes = 24u * 16 * 4;
    std::string whole;
    for (long frame = 0; frame < 8; ++frame) {
        HostWorld world(24, 16);
        paint(world, frame);
        const auto bytes = pixels(world);
        whole.append(bytes.begin(), bytes.end());
    }
    writeFile(folder / "whole.raw", whole);
    writeFile(folder / "piece.raw", whole.substr(5 * frameBytes));
    const std::string keys = " --center 0:0,0 7:24,16 --exposure 0:10 7:90";
    std::string output;
    ASSERT_EQ(runCommand(solvanePath() + " render --raw 24x16 " + (folder / "whole.raw").string() + " " +
                             (folder / "whole-out.raw").string() + keys,
                         &output),
              0)
        << output;
    ASSERT_EQ(runCommand(solvanePath() + " render --raw 24x16 --first-frame 5 " + (folder / "piece.raw").string() +
                             " " + (folder / "piece-out.raw").string() + keys,
                         &output),
              0)
        << output;
    ASSERT_EQ(runCommand(solvanePath() + " render --raw 24x16 " + (folder / "piece.raw").string() + " " +
                             (folder / "from-zero.raw").string() + keys,
                         &output),
              0)
        << output;
    const std::string wholeOut = readFile(folder / "whole-out.raw");
    ASSERT_EQ(wholeOut.size(), 8 * frameBytes);
    EXPECT_EQ(readFile(folder / "piece-out.raw"), wholeOut.substr(5 * frameBytes));
    // Numbered from 0 the piece takes the keys of the stream's first frames instead.
    EXPECT_NE(readFile(folder / "from-zero.raw"), wholeOut.substr(5 * frameBytes));
}

#if !defined(_WIN32)
// The way the README splits a video across nodes: each node decodes its own frame
// range with ffmpeg (seeking, or the select filter by frame number) and renders it
// with --first-frame; the pieces joined equal one run over the whole video. The clip
// is H.264 with B-frames and a keyframe every 12 frames, so the cuts fall between
// keyframes; every frame differs from every other, so a frame dropped or doubled at a
// cut shows.
TEST(RawVideoPieces, FfmpegCutsJoinWithoutADroppedOrDoubledFrame)
{
    const ScratchFolder scratch;
    const fs::path& folder = scratch.path();
    const std::size_t frameBytes = 64u * 48 * 4;
    const std::string keys = " --center 0:0,0 35:64,48 --exposure 0:10 20:90 35:40 --threshold 0:20 35:70 --quiet";
    const std::string decode = "ffmpeg -nostdin -loglevel error ";
    const std::string toRaw = " -f rawvideo -pix_fmt argb - ";
    const std::string render = " | " + solvanePath() + " render --raw 64x48 ";
    const std::vector<std::pair<int, int>> pieces = {{0, 11}, {12, 22}, {23, 35}};
    std::string output;

    for (const std::string container : {"mp4", "mkv"}) {
        const std::string clip = (folder / ("clip." + container)).string();
        ASSERT_EQ(runCommand(decode + "-f lavfi -i \"nullsrc=s=64x48:r=24,geq=lum='mod(X*4+N*9\\,256)':"
                                      "cb='mod(Y*5+N*3\\,256)':cr=128,format=yuv420p\" -frames:v 36 -c:v libx264 "
                                      "-g 12 -bf 2 " + clip,
                             &output),
                  0)
            << output;
        const std::string decoded = (folder / "decoded.raw").string();
        ASSERT_EQ(runCommand(decode + "-i " + clip + toRaw + "> " + decoded, &output), 0) << output;
        const std::string frames = readFile(decoded);
        ASSERT_EQ(frames.size(), 36 * frameBytes);
        std::vector<std::string> distinct;
        for (std::size_t i = 0; i < 36; ++i) {
            distinct.push_back(frames.substr(i * frameBytes, frameBytes));
        }
        std::sort(distinct.begin(), distinct.end());
        ASSERT_EQ(std::unique(distinct.begin(), distinct.end()), distinct.end()) << "the clip repeats a frame";

        const std::string whole = (folder / "whole.raw").string();
        ASSERT_EQ(runCommand("( " + decode + "-i " + clip + toRaw + render + "- -" + keys + " > " + whole + " )", &output), 0)
            << output;
        ASSERT_EQ(readFile(whole).size(), 36 * frameBytes);

        for (const std::string method : {"seek", "select"}) {
            std::string joined;
            for (const auto& [first, last] : pieces) {
                const int count = last - first + 1;
                // Seeking to half a frame before the first frame: timestamps a container rounds
                // (milliseconds in Matroska) still fall on the right side of the cut.
                const std::string cut =
                    method == "seek"
                        ? (first > 0 ? "-ss " + std::to_string((first - 0.5) / 24.0) + " " : std::string()) +
                              "-i " + clip + " -frames:v " + std::to_string(count)
                        : "-i " + clip + " -vf 'select=between(n\\," + std::to_string(first) + "\\," +
                              std::to_string(last) + ")' -fps_mode passthrough";
                const std::string piece = (folder / "piece.raw").string();
                ASSERT_EQ(runCommand("( " + decode + cut + toRaw + render + "--first-frame " +
                                         std::to_string(first) + " - -" + keys + " > " + piece + " )",
                                     &output),
                          0)
                    << output;
                const std::string bytes = readFile(piece);
                EXPECT_EQ(bytes.size(), count * frameBytes)
                    << container << ", " << method << ": frames " << first << "-" << last << " came out as "
                    << bytes.size() / frameBytes;
                joined += bytes;
            }
            EXPECT_EQ(joined.size(), 36 * frameBytes) << container << ", " << method;
            EXPECT_TRUE(joined == readFile(whole)) << container << ", " << method << ": the pieces differ from one run";
        }
    }
}
#endif

} // namespace
