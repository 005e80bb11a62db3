// solvane_bench: how long a frame takes, and where the time goes.
//
// One run measures, side by side: the start-up of a render (the plug-in's two
// contexts); whole frames through the built plug-in, loaded and driven by the
// substitute host exactly as `solvane render` does, at 1920x1080 and 3840x2160, each
// quality, with the centre in the frame and far outside it; the render command's
// steps, linked in directly, with glFinish after each so that each one's cost can be
// told apart, and the float surfaces those steps create and convert; PNG decoding
// and encoding; whole sequences as `solvane render` runs them (PNG files and raw
// video, reading and writing overlapped with rendering); and the same images through
// G'MIC (`lightrays` and a screen blend), when `gmic` is installed. A summary sets
// the sequences against the render's own time and against G'MIC. Figures only:
// nothing here passes or fails.
#include <glbinding/gl/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>
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

// Where the rays come from: the layer's centre (the default), beside the frame, and far off a corner.
struct Centre {
    const char* name;
    bool layerCentre;
    double x, y;
};
const Centre kCentres[] = {{"centre", true, 0, 0}, {"-1000,540", false, -1000, 540}, {"-20000,-20000", false, -20000, -20000}};

// Figures kept for the summary, by size (index into kSizes), quality and centre.
struct Figures {
    std::map<std::string, double> ms;
    void set(const std::string& key, double value) { ms[key] = value; }
    const double* get(const std::string& key) const
    {
        const auto found = ms.find(key);
        return found == ms.end() ? nullptr : &found->second;
    }
};
Figures gFigures;

// What --size and --quality leave in: every size and quality unless narrowed.
int gOnlyHeight = 0;
std::string gOnlyQuality;

bool sizeWanted(const Size& size) { return gOnlyHeight == 0 || size.height == gOnlyHeight; }
bool qualityWanted(const std::string& quality) { return gOnlyQuality.empty() || quality == gOnlyQuality; }
std::string gOnlyCentre;
bool centreWanted(const Centre& centre) { return gOnlyCentre.empty() || gOnlyCentre == centre.name; }

std::string key(const char* what, const Size& size, const std::string& quality, const char* centre = "centre")
{
    return std::string(what) + " " + std::to_string(size.width) + " " + quality + " " + centre;
}

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// The programs run beside this one: solvane from the same build, gmic from the system.
std::filesystem::path besideThisProgram(const char* name)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path(name) : self.parent_path() / name;
}

bool gmicInstalled()
{
    return std::system("gmic -v - -x 0 >/dev/null 2>&1") == 0;
}

