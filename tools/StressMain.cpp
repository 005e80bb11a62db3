// solvane_stress: long runs of the plug-in through the substitute host, to show that
// it neither crashes, leaks nor scribbles under load. Prints figures (frames, cycles,
// time, resident size at the start and end) and exits non-zero at the first wrong
// result. Not part of the test suite; the tests run small versions of the same.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "standin/HostThreadPool.h"
#include "standin/HostWorld.h"
#include "cli/KeyframeTrack.h"
#include "standin/PluginLibrary.h"
#include "standin/PluginSession.h"
#include "cli/ProcessMemory.h"
#include "cli/RenderOptions.h"
#include "standin/SubstituteHost.h"
#include "host/ParameterIndex.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;
using namespace Tamrin::Solvane::StandIn;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kUsage =
    "usage: solvane_stress MODE [options]\n"
    "\n"
    "modes:\n"
    "  frames   render many frames through one set-up, across host threads; the centre\n"
    "           is animated over 8 frame times, and every frame must equal the first of\n"
    "           its time (defaults: --count 10000 --size 64x48 --host-threads 4)\n"
    "  cycles   global set-up, parameter set-up, one render per host thread, global\n"
    "           set-down, many times in one process (defaults: --count 1000 --size 32x24\n"
    "           --host-threads 2); --fresh-threads: new host threads every cycle;\n"
    "           --reload: unload and load the plug-in every cycle as well\n"
    "  faults   good frames with failures injected between them: refused suites, failed\n"
    "           handles, checkouts and parameter declarations, unusable worlds; each must\n"
    "           fail as expected, leave the output alone, and the next good frame must be\n"
    "           right (defaults: --count 2000 --size 24x16 --host-threads 2 --seed 1)\n"
    "\n"
    "options: --count N  --size WxH  --host-threads N  --quality high|medium|low\n"
    "         --plugin PATH  --fresh-threads  --reload  --seed S\n";

struct Options {
    std::string mode;
    long count = -1;
    int width = 0, height = 0;
    int hostThreads = 0;
    int quality = 2;
    bool freshThreads = false;
    bool reload = false;
    unsigned seed = 1;
    std::string plugin;
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "solvane_stress: FAILED: %s\n", message.c_str());
    std::exit(1);
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double mebibytes(std::uint64_t bytes) { return bytes / (1024.0 * 1024.0); }

void paint(HostWorld& world)
{
    for (int y = 0; y < world.height(); ++y) {
        std::uint8_t* p = world.row(y);
        for (int x = 0; x < world.width(); ++x, p += 4) {
            const bool bright = (x / 5 + y / 4) % 3 == 0;
            p[0] = (x * 7 + y) % 13 == 0 ? 0 : 255;
            p[1] = bright ? 250 : 30;
            p[2] = bright ? 220 : 45;
            p[3] = bright ? 170 : 60;
        }
    }
}

std::vector<std::uint8_t> pixels(const HostWorld& world)
{
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < world.height(); ++y) {
        bytes.insert(bytes.end(), world.row(y), world.row(y) + world.width() * 4);
    }
    return bytes;
}

void checkBookkeeping(SubstituteHost& host, const std::string& when)
{
    if (host.suitesHeld() != 0 || host.handlesAlive() != 0 || host.checkoutsOpen() != 0) {
        fail(when + ": the plug-in holds " + std::to_string(host.suitesHeld()) + " suites, " +
             std::to_string(host.handlesAlive()) + " handles, " + std::to_string(host.checkoutsOpen()) +
             " checkouts");
    }
}

void animateCenter(SubstituteHost& host, int width, int height)
{
    RenderOptions options;
    KeyframeTrack track(2);
    track.add(0, {0.1 * width, 0.2 * height});
    track.add(7, {0.9 * width, 0.7 * height});
    options.keyframes[kParamCenter] = track;
    applyRenderOptions(options, host);
}

void report(const char* what, long done, double seconds, std::uint64_t startRss)
{
    const std::uint64_t rss = ProcessMemory::residentBytes();
    std::printf("%-8s %8ld  %8.1f s  %8.1f /s  resident %7.1f MiB (%+.1f)\n", what, done, seconds,
                seconds > 0 ? done / seconds : 0.0, mebibytes(rss), mebibytes(rss) - mebibytes(startRss));
    std::fflush(stdout);
}

