// solvane under hostile input, signals and special files, run as a user runs it:
// outputs that are FIFOs, devices, links and names near the system's limit; signals
// in the middle of a render; a closed or full standard output; sizes beyond what the
// plug-in draws; the usual long-option form; and the messages and exit codes a
// script relies on. The cases start processes, pipes and device nodes the POSIX way.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "cli/PngImage.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;
namespace fs = std::filesystem;
using Tamrin::Solvane::Test::ScratchFolder;
using Tamrin::Solvane::Test::solvanePath;

namespace {

using Tamrin::Solvane::Test::readFile;
using Tamrin::Solvane::Test::writeFile;

// The width of a PNG file; -1 when it is missing or no PNG.
int pngWidth(const std::string& path)
{
    try {
        return readPng(path).width;
    } catch (const std::exception&) {
        return -1;
    }
}

// A started solvane: its standard error goes to a file of the test's folder.
struct Started {
    pid_t pid = -1;
    fs::path errors;
};

// The way it ended: the raw wait status, its peak resident set and what it said.
struct Ended {
    int status = 0;
    long peakKilobytes = 0;
    std::string errors;

    bool exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    bool killedBy(int signalNumber) const { return WIFSIGNALED(status) && WTERMSIG(status) == signalNumber; }
};

::testing::AssertionResult exitedWith(const Ended& ended, int code)
{
    if (ended.exited(code)) {
        return ::testing::AssertionSuccess();
    }
    auto failure = ::testing::AssertionFailure();
    if (WIFEXITED(ended.status)) {
        failure << "exited with " << WEXITSTATUS(ended.status);
    } else if (WIFSIGNALED(ended.status)) {
        failure << "killed by signal " << WTERMSIG(ended.status);
    }
    return failure << " instead of " << code << "; it said: " << ended.errors;
}

class HostileInputHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RgbaImage image;
        image.width = 32;
        image.height = 24;
        for (int i = 0; i < image.width * image.height; ++i) {
            const bool bright = (i % 32) / 4 % 3 == 0;
            image.pixels.insert(image.pixels.end(), {static_cast<std::uint8_t>(bright ? 250 : 20),
                                                     static_cast<std::uint8_t>(bright ? 230 : 30), 40, 255});
        }
        input_ = (dir_ / "in.png").string();
        writePngAtomically(input_, image);
    }

    // Starts solvane with these arguments; standard input and output are the given descriptors (-1: the null device).
    // The signals in `ignored` start ignored, as nohup leaves SIGHUP.
    Started start(const std::vector<std::string>& args, int in = -1, int out = -1, const std::vector<int>& ignored = {})
    {
        Started run;
        run.errors = dir_ / ("stderr-" + std::to_string(++runs_));
        const std::string program = solvanePath();
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        run.pid = fork();
        if (run.pid == 0) {
            // A test started from a background job inherits ignored interrupts; solvane starts as from a terminal.
            for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
                signal(signalNumber, SIG_DFL);
            }
            for (int signalNumber : ignored) {
                signal(signalNumber, SIG_IGN);
            }
            const int null = open("/dev/null", O_RDWR);
            const int errors = open(run.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in >= 0 ? in : null, 0);
            dup2(out >= 0 ? out : null, 1);
            dup2(errors, 2);
            std::vector<char*> pointers;
            for (std::string& arg : argv) {
                pointers.push_back(arg.data());
            }
            pointers.push_back(nullptr);
            execv(program.c_str(), pointers.data());
            _exit(127);
        }
        return run;
    }

    static Ended finish(const Started& run)
    {
        Ended ended;
        struct rusage usage {};
        wait4(run.pid, &ended.status, 0, &usage);
        ended.peakKilobytes = usage.ru_maxrss;
        ended.errors = readFile(run.errors);
        return ended;
    }

    Ended solvane(const std::vector<std::string>& args, int in = -1, int out = -1) { return finish(start(args, in, out)); }

    // Names in the test's folder that a temporary output file has.
    std::vector<std::string> temporaryFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.path().filename().string().find(".tmp") != std::string::npos) {
                names.push_back(entry.path().filename().string());
            }
        }
        return names;
    }

    // Waits (up to 20 s) until the condition holds.
    static bool appears(const std::function<bool()>& condition)
    {
        for (int i = 0; i < 2000; ++i) {
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    const ScratchFolder scratch_;
    const fs::path dir_ = scratch_.path();
    std::string input_;
    int runs_ = 0;
};

} // namespace

