// solvane_bench: how long a frame takes, and where the time goes.
//
// Part one renders whole frames through the built plug-in, loaded and driven by the
// substitute host exactly as `solvane render` does. Part two runs the same steps as
// the plug-in's render command, linked in directly, with glFinish after each step
// so that each one's cost can be told apart. PNG decoding and encoding are timed
// on their own. Part three runs whole sequences as `solvane render` runs them (PNG
// files and raw video, with and without reading and writing overlapped with
// rendering) and shows where their time goes. Figures only: nothing here passes or
// fails.
#include <glbinding/gl/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "standin/HostWorld.h"
#include "standin/PluginLibrary.h"
#include "standin/PluginSession.h"
#include "cli/PngImage.h"
#include "cli/RenderJob.h"
#include "standin/SubstituteHost.h"
#include "glcontext/ContextRegistry.h"
#include "glcontext/AEOpenGLContext.h"
#include "glcontext/CurrentContextGuard.h"
#include "gpu/OpenglRenderTarget.h"
#include "gpu/OpenglShader.h"
#include "host/ParameterIndex.h"
#include "renderer/FrameSequence.h"
#include "renderer/LightShaftPassChain.h"
#include "renderer/LightShaftRenderer.h"
#include "renderer/PixelTransfer.h"
#include "renderer/RayGeometry.h"
#include "ShaderSources.h"

using namespace gl;
using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::StandIn;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double timed(const std::function<void()>& step)
{
    const auto start = Clock::now();
    step();
    glFinish();
    return msSince(start);
}

// A frame with bright patches on a dark ground.
void paint(StandIn::HostWorld& world)
{
    for (int y = 0; y < world.height(); ++y) {
        std::uint8_t* p = world.row(y);
        for (int x = 0; x < world.width(); ++x, p += 4) {
            const bool bright = ((x / 97) + (y / 61)) % 5 == 0;
            p[0] = 255;
            p[1] = bright ? 250 : 20;
            p[2] = bright ? 235 : 25;
            p[3] = bright ? 200 : 40;
        }
    }
}

struct Size {
    int width, height;
};

const Size kSizes[] = {{1920, 1080}, {3840, 2160}};
const char* const kQualityNames[] = {"high", "medium", "low"};

void wholeFrames(const std::string& pluginPath, int frames)
{
    std::printf("Whole frames through the plug-in (ms per frame, mean of %d after one warm-up frame):\n", frames);
    std::printf("  %-10s %-8s %10s\n", "size", "quality", "ms");
    StandIn::PluginSession session(pluginPath, "en_US");
    for (const Size size : kSizes) {
        StandIn::HostWorld input(size.width, size.height);
        paint(input);
        StandIn::HostWorld output(size.width, size.height);
        for (int quality = 0; quality < 3; ++quality) {
            session.host().setPopup(kParamQuality, quality + 1);
            session.host().render(input, output);
            const auto start = Clock::now();
            for (int i = 0; i < frames; ++i) {
                if (session.host().render(input, output) != PF_Err_NONE) {
                    std::fprintf(stderr, "render failed\n");
                    std::exit(1);
                }
            }
            std::printf("  %4dx%-5d %-8s %10.1f\n", size.width, size.height, kQualityNames[quality],
                        msSince(start) / frames);
        }
    }
}

