// What a sequence keeps from frame to frame: host worlds handed back and taken again
// by the pipeline, worlds filled as they are made, and PNG frames read into and
// written straight from the host's rows.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "cli/FramePipeline.h"
#include "cli/PngImage.h"
#include "cli/WorldPool.h"
#include "standin/HostThreadPool.h"
#include "support/PngTestFiles.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;
using namespace Tamrin::Solvane::StandIn;

namespace {

// Renders by adding one to every pixel byte.
PF_Err addOne(PF_Cmd cmd, PF_InData*, PF_OutData*, PF_ParamDef* params[], PF_LayerDef* output, void*)
{
    if (cmd != PF_Cmd_RENDER) {
        return PF_Err_NONE;
    }
    const PF_LayerDef& input = params[0]->u.ld;
    for (int y = 0; y < input.height; ++y) {
        const auto* from = static_cast<const std::uint8_t*>(input.data) + y * input.rowbytes;
        auto* to = static_cast<std::uint8_t*>(output->data) + y * output->rowbytes;
        for (int x = 0; x < input.width * 4; ++x) {
            to[x] = static_cast<std::uint8_t>(from[x] + 1);
        }
    }
    return PF_Err_NONE;
}

std::vector<char> fileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace

TEST(WorldPool, GivesBackAWorldOfTheSizeAskedForAndKeepsOnlyAFew)
{
    WorldPool pool(2);
    EXPECT_EQ(pool.takeAny(), nullptr);
    auto small = std::make_unique<HostWorld>(3, 2);
    auto large = std::make_unique<HostWorld>(5, 4);
    HostWorld* smallSeen = small.get();
    HostWorld* largeSeen = large.get();
    pool.give(std::move(small));
    pool.give(std::move(large));
    pool.give(nullptr);
    EXPECT_EQ(pool.kept(), 2u);

    // A size that is kept comes back as the same world; another size is made new.
    auto taken = pool.take(3, 2);
    EXPECT_EQ(taken.get(), smallSeen);
    auto other = pool.take(7, 1);
    EXPECT_EQ(other->width(), 7);
    EXPECT_EQ(other->height(), 1);
    EXPECT_EQ(pool.kept(), 1u);
    EXPECT_EQ(pool.takeAny().get(), largeSeen);

    // Beyond the capacity the oldest is let go.
    HostWorld* first = taken.get();
    pool.give(std::move(taken));
    pool.give(std::move(other));
    pool.give(std::make_unique<HostWorld>(3, 2));
    EXPECT_EQ(pool.kept(), 2u);
    EXPECT_NE(pool.take(3, 2).get(), first);
    EXPECT_EQ(pool.takeAny()->width(), 7);
}

// Frames whose size changes half-way: every output must be the frame's own, whatever world it was rendered into.
class WorldReuse : public ::testing::TestWithParam<bool> {};

TEST_P(WorldReuse, FramesReuseFinishedWorldsAndStillComeOutWhole)
{
    SubstituteHost host(addOne);
    HostThreadPool threads(2);
    FramePipeline pipeline(host, threads);
    pipeline.setOverlap(GetParam());

    const long count = 12;
    long sparesOffered = 0;
    std::set<const HostWorld*> outputs;
    std::vector<int> firstBytes;
    std::vector<int> widths;
    FramePipeline::Stages stages;
    stages.read = [&](long index, PipelineFrame& frame) {
        if (index >= count) {
            return false;
        }
        const int width = index < count / 2 ? 3 : 5;
        const int height = index < count / 2 ? 2 : 4;
        if (frame.input) {
            ++sparesOffered;
        }
        if (!frame.input || frame.input->width() != width || frame.input->height() != height) {
            frame.input = std::make_unique<HostWorld>(width, height);
        }
        frame.input->fill(static_cast<std::uint8_t>(10 * index));
        return true;
    };
    stages.write = [&](PipelineFrame& frame) {
        const HostWorld& out = *frame.output;
        EXPECT_TRUE(out.paddingIntact());
        outputs.insert(&out);
        widths.push_back(out.width());
        firstBytes.push_back(out.row(out.height() - 1)[out.width() * 4 - 1]);
    };
    EXPECT_EQ(pipeline.run(stages), count);

    for (long i = 0; i < count; ++i) {
        EXPECT_EQ(firstBytes[static_cast<std::size_t>(i)], 10 * i + 1) << "frame " << i;
        EXPECT_EQ(widths[static_cast<std::size_t>(i)], i < count / 2 ? 3 : 5);
    }
    // Finished worlds come back to the reader and the renderer instead of new ones every frame. Overlapped, the
    // reader may run ahead of the first frames' give-backs; in turn, every frame after the first gets one.
    if (GetParam()) {
        EXPECT_GT(sparesOffered, 0);
    } else {
        EXPECT_EQ(sparesOffered, count - 1);
    }
    EXPECT_LT(outputs.size(), static_cast<std::size_t>(count));
    EXPECT_LE(pipeline.worlds().kept(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Overlap, WorldReuse, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& overlap) { return overlap.param ? "On" : "Off"; });

TEST(HostWorldStorage, ANewWorldHasZeroPixelsAndMarkedPaddingWhateverItsRows)
{
    for (const int extra : {-1, 0, 3, 64}) {
        for (const int width : {1, 5, 8, 33}) {
            HostWorld world(width, 3, extra);
            EXPECT_TRUE(world.paddingIntact()) << width << " " << extra;
            for (int y = 0; y < world.height(); ++y) {
                for (int x = 0; x < width * 4; ++x) {
                    ASSERT_EQ(world.row(y)[x], 0) << width << " " << extra;
                }
            }
        }
    }
    HostWorld empty(0, 0);
    EXPECT_TRUE(empty.paddingIntact());
}

TEST(ArgbPngWriter, WritesTheSameFileAsTheRgbaWriterAndLeavesTheRowsAlone)
{
    HostWorld world(37, 9); // padded rows
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width() * 4; ++x) {
            world.row(y)[x] = static_cast<std::uint8_t>((x * 13 + y * 71) ^ (x >> 3));
        }
    }
    RgbaImage rgba;
    rgba.width = world.width();
    rgba.height = world.height();
    rgba.pixels.resize(static_cast<std::size_t>(rgba.width) * rgba.height * 4);
    world.copyToRgba(rgba.pixels.data());