TEST_F(HostileInputHostTest, SpecialFilesAreWrittenAndLinksFollowedNeverReplaced)
{
    // A FIFO: its reader gets the PNG, and it stays a FIFO. The reader is open before solvane starts and the image
    // is small enough for the pipe's buffer, so that a FIFO replaced by a file leaves the reader empty, not waiting.
    const std::string fifo = path("fifo.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const Ended toFifo = solvane({"render", input_, fifo});
    std::string received;
    char buffer[4096];
    for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;) {
        received.append(buffer, static_cast<std::size_t>(n));
    }
    close(reader);
    EXPECT_TRUE(exitedWith(toFifo, 0));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_FALSE(received.empty());
    if (!received.empty()) {
        writeFile(path("direct.bin"), received);
        EXPECT_EQ(pngWidth(path("direct.bin")), 32);
    }

    // A link to a regular file: the file is replaced, keeping its permissions; the link stays a link.
    writeFile(path("target.png"), "old");
    fs::permissions(path("target.png"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("target.png", path("link.png"));
    EXPECT_TRUE(exitedWith(solvane({"render", input_, path("link.png")}), 0));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path("link.png"))));
    EXPECT_EQ(pngWidth(path("target.png")), 32);
    EXPECT_EQ(fs::status(path("target.png")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A name one character short of the system's limit still leaves room for the temporary file.
    const std::string longName = path(std::string(251, 'n') + ".png");
    EXPECT_TRUE(exitedWith(solvane({"render", input_, longName}), 0));
    EXPECT_TRUE(fs::exists(longName));

    // A character device (a private node of the full device): written to, never replaced, and a write that fails
    // gives the system's reason.
    const std::string device = path("full");
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "no device node can be made here (not root)";
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"render", input_, device}, {"render", "--raw", "4x4", path("raw"), device}}) {
        writeFile(path("raw"), std::string(4 * 4 * 4, '\x7f'));
        const Ended ended = solvane(args);
        EXPECT_TRUE(exitedWith(ended, 1));
        EXPECT_NE(ended.errors.find("No space left on device"), std::string::npos) << ended.errors;
        EXPECT_TRUE(fs::is_character_file(device));
    }
    EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(HostileInputHostTest, ASignalRemovesTheFileInFlightAndKeepsEveryCompletedOutput)
{
    // Raw video to a file: one frame arrives, the next never does; the signal finds the temporary file open.
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        const std::string out = path("out.raw");
        writeFile(out, "an earlier complete output");
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        const Started run = start({"render", "--raw", "8x8", "-", out, "--no-overlap"}, pipeEnds[0]);
        close(pipeEnds[0]);
        const std::string frame(8 * 8 * 4, '\x40');
        ASSERT_EQ(write(pipeEnds[1], frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
        if (!appears([&] { return !temporaryFiles().empty(); })) {
            kill(run.pid, SIGKILL);
            finish(run);
            FAIL() << "no temporary file appeared";
        }
        // Let the first frame be rendered and written, so that the file holds part of the video.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        kill(run.pid, signalNumber);
        const Ended ended = finish(run);
        close(pipeEnds[1]);
        EXPECT_TRUE(ended.killedBy(signalNumber)) << ended.errors;
        EXPECT_TRUE(temporaryFiles().empty());
        EXPECT_EQ(readFile(out), "an earlier complete output");
    }

    // A numbered sequence whose third input never arrives (a FIFO nobody writes): the first two outputs stay.
    fs::copy_file(input_, path("in_1.png"));
    fs::copy_file(input_, path("in_2.png"));
    ASSERT_EQ(mkfifo(path("in_3.png").c_str(), 0644), 0);
    const Started run = start({"render", path("in_%d.png"), path("out_%d.png"), "--frames", "1-3"});
    if (!appears([&] { return fs::exists(path("out_2.png")); })) {
        kill(run.pid, SIGKILL);
        finish(run);
        FAIL() << "the second frame was never written";
    }
    kill(run.pid, SIGINT);
    const Ended ended = finish(run);
    EXPECT_TRUE(ended.killedBy(SIGINT)) << ended.errors;
    EXPECT_EQ(pngWidth(path("out_1.png")), 32);
    EXPECT_EQ(pngWidth(path("out_2.png")), 32);
    EXPECT_FALSE(fs::exists(path("out_3.png")));
    EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(HostileInputHostTest, ASignalIgnoredAtTheStartStaysIgnored)
{
    // As under nohup: SIGHUP ignored by whoever started solvane. A hang-up in the middle of a video changes nothing,
    // the render goes on to the end and succeeds; SIGTERM, not ignored, still ends it by the signal.
    const std::string out = path("out.raw");
    // The writing end is closed on exec, so that solvane sees the stream end when the test closes it.
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    const Started run = start({"render", "--raw", "8x8", "-", out, "--no-overlap"}, pipeEnds[0], -1, {SIGHUP});
    close(pipeEnds[0]);
    const std::string frame(8 * 8 * 4, '\x40');
    ASSERT_EQ(write(pipeEnds[1], frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    if (!appears([&] { return !temporaryFiles().empty(); })) {
        kill(run.pid, SIGKILL);
        finish(run);
        FAIL() << "no temporary file appeared";
    }
    kill(run.pid, SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    EXPECT_EQ(waitpid(run.pid, &status, WNOHANG), 0) << "solvane ended on an ignored SIGHUP";
    ASSERT_EQ(write(pipeEnds[1], frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    close(pipeEnds[1]);
    const Ended ended = finish(run);
    EXPECT_TRUE(exitedWith(ended, 0)) << ended.errors;
    EXPECT_EQ(readFile(out).size(), 2 * frame.size());
    EXPECT_TRUE(temporaryFiles().empty());

    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    const Started terminated = start({"render", "--raw", "8x8", "-", out, "--no-overlap"}, pipeEnds[0], -1, {SIGHUP});
    close(pipeEnds[0]);
    ASSERT_EQ(write(pipeEnds[1], frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    if (!appears([&] { return !temporaryFiles().empty(); })) {
        kill(terminated.pid, SIGKILL);
        finish(terminated);
        FAIL() << "no temporary file appeared";
    }
    kill(terminated.pid, SIGTERM);
    const Ended killed = finish(terminated);
    close(pipeEnds[1]);
    EXPECT_TRUE(killed.killedBy(SIGTERM)) << killed.errors;
    EXPECT_TRUE(temporaryFiles().empty());
    EXPECT_EQ(readFile(out).size(), 2 * frame.size());
}

TEST_F(HostileInputHostTest, AClosedOrFullStandardOutputIsNeverASilentSuccessOrDeath)
{
    // A render to a file does not need standard output: a reader that went away changes nothing.
    int closedPipe[2];
    ASSERT_EQ(pipe(closedPipe), 0);
    close(closedPipe[0]);
    EXPECT_TRUE(exitedWith(solvane({"render", input_, path("out.png")}, -1, closedPipe[1]), 0));
    EXPECT_EQ(pngWidth(path("out.png")), 32);

    // The listings fail with the reason when they cannot be written.
    for (const char* command : {"params", "info", "about", "help"}) {
        SCOPED_TRACE(command);
        const Ended ended = solvane({command}, -1, closedPipe[1]);
        EXPECT_TRUE(exitedWith(ended, 1));
        EXPECT_NE(ended.errors.find("standard output: cannot write: Broken pipe"), std::string::npos);
    }
    close(closedPipe[1]);

    // Raw frames to a reader that went away: a message, not a death by signal, and no output left behind.
    writeFile(path("raw"), std::string(4 * 4 * 4 * 3, '\x7f'));
    ASSERT_EQ(pipe(closedPipe), 0);
    close(closedPipe[0]);
    const Ended raw = solvane({"render", "--raw", "4x4", path("raw"), "-"}, -1, closedPipe[1]);
    close(closedPipe[1]);
    EXPECT_TRUE(exitedWith(raw, 1));
    EXPECT_NE(raw.errors.find("standard output: cannot write: Broken pipe"), std::string::npos) << raw.errors;
}

TEST_F(HostileInputHostTest, SizesBeyondThePluginAreRefusedBeforeAnyFrameIsAllocated)
{
    const auto started = std::chrono::steady_clock::now();
    const Ended huge = solvane({"render", "--raw", "32768x32768", "/dev/null", path("out.raw")});
    EXPECT_TRUE(exitedWith(huge, 2));
    EXPECT_NE(huge.errors.find("32768x32768"), std::string::npos) << huge.errors;
    EXPECT_NE(huge.errors.find("16384"), std::string::npos) << huge.errors;
    EXPECT_TRUE(exitedWith(solvane({"render", "--raw", "65536x65536", "-", path("out.raw")}), 2));

    // The largest size allowed, on empty input: no frame is ever allocated (it would take 1 GiB).
    const Ended empty = solvane({"render", "--raw", "16384x16384", "/dev/null", path("out.raw")});
    EXPECT_TRUE(exitedWith(empty, 1));
    EXPECT_NE(empty.errors.find("no frames"), std::string::npos) << empty.errors;
    EXPECT_LT(empty.peakKilobytes, 512 * 1024);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_FALSE(fs::exists(path("out.raw")));
}

TEST_F(HostileInputHostTest, MessagesAndExitCodesSayWhatIsWrong)
{
    fs::create_directory(path("folder.png"));
    writeFile(path("empty.png"), "");
    const Ended folder = solvane({"render", path("folder.png"), path("out.png")});
    EXPECT_TRUE(exitedWith(folder, 1));
    EXPECT_NE(folder.errors.find("is a directory"), std::string::npos) << folder.errors;
    const Ended empty = solvane({"render", path("empty.png"), path("out.png")});
    EXPECT_TRUE(exitedWith(empty, 1));
    EXPECT_NE(empty.errors.find("is empty"), std::string::npos) << empty.errors;

    const Ended noLanguage = solvane({"params", "--language"});
    EXPECT_TRUE(exitedWith(noLanguage, 2));
    EXPECT_NE(noLanguage.errors.find("--language needs a value"), std::string::npos) << noLanguage.errors;
    EXPECT_TRUE(exitedWith(solvane({"params", "--language", "toolong"}), 2));
    EXPECT_TRUE(exitedWith(solvane({"about", "extra"}), 2));
    EXPECT_TRUE(exitedWith(solvane({"render", input_, path("out.png"), "--ray-only=yes"}), 2));

    // The stress program refuses what it cannot run instead of running something else.
    const std::string stress = fs::path(solvanePath()).parent_path() / "solvane_stress";
    for (const char* bad : {"--count abc", "--count -5", "--quality best", "--host-threads 100000", "--size 0x9"}) {
        std::string output;
        EXPECT_EQ(Tamrin::Solvane::Test::runCommand(stress + " frames " + bad, &output), 2) << bad << ": " << output;
    }
}

TEST_F(HostileInputHostTest, EveryOptionTakesItsValueAfterAnEqualsSignAndQuietSilencesThePlugin)
{
    EXPECT_TRUE(exitedWith(solvane({"render", input_, path("a.png"), "--center", "-40,30", "--quality", "low"}), 0));
    const Ended equals = solvane({"--quiet", "render", input_, path("b.png"), "--center=-40,30", "--quality=low"});
    EXPECT_TRUE(exitedWith(equals, 0));
    EXPECT_EQ(readFile(path("a.png")), readFile(path("b.png")));
    EXPECT_EQ(equals.errors, "");

    // The plug-in's identification lines are diagnostics: with --verbose on standard error, or nowhere when quiet.
    int output[2];
    ASSERT_EQ(pipe(output), 0);
    const Started loud = start({"render", "--verbose", input_, path("c.png")}, -1, output[1]);
    close(output[1]);
    char byte = 0;
    const ssize_t got = read(output[0], &byte, 1);
    close(output[0]);
    const Ended loudEnded = finish(loud);
    EXPECT_EQ(got, 0) << "standard output carried something";
    EXPECT_NE(loudEnded.errors.find("OpenGL"), std::string::npos);
    for (const std::vector<std::string>& quiet :
         {std::vector<std::string>{"params", "--quiet"}, {"-q", "params"}, {"about", "--quiet"}}) {
        EXPECT_EQ(solvane(quiet).errors, "") << quiet[0] << " " << quiet[1];
    }
}

#endif