void steps(int frames)
{
    std::printf("\nWhere the time goes (ms per frame, mean of %d; glFinish after each step):\n", frames);
    std::printf("  %-10s %-8s %8s %10s %10s %8s %10s %8s\n", "size", "quality", "upload", "pass chain", "composite",
                "finish", "read-back", "total");
    CurrentContextGuard guard;
    setUpSharedContext();
    AEOpenGLContext* context = contextForThisThread();
    context->makeCurrent();

    StandIn::SubstituteHost host(nullptr); // the handle suite and pixel access of the transfer
    LightShaftRenderer renderer;
    LightShaftPassChain chain;
    for (const Size size : kSizes) {
        StandIn::HostWorld input(size.width, size.height);
        paint(input);
        StandIn::HostWorld output(size.width, size.height);
        const Vec2 frameSize(size.width, size.height);
        for (int quality = 0; quality < 3; ++quality) {
            renderer.settings.center = Vec2(size.width * 0.5, size.height * 0.3);
            renderer.settings.quality = quality;
            // The frame's steps as the render command runs them, each finished and
            // timed where the sequence reports it done.
            double stepMs[4] = {0, 0, 0, 0};
            for (int i = -1; i < frames; ++i) {
                glFinish();
                auto start = Clock::now();
                runFrameSequence(renderer, &host.inData(), &input.def(), &output.def(), [&](FrameStep step) {
                    glFinish();
                    if (i >= 0) { // the first frame compiles the programs
                        stepMs[static_cast<int>(step)] += msSince(start);
                    }
                    start = Clock::now();
                });
            }
            // The pass chain alone, on an uploaded frame, to split the render step.
            double chainMs = 0;
            std::uint64_t bytesPerPixel = 4;
            GLenum pixelType = GL_UNSIGNED_BYTE;
            float multiplier = 1.0f;
            GLuint texture = uploadWorld(WorldFormat::Argb8, &input.def(), &host.inData(), bytesPerPixel, pixelType,
                                         multiplier, false);
            const RayGeometry g = computeRayGeometry(renderer.settings, frameSize);
            for (int i = 0; i < frames; ++i) {
                chainMs += timed([&] {
                    chain.run(texture, frameSize, g.boxSize, g.offset, g.chainCenter, kRayReachPixels,
                              Vec2(renderer.settings.threshold, renderer.settings.thresholdSmooth),
                              static_cast<std::int32_t>(g.factor));
                });
            }
            glDeleteTextures(1, &texture);
            const double n = frames;
            const double upload = stepMs[static_cast<int>(FrameStep::Upload)] / n;
            const double render = stepMs[static_cast<int>(FrameStep::Render)] / n;
            const double finish = stepMs[static_cast<int>(FrameStep::Finish)] / n;
            const double readback = stepMs[static_cast<int>(FrameStep::Readback)] / n;
            std::printf("  %4dx%-5d %-8s %8.1f %10.1f %10.1f %8.1f %10.1f %8.1f\n", size.width, size.height,
                        kQualityNames[quality], upload, chainMs / n, render - chainMs / n, finish, readback,
                        upload + render + finish + readback);
        }
    }

    // Program compiles: every frame re-creates the channel-order pass, whose
    // program then compiles and links at its first draw.
    const int compiles = 5;
    double compileMs = 0;
    for (int i = 0; i < compiles; ++i) {
        OpenglShader program(Shaders::passthrough_vert, Shaders::channel_argb_frag);
        program.bindAttribLocation("position", 0);
        program.bindAttribLocation("input_uv", 1);
        compileMs += timed([&] { program.use(); });
    }
    std::printf("\nCompiling and linking the channel-order program (once per frame): %.1f ms\n",
                compileMs / compiles);
    std::printf("(\"composite\" is the renderer's time less the pass chain's: the composite draw itself.)\n");

    OpenglRenderTarget::instance().release();
    tearDownContexts();
    guard.restore();
}

void pngCosts(int frames)
{
    std::printf("\nPNG costs, 1920x1080 RGBA (ms, mean of %d):\n", frames);
    Cli::RgbaImage image;
    image.width = 1920;
    image.height = 1080;
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = static_cast<std::uint8_t>((i * 7 + (i >> 12)) & 0xFF);
    }
    const std::string path = "solvane-bench.png";
    double encode = 0, decode = 0;
    for (int i = 0; i < frames; ++i) {
        auto start = Clock::now();
        Cli::writePngAtomically(path, image);
        encode += msSince(start);
        start = Clock::now();
        Cli::readPng(path);
        decode += msSince(start);
    }
    std::remove(path.c_str());
    std::printf("  encode %.1f   decode %.1f\n", encode / frames, decode / frames);
}