// Wall time of a shell command, in ms; -1 when it failed.
double timedCommand(const std::string& command)
{
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double ms = msSince(start);
    return status == 0 ? ms : -1;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

Cli::RgbaImage paintedImage(const Size& size)
{
    StandIn::HostWorld world(size.width, size.height);
    paint(world);
    Cli::RgbaImage image;
    image.width = size.width;
    image.height = size.height;
    image.pixels.resize(static_cast<std::size_t>(size.width) * size.height * 4);
    world.copyToRgba(image.pixels.data());
    return image;
}

void startUp(const std::string& pluginPath, int runs)
{
    runs = std::max(runs, 2);
    std::printf("Start-up (ms, median of %d): loading the plug-in with its global set-up (the shared context), "
                "the first 64x64 frame (the thread's context, the programs' first draws), the next frame; and a "
                "whole `solvane render` of a 64x64 PNG\n",
                runs);
    std::vector<double> open, first, next, process;
    StandIn::HostWorld input(64, 64);
    paint(input);
    StandIn::HostWorld output(64, 64);
    for (int i = 0; i < runs; ++i) {
        // Each run on a thread of its own, so that the thread's context is made anew as in a new process.
        std::thread([&] {
            auto start = Clock::now();
            StandIn::PluginSession session(pluginPath, "en_US");
            open.push_back(msSince(start));
            start = Clock::now();
            session.host().render(input, output);
            first.push_back(msSince(start));
            start = Clock::now();
            session.host().render(input, output);
            next.push_back(msSince(start));
        }).join();
    }
    const std::filesystem::path solvane = besideThisProgram("solvane");
    if (std::filesystem::exists(solvane)) {
        Cli::RgbaImage image;
        image.width = image.height = 64;
        image.pixels.resize(64 * 64 * 4);
        input.copyToRgba(image.pixels.data());
        Cli::writePngAtomically("solvane-bench-small.png", image);
        for (int i = 0; i < runs; ++i) {
            process.push_back(timedCommand(quoted(solvane.string()) +
                                           " render solvane-bench-small.png solvane-bench-small-out.png --quiet"));
        }
        std::remove("solvane-bench-small.png");
        std::remove("solvane-bench-small-out.png");
    }
    // The first run opens the EGL display and loads the driver; later ones in the process find them open.
    std::printf("  first in the process: open+set-up %.1f   first frame %.1f   next frame %.1f\n", open[0], first[0],
                next[0]);
    std::printf("  later (median):       open+set-up %.1f   first frame %.1f   next frame %.1f\n",
                median({open.begin() + 1, open.end()}), median({first.begin() + 1, first.end()}),
                median({next.begin() + 1, next.end()}));
    std::printf("  solvane render 64x64, the whole process: %.1f\n\n", median(process));
}

void wholeFrames(const std::string& pluginPath, int frames)
{
    StandIn::PluginSession session(pluginPath, "en_US");
    {
        // The contexts' identification lines come before the table.
        StandIn::HostWorld input(8, 8);
        StandIn::HostWorld output(8, 8);
        session.host().render(input, output);
    }
    std::printf("Whole frames through the plug-in (ms per frame, mean of %d after one warm-up frame):\n", frames);
    std::printf("  %-10s %-8s %10s %10s %14s\n", "size", "quality", kCentres[0].name, kCentres[1].name,
                kCentres[2].name);
    for (const Size size : kSizes) {
        if (!sizeWanted(size)) {
            continue;
        }
        StandIn::HostWorld input(size.width, size.height);
        paint(input);
        StandIn::HostWorld output(size.width, size.height);
        for (int quality = 0; quality < 3; ++quality) {
            if (!qualityWanted(kQualityNames[quality])) {
                continue;
            }
            session.host().setPopup(kParamQuality, quality + 1);
            std::printf("  %4dx%-5d %-8s", size.width, size.height, kQualityNames[quality]);
            for (const Centre& centre : kCentres) {
                session.host().setPoint(kParamCenter, centre.layerCentre ? size.width * 0.5 : centre.x,
                                        centre.layerCentre ? size.height * 0.5 : centre.y);
                session.host().render(input, output);
                const auto start = Clock::now();
                for (int i = 0; i < frames; ++i) {
                    if (session.host().render(input, output) != PF_Err_NONE) {
                        std::fprintf(stderr, "render failed\n");
                        std::exit(1);
                    }
                }
                const double ms = msSince(start) / frames;
                gFigures.set(key("frame", size, kQualityNames[quality], centre.name), ms);
                std::printf(" %*.1f", &centre == &kCentres[2] ? 14 : 10, ms);
                std::fflush(stdout);
            }
            std::printf("\n");
        }
    }
}

// The float surfaces of a frame, each made or converted on its own as the render command does it, finished and
// timed: the render target's RGBA32F storage (once per frame size in a sequence; the 8-bit layer's storage is made
// every frame), the float copy of the top layer (glCopyTexImage2D to RGBA32F), the 8-bit read-back from the float
// target, and the upload of the host's 8-bit pixels into an RGBA32F texture.
void floatSurfaces(int frames)
{
    std::printf("\nThe float surfaces (ms, mean of %d; glFinish after each):\n", frames);
    std::printf("  %-10s %12s %12s %11s %13s %13s %13s\n", "size", "RGBA32F rb", "RGBA8 layer", "float copy",
                "read-back f32", "read-back 8", "upload f32");
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    for (const Size size : kSizes) {
        const int w = size.width;
        const int h = size.height;
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * 4, 0x40);
        double storageFloat = 0, storageLayer = 0, copy = 0, readFloat = 0, readByte = 0, upload = 0;
        for (int i = 0; i < frames; ++i) {
            GLuint floatTarget = 0, layer = 0, copied = 0, uploaded = 0;
            glGenRenderbuffers(1, &floatTarget);
            glBindRenderbuffer(GL_RENDERBUFFER, floatTarget);
            storageFloat += timed([&] { glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA32F, w, h); });
            glGenRenderbuffers(1, &layer);
            glBindRenderbuffer(GL_RENDERBUFFER, layer);
            storageLayer += timed([&] { glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA, w, h); });

            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, layer);
            glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glGenTextures(1, &copied);
            glBindTexture(GL_TEXTURE_2D, copied);
            copy += timed([&] { glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 0, 0, w, h, 0); });
            readByte += timed([&] { glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data()); });

            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, floatTarget);
            glClear(GL_COLOR_BUFFER_BIT);
            glFinish();
            readFloat += timed([&] { glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data()); });

            glGenTextures(1, &uploaded);
            glBindTexture(GL_TEXTURE_2D, uploaded);
            upload += timed([&] {
                glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), w, h, 0, GL_RGBA, GL_FLOAT, nullptr);
                glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            });
            glBindTexture(GL_TEXTURE_2D, 0);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
            glDeleteTextures(1, &copied);
            glDeleteTextures(1, &uploaded);
            glDeleteRenderbuffers(1, &floatTarget);
            glDeleteRenderbuffers(1, &layer);
        }
        const double n = frames;
        std::printf("  %4dx%-5d %12.1f %12.1f %11.1f %13.1f %13.1f %13.1f\n", w, h, storageFloat / n,
                    storageLayer / n, copy / n, readFloat / n, readByte / n, upload / n);
        gFigures.set(key("float surfaces", size, "-"), (storageLayer + copy + readFloat + upload) / n);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    std::printf("  (a frame of a sequence makes the 8-bit layer, the float copy, the float read-back and the "
                "upload; the RGBA32F target once per size)\n");
}