int frames(const Options& o)
{
    PluginSession session(o.plugin, "en_US");
    SubstituteHost& host = session.host();
    host.setPopup(kParamQuality, o.quality);
    animateCenter(host, o.width, o.height);
    HostThreadPool threads(o.hostThreads);
    HostWorld input(o.width, o.height);
    paint(input);
    HostWorld output(o.width, o.height);
    std::vector<std::vector<std::uint8_t>> reference(8);

    auto renderOne = [&](long frame) {
        output.fill(0x11);
        PF_Err error = PF_Err_NONE;
        threads.run([&] { error = host.render(input, output, static_cast<A_long>(frame % 8)); });
        if (error != PF_Err_NONE) {
            fail("frame " + std::to_string(frame) + ": render returned " + std::to_string(error));
        }
        if (!output.paddingIntact() || !input.paddingIntact()) {
            fail("frame " + std::to_string(frame) + ": a world's row padding was written");
        }
        std::vector<std::uint8_t> bytes = pixels(output);
        std::vector<std::uint8_t>& expected = reference[static_cast<std::size_t>(frame % 8)];
        if (expected.empty()) {
            expected = std::move(bytes);
        } else if (bytes != expected) {
            fail("frame " + std::to_string(frame) + " differs from frame " + std::to_string(frame % 8));
        }
    };
    // Every thread's context exists before the first figure.
    for (long frame = 0; frame < 8; ++frame) {
        renderOne(frame);
    }
    const std::uint64_t startRss = ProcessMemory::residentBytes();
    std::printf("frames: %ld of %dx%d at quality %d across %d host threads; resident at start %.1f MiB\n",
                o.count, o.width, o.height, o.quality, o.hostThreads, mebibytes(startRss));
    const Clock::time_point start = Clock::now();
    const long step = std::max(1L, o.count / 10);
    for (long frame = 8; frame < o.count + 8; ++frame) {
        renderOne(frame);
        if ((frame - 7) % step == 0 || frame == o.count + 7) {
            report("frames", frame - 7, secondsSince(start), startRss);
        }
    }
    checkBookkeeping(host, "after the frames");
    if (session.close() != PF_Err_NONE) {
        fail("global set-down failed");
    }
    std::printf("peak resident %.1f MiB\n", mebibytes(ProcessMemory::peakResidentBytes()));
    return 0;
}

int cycles(const Options& o)
{
    std::unique_ptr<PluginLibrary> library = std::make_unique<PluginLibrary>(o.plugin);
    std::unique_ptr<HostThreadPool> threads = std::make_unique<HostThreadPool>(o.hostThreads);
    HostWorld input(o.width, o.height);
    paint(input);
    HostWorld output(o.width, o.height);
    std::vector<std::uint8_t> reference;
    std::uint64_t startRss = 0;
    Clock::time_point start = Clock::now();
    const long warmUp = 5;
    const long step = std::max(1L, o.count / 10);
    for (long cycle = 0; cycle < o.count + warmUp; ++cycle) {
        if (o.reload) {
            library = std::make_unique<PluginLibrary>(o.plugin);
        }
        if (o.freshThreads) {
            threads = std::make_unique<HostThreadPool>(o.hostThreads);
        }
        {
            SubstituteHost host(library->entryPoint());
            if (host.globalSetUp() != PF_Err_NONE || host.paramsSetUp() != PF_Err_NONE) {
                fail("cycle " + std::to_string(cycle) + ": set-up failed");
            }
            host.setPoint(kParamCenter, o.width * 0.3, o.height * 0.8);
            for (int t = 0; t < o.hostThreads; ++t) {
                output.fill(0x22);
                PF_Err error = PF_Err_NONE;
                threads->run([&] { error = host.render(input, output, 0); });
                if (error != PF_Err_NONE) {
                    fail("cycle " + std::to_string(cycle) + ": render returned " + std::to_string(error));
                }
                std::vector<std::uint8_t> bytes = pixels(output);
                if (reference.empty()) {
                    reference = std::move(bytes);
                } else if (bytes != reference) {
                    fail("cycle " + std::to_string(cycle) + ": the frame differs from the first cycle's");
                }
            }
            checkBookkeeping(host, "cycle " + std::to_string(cycle));
            if (host.globalSetDown() != PF_Err_NONE) {
                fail("cycle " + std::to_string(cycle) + ": set-down failed");
            }
        }
        if (cycle + 1 == warmUp) {
            startRss = ProcessMemory::residentBytes();
            start = Clock::now();
            std::printf("cycles: %ld of set-up, %d render(s) of %dx%d, set-down%s%s; resident after %ld warm-up "
                        "cycles %.1f MiB\n",
                        o.count, o.hostThreads, o.width, o.height, o.freshThreads ? ", fresh threads" : "",
                        o.reload ? ", reloading the plug-in" : "", warmUp, mebibytes(startRss));
        } else if (cycle >= warmUp && ((cycle + 1 - warmUp) % step == 0 || cycle + 1 == o.count + warmUp)) {
            report("cycles", cycle + 1 - warmUp, secondsSince(start), startRss);
        }
    }
    std::printf("peak resident %.1f MiB\n", mebibytes(ProcessMemory::peakResidentBytes()));
    return 0;
}

