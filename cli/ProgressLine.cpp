#include "cli/ProgressLine.h"

#include <algorithm>
#include <cmath>

#include "cli/System.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

ProgressLine::ProgressLine(bool enabled, std::FILE* stream) : enabled_(enabled), stream_(stream) {}

ProgressLine::~ProgressLine() { finish(); }

bool ProgressLine::stderrIsTerminal() { return System::stderrIsTerminal(); }

std::string ProgressLine::format(long frameNumber, long done, long total, double seconds)
{
    char text[160];
    const double fps = seconds > 0.0 ? done / seconds : 0.0;
    if (total > 0) {
        std::string left = "--:--";
        if (fps > 0.0) {
            const long remaining = std::lround((total - done) / fps);
            char clock[32];
            if (remaining >= 3600) {
                std::snprintf(clock, sizeof clock, "%ld:%02ld:%02ld", remaining / 3600, remaining / 60 % 60,
                              remaining % 60);
            } else {
                std::snprintf(clock, sizeof clock, "%ld:%02ld", remaining / 60, remaining % 60);
            }
            left = clock;
        }
        std::snprintf(text, sizeof text, "frame %ld (%ld/%ld, %.0f%%)  %.2f fps  %s left", frameNumber, done, total,
                      100.0 * done / total, fps, left.c_str());
    } else {
        std::snprintf(text, sizeof text, "frame %ld (%ld done)  %.2f fps", frameNumber, done, fps);
    }
    return text;
}

void ProgressLine::frameDone(long frameNumber, long done, long total)
{
    if (!enabled_) {
        return;
    }
    const Clock::time_point now = Clock::now();
    last_ = format(frameNumber, done, total, std::chrono::duration<double>(now - start_).count());
    const bool last = total > 0 && done >= total;
    if (!last && shown_ && now - lastShown_ < std::chrono::milliseconds(250)) {
        return;
    }
    show("");
    lastShown_ = now;
    shown_ = true;
}

void ProgressLine::show(const char* end)
{
    // Blanks over what a longer line left behind; plain characters, which every console shows as they are.
    const std::size_t blanks = width_ > last_.size() ? width_ - last_.size() : 0;
    std::fprintf(stream_, "\r%s%*s%s", last_.c_str(), static_cast<int>(blanks), "", end);
    std::fflush(stream_);
    width_ = std::max(width_, last_.size());
}

void ProgressLine::finish()
{
    if (!enabled_ || !shown_) {
        return;
    }
    show("\n");
    shown_ = false;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