void steps(int frames)
{
    std::printf("\nWhere the time goes (ms per frame, mean of %d; glFinish after each step):\n", frames);
    std::printf("  %-10s %-8s %-14s %8s %10s %10s %8s %10s %8s\n", "size", "quality", "centre", "upload",
                "pass chain", "composite", "finish", "read-back", "total");
    CurrentContextGuard guard;
    setUpSharedContext();
    AEOpenGLContext* context = contextForThisThread();
    context->makeCurrent();

    StandIn::SubstituteHost host(nullptr); // the handle suite and pixel access of the transfer
    LightShaftRenderer renderer;
    LightShaftPassChain chain;
    for (const Size size : kSizes) {
        if (!sizeWanted(size)) {
            continue;
        }
        StandIn::HostWorld input(size.width, size.height);
        paint(input);
        StandIn::HostWorld output(size.width, size.height);
        const Vec2 frameSize(size.width, size.height);
        for (int variant = 0; variant < 9; ++variant) {
            const int quality = variant / 3;
            const Centre& centre = kCentres[variant % 3];
            if (!qualityWanted(kQualityNames[quality]) || !centreWanted(centre)) {
                continue;
            }
            renderer.settings.center =
                centre.layerCentre ? Vec2(size.width * 0.5, size.height * 0.3) : Vec2(centre.x, centre.y);
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
                              static_cast<std::int32_t>(g.factor), g.drawRects);
                });
            }
            glDeleteTextures(1, &texture);
            const double n = frames;
            const double upload = stepMs[static_cast<int>(FrameStep::Upload)] / n;
            const double render = stepMs[static_cast<int>(FrameStep::Render)] / n;
            const double finish = stepMs[static_cast<int>(FrameStep::Finish)] / n;
            const double readback = stepMs[static_cast<int>(FrameStep::Readback)] / n;
            std::printf("  %4dx%-5d %-8s %-14s %8.1f %10.1f %10.1f %8.1f %10.1f %8.1f\n", size.width, size.height,
                        kQualityNames[quality], centre.name, upload, chainMs / n, render - chainMs / n, finish,
                        readback, upload + render + finish + readback);
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
    floatSurfaces(frames);

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

