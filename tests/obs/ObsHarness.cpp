#include "ObsHarness.h"

#include <X11/Xlib.h>
#include <obs-module.h>
#include <obs-nix-platform.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace Test {

namespace {

void loadModule(const char* binary, const char* data)
{
    obs_module_t* module = nullptr;
    const int result = obs_open_module(&module, binary, data);
    if (result != MODULE_SUCCESS || !obs_init_module(module)) {
        throw std::runtime_error(std::string("OBS could not load the module ") + binary + " (" +
                                 std::to_string(result) + ")");
    }
}

} // namespace

ObsRuntime::ObsRuntime(std::uint32_t width, std::uint32_t height, std::uint32_t fps)
    : width_(width), height_(height)
{
    base_set_log_handler(&ObsRuntime::onLog, this);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        throw std::runtime_error("no X display (run under xvfb-run -a)");
    }
    display_ = display;
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(display);
    if (!obs_startup("en-US", nullptr, nullptr)) {
        throw std::runtime_error("obs_startup failed");
    }
    obs_video_info video = {};
    video.graphics_module = "libobs-opengl";
    video.fps_num = fps;
    video.fps_den = 1;
    video.base_width = width;
    video.base_height = height;
    video.output_width = width;
    video.output_height = height;
    // OBS 29's raw frames of VIDEO_FORMAT_RGBA come out empty here; BGRA is its canvas's own order.
    video.output_format = VIDEO_FORMAT_BGRA;
    video.gpu_conversion = false;
    video.colorspace = VIDEO_CS_SRGB;
    video.range = VIDEO_RANGE_FULL;
    video.scale_type = OBS_SCALE_POINT;
    const int reset = obs_reset_video(&video);
    if (reset != OBS_VIDEO_SUCCESS) {
        throw std::runtime_error("obs_reset_video failed (" + std::to_string(reset) + ")");
    }
    loadModule(SOLVANE_OBS_IMAGE_SOURCE, SOLVANE_OBS_IMAGE_SOURCE_DATA);
    loadModule(SOLVANE_OBS_MODULE, SOLVANE_OBS_MODULE_DATA);
    obs_post_load_modules();
    obs_add_raw_video_callback(nullptr, &ObsRuntime::onFrame, this);
}

ObsRuntime::~ObsRuntime()
{
    obs_remove_raw_video_callback(&ObsRuntime::onFrame, this);
    obs_set_output_source(0, nullptr);
    obs_shutdown();
    XCloseDisplay(static_cast<Display*>(display_));
    base_set_log_handler(nullptr, nullptr);
}

void ObsRuntime::onFrame(void* param, video_data* frame)
{
    auto* self = static_cast<ObsRuntime*>(param);
    std::lock_guard<std::mutex> lock(self->mutex_);
    ObsFrame& latest = self->latest_;
    latest.width = static_cast<int>(self->width_);
    latest.height = static_cast<int>(self->height_);
    const std::size_t row = static_cast<std::size_t>(self->width_) * 4;
    latest.rgba.resize(row * self->height_);
    for (std::uint32_t y = 0; y < self->height_; ++y) {
        const std::uint8_t* from = frame->data[0] + static_cast<std::size_t>(frame->linesize[0]) * y;
        std::uint8_t* to = latest.rgba.data() + row * y;
        for (std::uint32_t x = 0; x < self->width_; ++x, from += 4, to += 4) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
            to[3] = from[3];
        }
    }
    ++self->frames_;
    self->frameArrived_.notify_all();
}

void ObsRuntime::onLog(int level, const char* format, va_list args, void* param)
{
    char line[4096];
    std::vsnprintf(line, sizeof line, format, args);
    if (level <= LOG_WARNING || std::getenv("SOLVANE_OBS_LOG")) {
        std::fprintf(stderr, "obs: %s\n", line);
    }
    auto* self = static_cast<ObsRuntime*>(param);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->log_.emplace_back(line);
}

ObsFrame ObsRuntime::frameAfter(int skip, double seconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t wanted = frames_ + static_cast<std::uint64_t>(skip);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    if (!frameArrived_.wait_until(lock, deadline, [&] { return frames_ >= wanted; })) {
        throw std::runtime_error("OBS gave no output frame in " + std::to_string(seconds) + " s");
    }
    return latest_;
}

std::vector<std::string> ObsRuntime::log() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

int ObsRuntime::logCount(const std::string& text) const
{
    int count = 0;
    for (const std::string& line : log()) {
        count += line.find(text) != std::string::npos ? 1 : 0;
    }
    return count;
}

double ObsRuntime::averageFrameTimeMs() { return static_cast<double>(obs_get_average_frame_time_ns()) / 1.0e6; }

obs_source_t* showImage(const std::string& path)
{
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "file", path.c_str());
    obs_source_t* source = obs_source_create("image_source", "Picture", settings, nullptr);
    obs_data_release(settings);
    if (!source) {
        throw std::runtime_error("OBS made no image source");
    }
    obs_set_output_source(0, source);
    return source;
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