int faults(const Options& o)
{
    PluginSession session(o.plugin, "en_US");
    SubstituteHost& host = session.host();
    HostThreadPool threads(o.hostThreads);
    HostWorld input(o.width, o.height);
    paint(input);
    HostWorld output(o.width, o.height);
    auto render = [&](HostWorld& in, HostWorld& out) {
        PF_Err error = PF_Err_NONE;
        threads.run([&] { error = host.render(in, out, 0); });
        return error;
    };
    // One frame on every host thread first, so that every thread's context exists before the first figure.
    for (int t = 0; t < o.hostThreads; ++t) {
        if (render(input, output) != PF_Err_NONE) {
            fail("the first frames failed");
        }
    }
    const std::vector<std::uint8_t> reference = pixels(output);
    std::mt19937 random(o.seed);
    const std::uint64_t startRss = ProcessMemory::residentBytes();
    std::printf("faults: %ld injected between good %dx%d frames across %d host threads (seed %u); resident at "
                "start %.1f MiB\n",
                o.count, o.width, o.height, o.hostThreads, o.seed, mebibytes(startRss));
    const char* const suites[] = {kPFANSISuite, kPFAppSuite, kPFHandleSuite};
    long counts[6] = {};
    const Clock::time_point start = Clock::now();
    const long step = std::max(1L, o.count / 10);
    for (long i = 0; i < o.count; ++i) {
        const int kind = static_cast<int>(random() % 6);
        ++counts[kind];
        const std::string what = "fault " + std::to_string(i) + " (kind " + std::to_string(kind) + ")";
        output.fill(0x5C);
        const std::vector<std::uint8_t> untouched = pixels(output);
        PF_Err expected = PF_Err_BAD_CALLBACK_PARAM;
        PF_Err got = PF_Err_NONE;
        switch (kind) {
        case 0: // the handle suite refused: no read-back
            host.faults.refusedSuites.insert(kPFHandleSuite);
            got = render(input, output);
            break;
        case 1: // no memory for a handle
            host.faults.failHandleAllocation = true;
            got = render(input, output);
            break;
        case 2: { // a world whose rows are shorter than its pixels
            HostWorld bad(o.width, o.height, 0);
            bad.def().rowbytes = o.width * 4 - 4;
            got = render(bad, output);
            break;
        }
        case 3: { // a checkout fails: the frame is drawn with the last values
            host.faults.failCheckoutIndex = 1 + static_cast<int>(random() % 7);
            expected = PF_Err_NONE;
            got = render(input, output);
            break;
        }
        case 4: { // a suite refused for About, any suite
            host.faults.refusedSuites.insert(suites[random() % 3]);
            std::string text;
            got = host.about(text);
            expected = host.faults.refusedSuites.count(kPFANSISuite) ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE;
            break;
        }
        case 5: { // a parameter declaration fails, then the parameters are declared again
            host.faults.failAddParamAt = 1 + static_cast<int>(random() % 7);
            got = host.paramsSetUp();
            expected = PF_Err_OUT_OF_MEMORY;
            if (host.parameters().size() != static_cast<std::size_t>(host.faults.failAddParamAt)) {
                fail(what + ": parameters declared after the failed one");
            }
            break;
        }
        }
        host.faults = HostFaults();
        if (got != expected) {
            fail(what + ": returned " + std::to_string(got) + ", expected " + std::to_string(expected));
        }
        if (kind != 3 && pixels(output) != untouched) {
            fail(what + ": the output was written by a failed command");
        }
        checkBookkeeping(host, what);
        if (kind == 5 && host.paramsSetUp() != PF_Err_NONE) {
            fail(what + ": the parameters could not be declared again");
        }
        if (render(input, output) != PF_Err_NONE || pixels(output) != reference) {
            fail(what + ": the next good frame is wrong");
        }
        if ((i + 1) % step == 0 || i + 1 == o.count) {
            report("faults", i + 1, secondsSince(start), startRss);
        }
    }
    std::printf("by kind: refused handle suite %ld, no handle memory %ld, short rows %ld, failed checkout %ld, "
                "About without a suite %ld, failed declaration %ld\n",
                counts[0], counts[1], counts[2], counts[3], counts[4], counts[5]);
    if (session.close() != PF_Err_NONE) {
        fail("global set-down failed");
    }
    return 0;
}