// Numbered PNG frames and a raw video file of the same frames, each a little different, as footage is, and with a
// camera's grain: flat synthetic frames would make PNG decoding look cheaper (or, with run-length compression,
// dearer) than footage makes it.
void writeFootage(const std::filesystem::path& folder, const Size& size, int frames)
{
    std::FILE* raw = std::fopen((folder / "in.raw").string().c_str(), "wb");
    StandIn::HostWorld world(size.width, size.height);
    paint(world);
    std::uint32_t noise = 12345;
    for (int y = 0; y < size.height; ++y) {
        std::uint8_t* p = world.row(y);
        for (int x = 0; x < size.width * 4; ++x) {
            if (x % 4 == 0) {
                continue; // alpha stays as painted
            }
            noise = noise * 1664525u + 1013904223u;
            p[x] = static_cast<std::uint8_t>(std::min(255, std::max(0, p[x] + static_cast<int>(noise >> 29) - 4)));
        }
    }
    Cli::RgbaImage image;
    image.width = size.width;
    image.height = size.height;
    image.pixels.resize(static_cast<std::size_t>(size.width) * size.height * 4);
    for (int frame = 0; frame < frames; ++frame) {
        for (int y = 0; y < size.height; y += 7) {
            world.row(y)[(frame * 97 % size.width) * 4 + 1] = static_cast<std::uint8_t>(frame * 31);
        }
        world.copyToRgba(image.pixels.data());
        char name[32];
        std::snprintf(name, sizeof name, "in_%04d.png", frame + 1);
        Cli::writePngAtomically((folder / name).string(), image);
        for (int y = 0; y < size.height; ++y) {
            std::fwrite(world.row(y), 1, static_cast<std::size_t>(size.width) * 4, raw);
        }
    }
    std::fclose(raw);
}

// Sequences through the render command, the way a user runs it: PNG files and a raw video file, with reading and
// writing overlapped with rendering (and, at 1920x1080 Medium, without). 3840x2160 runs a quarter of the frames.
void sequences(const std::string& pluginPath, int frames)
{
    const std::filesystem::path folder = std::filesystem::absolute("solvane-bench-sequence");
    std::printf("\nSequences through `solvane render` (2 host threads; ms per frame from the first frame read to the "
                "last written; read, render and write summed over the frames per stage, per frame):\n");
    std::printf("  %-10s %6s %-8s %-5s %-8s %-7s %8s %8s %8s %8s\n", "size", "frames", "quality", "io", "overlap",
                "centre", "ms/frame", "read", "render", "write");
    for (const Size size : kSizes) {
        if (!sizeWanted(size)) {
            continue;
        }
        const int count = size.width > 1920 ? std::max(2, frames / 4) : frames;
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        writeFootage(folder, size, count);
        const std::string in = (folder / "in_%04d.png").string();
        const std::string out = (folder / "out_%04d.png").string();
        const std::string rawIn = (folder / "in.raw").string();
        const std::string rawOut = (folder / "out.raw").string();
        const std::string range = "1-" + std::to_string(count);
        const std::string rawSize = std::to_string(size.width) + "x" + std::to_string(size.height);
        for (const char* quality : kQualityNames) {
            if (!qualityWanted(quality)) {
                continue;
            }
            for (const bool raw : {false, true}) {
                // The centre stays at the layer's centre, as in the whole-frame figures; at 1920x1080 Medium the
                // sequence also runs without overlap, and with the centre moving across the frame (the ray box then
                // changes size every frame, and with it the pass chain's textures).
                const bool all = size.width == 1920 && std::string(quality) == "medium";
                for (const int variant : {0, 1, 2}) {
                    const bool overlap = variant != 1;
                    const bool moving = variant == 2;
                    if (variant > 0 && !all) {
                        continue;
                    }
                    std::vector<std::string> args = raw ? std::vector<std::string>{"--raw", rawSize, rawIn, rawOut}
                                                        : std::vector<std::string>{in, out, "--frames", range};
                    args.insert(args.end(), {"--quality", quality, "--quiet"});
                    if (moving) {
                        args.insert(args.end(), {"--center", "0:300,200", std::to_string(count) + ":1600,900"});
                    }
                    if (!overlap) {
                        args.push_back("--no-overlap");
                    }
                    Cli::RenderJob job(pluginPath, args);
                    job.run();
                    const Cli::FramePipeline::Timings& t = job.timings();
                    const double n = static_cast<double>(t.frames);
                    if (variant == 0) {
                        gFigures.set(key(raw ? "raw sequence" : "png sequence", size, quality), 1000.0 * t.wall / n);
                    }
                    std::printf("  %4dx%-5d %6d %-8s %-5s %-8s %-7s %8.0f %8.0f %8.0f %8.0f\n", size.width,
                                size.height, count, quality, raw ? "raw" : "png", overlap ? "yes" : "no",
                                moving ? "moving" : "layer's", 1000.0 * t.wall / n,
                                1000.0 * t.read / n, 1000.0 * t.render / n, 1000.0 * t.write / n);
                    std::fflush(stdout);
                }
            }
        }
    }
    std::printf("  (read: PNG decode or raw read into the host's world; render: the plug-in's render command; write: "
                "PNG encode and atomic file write, or raw write)\n");
    std::filesystem::remove_all(folder);
}

