#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The progress of a sequence or a pipe on one line of a terminal: the frame just
// done, how many of how many, frames per second and the time left. Rewritten in
// place a few times a second; says nothing when it is off.
class ProgressLine {
public:
    // On only when `enabled`; `stream` is where it writes (standard error).
    ProgressLine(bool enabled, std::FILE* stream);
    ~ProgressLine();

    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // One more frame done: `frameNumber` is its number, `done` how many are done now,
    // `total` how many there will be (0 when unknown, as in a pipe).
    void frameDone(long frameNumber, long done, long total);
    // Ends the line, keeping the last figures on it.
    void finish();

    // The text of the line for these figures.
    static std::string format(long frameNumber, long done, long total, double seconds);

    // Whether standard error is a terminal, where a line rewritten in place makes sense.
    static bool stderrIsTerminal();

private:
    void show(const char* end);

    using Clock = std::chrono::steady_clock;
    bool enabled_;
    std::FILE* stream_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastShown_{};
    std::string last_;
    std::size_t width_ = 0;
    bool shown_ = false;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