// A whole number within [low, high], all of the text; false for anything else.
bool parseWhole(const std::string& text, long long low, long long high, long long& value)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno != ERANGE && value >= low && value <= high;
}

bool parseSize(const std::string& text, int& width, int& height)
{
    const auto x = text.find('x');
    long long w = 0, h = 0;
    if (x == std::string::npos || !parseWhole(text.substr(0, x), 1, kLargestFrameSide, w) ||
        !parseWhole(text.substr(x + 1), 1, kLargestFrameSide, h)) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

[[noreturn]] void usageError(const std::string& message)
{
    std::fprintf(stderr, "solvane_stress: %s\n", message.c_str());
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    o.plugin = defaultPluginPath();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    o.mode = args[0];
    for (std::size_t i = 1; i < args.size(); ++i) {
        const OptionArgument split = splitOption(args[i]);
        const std::string& a = split.name;
        const bool hasValue = split.value || i + 1 < args.size();
        auto value = [&]() -> std::string { return split.value ? *split.value : args[++i]; };
        long long number = 0;
        if (a == "--count" && hasValue) {
            const std::string text = value();
            if (!parseWhole(text, 1, 1000000000, number)) {
                usageError("--count: expected a whole number from 1 to 1000000000, got '" + text + "'");
            }
            o.count = static_cast<long>(number);
        } else if (a == "--size" && hasValue) {
            const std::string text = value();
            if (!parseSize(text, o.width, o.height)) {
                usageError("--size: expected WxH, each from 1 to " + std::to_string(kLargestFrameSide) + ", got '" +
                           text + "'");
            }
        } else if (a == "--host-threads" && hasValue) {
            const std::string text = value();
            if (!parseWhole(text, 1, 64, number)) {
                usageError("--host-threads: expected a whole number from 1 to 64, got '" + text + "'");
            }
            o.hostThreads = static_cast<int>(number);
        } else if (a == "--quality" && hasValue) {
            const std::string q = value();
            if (q != "high" && q != "medium" && q != "low") {
                usageError("--quality: expected high, medium or low, got '" + q + "'");
            }
            o.quality = q == "high" ? 1 : q == "low" ? 3 : 2;
        } else if (a == "--plugin" && hasValue) {
            o.plugin = value();
        } else if (a == "--seed" && hasValue) {
            const std::string text = value();
            if (!parseWhole(text, 0, 4294967295LL, number)) {
                usageError("--seed: expected a whole number from 0 to 4294967295, got '" + text + "'");
            }
            o.seed = static_cast<unsigned>(number);
        } else if (a == "--fresh-threads") {
            o.freshThreads = true;
        } else if (a == "--reload") {
            o.reload = true;
        } else {
            std::fprintf(stderr, "solvane_stress: unknown argument '%s'\n%s", args[i].c_str(), kUsage);
            return 2;
        }
    }
    try {
        if (o.mode == "frames") {
            o.count = o.count < 0 ? 10000 : o.count;
            o.width = o.width ? o.width : 64;
            o.height = o.height ? o.height : 48;
            o.hostThreads = o.hostThreads ? o.hostThreads : 4;
            return frames(o);
        }
        if (o.mode == "cycles") {
            o.count = o.count < 0 ? 1000 : o.count;
            o.width = o.width ? o.width : 32;
            o.height = o.height ? o.height : 24;
            o.hostThreads = o.hostThreads ? o.hostThreads : 2;
            return cycles(o);
        }
        if (o.mode == "faults") {
            o.count = o.count < 0 ? 2000 : o.count;
            o.width = o.width ? o.width : 24;
            o.height = o.height ? o.height : 16;
            o.hostThreads = o.hostThreads ? o.hostThreads : 2;
            return faults(o);
        }
    } catch (const std::exception& e) {
        fail(e.what());
    }
    std::fprintf(stderr, "solvane_stress: unknown mode '%s'\n%s", o.mode.c_str(), kUsage);
    return 2;
}