// The same images through G'MIC and through `solvane render`, one process per image, as a user runs either on a
// single image. G'MIC's nearest work is its `lightrays` command (rays from a centre given in per cent of the image)
// with the rays blended over the image by `blend screen`; its centre takes the same pixel position as ours.
void againstGmic(int runs)
{
    std::printf("\nOne image per process, PNG in and out (ms, median of %d): G'MIC `gmic -v - IN.png +lightrays "
                "100,CX%%,CY%%,1,1 blend screen o OUT.png` against `solvane render IN.png OUT.png --center X,Y "
                "--quality Q`:\n",
                runs);
    if (!gmicInstalled()) {
        std::printf("  skipped: gmic is not installed (Debian: apt-get install gmic)\n");
        return;
    }
    const std::filesystem::path solvane = besideThisProgram("solvane");
    std::printf("  %-10s %-14s %8s %8s %8s %8s\n", "size", "centre", "gmic", "high", "medium", "low");
    for (const Size size : kSizes) {
        if (!sizeWanted(size)) {
            continue;
        }
        const std::string in = "solvane-bench-gmic.png";
        const std::string out = "solvane-bench-gmic-out.png";
        Cli::writePngAtomically(in, paintedImage(size));
        for (const Centre& centre : kCentres) {
            const double x = centre.layerCentre ? size.width * 0.5 : centre.x;
            const double y = centre.layerCentre ? size.height * 0.5 : centre.y;
            char gmic[256];
            std::snprintf(gmic, sizeof gmic, "gmic -v - %s +lightrays 100,%.4f%%,%.4f%%,1,1 blend screen o %s",
                          in.c_str(), 100.0 * x / size.width, 100.0 * y / size.height, out.c_str());
            std::vector<double> gmicMs;
            for (int i = 0; i < runs; ++i) {
                gmicMs.push_back(timedCommand(gmic));
            }
            gFigures.set(key("gmic", size, "-", centre.name), median(gmicMs));
            std::printf("  %4dx%-5d %-14s %8.0f", size.width, size.height, centre.name, median(gmicMs));
            for (const char* quality : kQualityNames) {
                if (!qualityWanted(quality)) {
                    std::printf(" %8s", "-");
                    continue;
                }
                char ours[512];
                std::snprintf(ours, sizeof ours, "%s render %s %s --quiet --center %.0f,%.0f --quality %s",
                              quoted(solvane.string()).c_str(), in.c_str(), out.c_str(), x, y, quality);
                std::vector<double> oursMs;
                for (int i = 0; i < runs; ++i) {
                    oursMs.push_back(timedCommand(ours));
                }
                gFigures.set(key("solvane process", size, quality, centre.name), median(oursMs));
                std::printf(" %8.0f", median(oursMs));
            }
            std::printf("\n");
            std::fflush(stdout);
        }
        std::remove(in.c_str());
        std::remove(out.c_str());
    }
}