// A 1920×1080 sequence through the render command, the way a user runs it: PNG files
// and a raw video file, each with reading and writing overlapped with rendering and
// without.
void sequences(const std::string& pluginPath, int frames)
{
    const int width = 1920;
    const int height = 1080;
    const std::filesystem::path folder = std::filesystem::absolute("solvane-bench-sequence");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string in = (folder / "in_%04d.png").string();
    const std::string out = (folder / "out_%04d.png").string();
    const std::string rawIn = (folder / "in.raw").string();
    const std::string rawOut = (folder / "out.raw").string();
    {
        std::FILE* raw = std::fopen(rawIn.c_str(), "wb");
        for (int frame = 0; frame < frames; ++frame) {
            StandIn::HostWorld world(width, height);
            paint(world);
            // Each frame a little different, as footage is.
            for (int y = 0; y < height; y += 7) {
                world.row(y)[(frame * 97 % width) * 4 + 1] = static_cast<std::uint8_t>(frame * 31);
            }
            Cli::RgbaImage image;
            image.width = width;
            image.height = height;
            image.pixels.resize(static_cast<std::size_t>(width) * height * 4);
            world.copyToRgba(image.pixels.data());
            char name[32];
            std::snprintf(name, sizeof name, "in_%04d.png", frame + 1);
            Cli::writePngAtomically((folder / name).string(), image);
            for (int y = 0; y < height; ++y) {
                std::fwrite(world.row(y), 1, static_cast<std::size_t>(width) * 4, raw);
            }
        }
        std::fclose(raw);
    }
    std::printf("\nSequences of %d frames of %dx%d through `solvane render` (2 host threads; seconds summed over "
                "the frames per stage; fps from the first frame read to the last written):\n",
                frames, width, height);
    std::printf("  %-8s %-5s %-8s %8s %8s %8s %8s %8s\n", "quality", "io", "overlap", "fps", "ms/frame", "read",
                "render", "write");
    const std::string range = "1-" + std::to_string(frames);
    for (const char* quality : kQualityNames) {
        for (const bool raw : {false, true}) {
            for (const bool overlap : {false, true}) {
                std::vector<std::string> args = raw ? std::vector<std::string>{"--raw", "1920x1080", rawIn, rawOut}
                                                    : std::vector<std::string>{in, out, "--frames", range};
                args.insert(args.end(), {"--quality", quality, "--quiet", "--center", "1:300,200",
                                         std::to_string(frames) + ":1600,900"});
                if (!overlap) {
                    args.push_back("--no-overlap");
                }
                Cli::RenderJob job(pluginPath, args);
                job.run();
                const Cli::FramePipeline::Timings& t = job.timings();
                const double n = static_cast<double>(t.frames);
                std::printf("  %-8s %-5s %-8s %8.2f %8.0f %8.0f %8.0f %8.0f\n", quality, raw ? "raw" : "png",
                            overlap ? "yes" : "no", n / t.wall, 1000.0 * t.wall / n, 1000.0 * t.read / n,
                            1000.0 * t.render / n, 1000.0 * t.write / n);
                std::fflush(stdout);
            }
        }
    }
    std::printf("(read: PNG decode or raw read into the host's world; render: the plug-in's render command; write: "
                "PNG encode and atomic file write, or raw write; all in ms per frame)\n");
    std::filesystem::remove_all(folder);
}

} // namespace

int main(int argc, char** argv)
{
    int frames = 3;
    int sequenceFrames = 12;
    std::string part = "all";
    std::string pluginPath = StandIn::defaultPluginPath();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc) {
            frames = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--sequence-frames" && i + 1 < argc) {
            sequenceFrames = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--part" && i + 1 < argc) {
            part = argv[++i];
        } else if (arg == "--plugin" && i + 1 < argc) {
            pluginPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: solvane_bench [--frames N] [--sequence-frames N] "
                                 "[--part all|frames|steps|png|sequences] [--plugin PATH]\n");
            return 2;
        }
    }
    try {
        if (part == "all" || part == "frames") {
            wholeFrames(pluginPath, frames);
        }
        if (part == "all" || part == "steps") {
            steps(frames);
        }
        if (part == "all" || part == "png") {
            pngCosts(frames);
        }
        if (part == "all" || part == "sequences") {
            sequences(pluginPath, sequenceFrames);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "solvane_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