    const std::string fromRgba = "frame-reuse-rgba.png";
    const std::string fromArgb = "frame-reuse-argb.png";
    writePngAtomically(fromRgba, rgba);
    writeArgbPngAtomically(fromArgb, world.width(), world.height(), world.row(0),
                           static_cast<std::size_t>(world.rowbytes()));
    EXPECT_EQ(fileBytes(fromRgba), fileBytes(fromArgb));
    EXPECT_EQ(readPng(fromArgb).pixels, rgba.pixels);
    EXPECT_TRUE(world.paddingIntact());
    std::vector<std::uint8_t> after(rgba.pixels.size());
    world.copyToRgba(after.data());
    EXPECT_EQ(after, rgba.pixels);

    EXPECT_THROW(writeArgbPngAtomically(fromArgb, 37, 9, world.row(0), 37 * 4 - 1), std::runtime_error);
    EXPECT_THROW(writeArgbPngAtomically(fromArgb, 0, 9, world.row(0), 200), std::runtime_error);
    std::remove(fromRgba.c_str());
    std::remove(fromArgb.c_str());
}

TEST(ArgbPngReader, FillsTheHostsRowsAsTheRgbaReaderAndTheChannelSwapWouldForEveryKindOfFile)
{
    namespace Files = Tamrin::Solvane::Test;
    std::vector<Files::PngFileSpec> specs(7);
    specs[0].width = 5;
    specs[0].height = 3;
    for (int i = 0; i < 5 * 3 * 4; ++i) {
        specs[0].samples.push_back(static_cast<std::uint16_t>((i * 37) & 0xFF));
    }
    specs[1] = specs[0];
    specs[1].interlaced = true;
    specs[2].width = 2; // grey with alpha
    specs[2].colorType = 4;
    specs[2].samples = {10, 20, 200, 255};
    specs[3].width = 2; // RGB: alpha is added, and must land first
    specs[3].colorType = 2;
    specs[3].samples = {1, 2, 3, 250, 251, 252};
    specs[4].width = 3; // palette with transparency
    specs[4].bitDepth = 4;
    specs[4].colorType = 3;
    specs[4].palette = {1, 2, 3, 40, 50, 60, 7, 8, 9};
    specs[4].transparency = {0, 128};
    specs[4].samples = {1, 0, 2};
    specs[5].width = 2; // 16-bit RGBA
    specs[5].bitDepth = 16;
    specs[5].samples = {0x1234, 0xFFFF, 0x0080, 0x8000, 0x00FF, 0x7F80, 0xABCD, 0x0001};
    specs[6].width = 3; // 1-bit grey: grey to RGB, then alpha added
    specs[6].bitDepth = 1;
    specs[6].colorType = 0;
    specs[6].samples = {1, 0, 1};

    const std::string path = "frame-reuse-read.png";
    for (std::size_t i = 0; i < specs.size(); ++i) {
        Files::writeBytes(path, Files::encodePngFile(specs[i]));
        const RgbaImage rgba = readPng(path);
        HostWorld expected(rgba.width, rgba.height);
        expected.setFromRgba(rgba.pixels.data());

        HostWorld world(rgba.width, rgba.height);
        world.fill(0x5A); // an earlier frame's pixels
        bool filled = false;
        const RgbaImage rest = readPngInto(path, {}, world.row(0), static_cast<std::size_t>(world.rowbytes()),
                                           world.width(), world.height(), &filled);
        EXPECT_TRUE(filled) << "file " << i;
        EXPECT_TRUE(rest.pixels.empty());
        EXPECT_TRUE(world.paddingIntact()) << "file " << i;
        for (int y = 0; y < world.height(); ++y) {
            EXPECT_EQ(std::vector<std::uint8_t>(world.row(y), world.row(y) + world.width() * 4),
                      std::vector<std::uint8_t>(expected.row(y), expected.row(y) + world.width() * 4))
                << "file " << i << " row " << y;
        }

        // Rows of another size are left alone, and the image arrives as readPng gives it.
        HostWorld other(rgba.width + 1, rgba.height);
        other.fill(0x5A);
        const RgbaImage whole = readPngInto(path, {}, other.row(0), static_cast<std::size_t>(other.rowbytes()),
                                            other.width(), other.height(), &filled);
        EXPECT_FALSE(filled);
        EXPECT_EQ(whole.pixels, rgba.pixels);
        EXPECT_EQ(other.row(0)[0], 0x5A);
    }
    std::remove(path.c_str());
}