// The sequences set against the render's own time per frame and against G'MIC per image.
void summary()
{
    std::printf("\nSummary (ms per frame; the render is the whole-frame figure, centre in the frame):\n");
    std::printf("  %-10s %-8s %8s %12s %6s %12s %6s %8s %14s\n", "size", "quality", "render", "png sequence", "x",
                "raw sequence", "x", "gmic", "gmic / png seq");
    for (const Size size : kSizes) {
        for (const char* quality : kQualityNames) {
            if (!sizeWanted(size) || !qualityWanted(quality)) {
                continue;
            }
            const double* render = gFigures.get(key("frame", size, quality));
            const double* png = gFigures.get(key("png sequence", size, quality));
            const double* raw = gFigures.get(key("raw sequence", size, quality));
            const double* gmic = gFigures.get(key("gmic", size, "-"));
            const auto value = [](const double* v) { return v ? *v : 0.0; };
            const auto ratio = [](const double* a, const double* b) { return a && b && *b > 0 ? *a / *b : 0.0; };
            std::printf("  %4dx%-5d %-8s %8.0f %12.0f %6.2f %12.0f %6.2f %8.0f %14.1f\n", size.width, size.height,
                        quality, value(render), value(png), ratio(png, render), value(raw), ratio(raw, render),
                        value(gmic), ratio(gmic, png));
        }
    }
    std::printf("  (x: the sequence's time per frame over the render's; 0 where a part was not run)\n");
}

} // namespace

int main(int argc, char** argv)
{
    int frames = 3;
    int sequenceFrames = 20;
    int runs = 3;
    std::string part = "all";
    std::string pluginPath = StandIn::defaultPluginPath();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc) {
            frames = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--sequence-frames" && i + 1 < argc) {
            sequenceFrames = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--part" && i + 1 < argc) {
            part = argv[++i];
        } else if (arg == "--plugin" && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            gOnlyHeight = std::atoi(argv[++i]);
        } else if (arg == "--quality" && i + 1 < argc) {
            gOnlyQuality = argv[++i];
        } else if (arg == "--centre" && i + 1 < argc) {
            gOnlyCentre = argv[++i];
        } else {
            std::fprintf(stderr, "usage: solvane_bench [--frames N] [--sequence-frames N] [--runs N] "
                                 "[--part all|startup|frames|steps|png|sequences|gmic] [--plugin PATH]\n"
                                 "                     [--size 1080|2160] [--quality high|medium|low]\n"
                                 "                     [--centre centre|-1000,540|-20000,-20000]\n"
                                 "  --part may name several parts, separated by commas; --size and --quality\n"
                                 "  narrow the frames, steps, sequences and G'MIC parts to one size or quality,\n"
                                 "  --centre the steps to one centre\n");
            return 2;
        }
    }
    const auto wanted = [&part](const char* name) {
        if (part == "all") {
            return true;
        }
        const std::string list = "," + part + ",";
        return list.find("," + std::string(name) + ",") != std::string::npos;
    };
    try {
        if (wanted("startup")) {
            startUp(pluginPath, runs);
        }
        if (wanted("frames")) {
            wholeFrames(pluginPath, frames);
        }
        if (wanted("steps")) {
            steps(frames);
        }
        if (wanted("png")) {
            pngCosts(frames);
        }
        if (wanted("sequences")) {
            sequences(pluginPath, sequenceFrames);
        }
        if (wanted("gmic")) {
            againstGmic(runs);
        }
        summary();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "solvane_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
