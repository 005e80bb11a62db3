// The OBS filter's cost per frame in libobs: a picture of 1280 × 720 and one of
// 1920 × 1080 on a 1080p canvas, the filter off and on at each quality. A filter of
// the bench's own, outside the chain, times each frame of the chain on OBS's graphics
// thread (the source alone, or the source and ours); OBS's own average frame time is
// printed beside it. Prints figures; not a test. Run under xvfb-run -a.
#include <obs-module.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <unistd.h>
#include <string>
#include <vector>

#include "ObsHarness.h"
#include "cli/PngImage.h"

using namespace Tamrin::Solvane;

namespace {

std::mutex timesMutex;
std::vector<double> times;

void registerTimer()
{
    obs_source_info info = {};
    info.id = "solvane_bench_timer";
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO;
    info.get_name = [](void*) { return "Timer"; };
    info.create = [](obs_data_t*, obs_source_t* context) -> void* { return context; };
    info.destroy = [](void*) {};
    info.video_render = [](void* data, gs_effect_t*) {
        const auto start = std::chrono::steady_clock::now();
        obs_source_skip_video_filter(static_cast<obs_source_t*>(data));
        // The chain's commands finish before the time is taken (the filter itself waits for
        // its read-back; the source alone would otherwise look free).
        gs_flush();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::lock_guard<std::mutex> lock(timesMutex);
        times.push_back(ms);
    };
    obs_register_source(&info);
}

Cli::RgbaImage picture(int width, int height)
{
    Cli::RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(y) * width + x) * 4];
            const bool bright = ((x / 40) + (y / 40)) % 7 == 0;
            p[0] = bright ? 250 : static_cast<std::uint8_t>(x * 60 / width);
            p[1] = bright ? 240 : static_cast<std::uint8_t>(y * 60 / height);
            p[2] = bright ? 200 : 30;
            p[3] = 255;
        }
    }
    return image;
}

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(3, std::atoi(argv[1])) : 12;
    const auto folder = std::filesystem::temp_directory_path() / ("solvane-obs-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    try {
        Test::ObsRuntime obs(1920, 1080, 30);
        registerTimer();
        std::printf("OBS filter cost per frame: median of %d renders of the chain, and OBS's average frame time\n", frames);
        std::printf("%-12s %-10s %12s %12s\n", "source", "filter", "chain ms", "obs ms");
        for (const auto& [width, height] : {std::pair<int, int>{1280, 720}, {1920, 1080}}) {
            const std::string path = (folder / (std::to_string(height) + ".png")).string();
            Cli::writePngAtomically(path, picture(width, height));
            obs_source_t* source = Test::showImage(path);
            obs_source_t* filter = obs_source_create_private("ostrel_solvane_light_shafts", "Shafts", nullptr);
            obs_source_filter_add(source, filter);
            obs_source_t* timer = obs_source_create_private("solvane_bench_timer", "Timer", nullptr);
            obs_source_filter_add(source, timer);
            const char* const names[] = {"off", "High", "Medium", "Low"};
            for (int quality = 0; quality <= 3; ++quality) {
                obs_source_set_enabled(filter, quality != 0);
                if (quality != 0) {
                    obs_data_t* settings = obs_data_create();
                    obs_data_set_int(settings, "quality", quality);
                    obs_source_update(filter, settings);
                    obs_data_release(settings);
                }
                obs.frameAfter(4, 600.0);
                {
                    std::lock_guard<std::mutex> lock(timesMutex);
                    times.clear();
                }
                // OBS repeats output frames while rendering lags: count the chain's own renders.
                std::vector<double> taken;
                while (static_cast<int>(taken.size()) < frames) {
                    obs.frameAfter(1, 600.0);
                    std::lock_guard<std::mutex> lock(timesMutex);
                    taken = times;
                }
                std::printf("%4dx%-7d %-10s %12.1f %12.1f\n", width, height, names[quality], median(taken),
                            Test::ObsRuntime::averageFrameTimeMs());
                std::fflush(stdout);
            }
            obs_set_output_source(0, nullptr);
            obs_source_filter_remove(source, timer);
            obs_source_filter_remove(source, filter);
            obs_source_release(timer);
            obs_source_release(filter);
            obs_source_release(source);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "solvane_obs_bench: %s\n", e.what());
        std::filesystem::remove_all(folder);
        return 1;
    }
    std::filesystem::remove_all(folder);
    return 0;
}
