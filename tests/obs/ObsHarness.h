#pragma once

#include <obs.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Test {

// A frame of OBS's output: straight RGBA rows, top first.
struct ObsFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// libobs in this process, as OBS itself runs it but without its window: X11 EGL on the
// display in $DISPLAY (libobs has no headless platform), OpenGL through libobs-opengl,
// a BGRA output (handed on as RGBA) of a fixed size whose frames arrive through a raw video callback, the
// image source module and the module under test loaded. One per process: libobs
// starts once. Keeps OBS's log lines for the tests to read.
class ObsRuntime {
public:
    ObsRuntime(std::uint32_t width, std::uint32_t height, std::uint32_t fps);
    ~ObsRuntime();

    ObsRuntime(const ObsRuntime&) = delete;
    ObsRuntime& operator=(const ObsRuntime&) = delete;

    // The frame after `skip` new frames have arrived (OBS's pipeline holds a few frames,
    // so a change shows a few frames later). Throws std::runtime_error after `seconds`.
    ObsFrame frameAfter(int skip, double seconds = 120.0);

    // OBS's log lines since the start, and how many contain `text`.
    std::vector<std::string> log() const;
    int logCount(const std::string& text) const;

    // Averages of OBS's own frame render time, in milliseconds.
    static double averageFrameTimeMs();

private:
    static void onFrame(void* param, video_data* frame);
    static void onLog(int level, const char* format, va_list args, void* param);

    std::uint32_t width_;
    std::uint32_t height_;
    void* display_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable frameArrived_;
    ObsFrame latest_;
    std::uint64_t frames_ = 0;
    std::vector<std::string> log_;
};

// An image source of OBS's image_source module showing a file, on output channel 0.
obs_source_t* showImage(const std::string& path);

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
