#include "obs/LightShaftsFilter.h"

#include <graphics/graphics.h>
#include <graphics/vec4.h>

#include <climits>
#include <cmath>
#include <exception>
#include <new>
#include <stdexcept>

#include "obs/FilterSettings.h"
#include "obs/LoadedPlugin.h"

namespace Tamrin {
namespace Solvane {
namespace Obs {

namespace {

// Codes for failures of the module itself, below every host error code.
constexpr int kNotLoaded = -1;
constexpr int kThrownByRender = -2;
constexpr int kNoMemory = -3;
constexpr int kNoReadBack = -4;

// The host's worlds measure rows in 32-bit bytes.
constexpr std::uint32_t kLargestSide = (INT32_MAX - 64) / 4;

} // namespace

LightShaftsFilter::LightShaftsFilter(obs_source_t* context) : context_(context)
{
    try {
        declaration_ = LoadedPlugin::instance().load();
        values_ = declaration_.defaults();
        loaded_ = true;
    } catch (const std::exception& e) {
        blog(LOG_ERROR, "[ostrel-solvane] '%s': the plug-in could not be loaded: %s; the filter passes frames "
                        "through unchanged",
             obs_source_get_name(context_), e.what());
        reported_.insert(kNotLoaded);
    }
}

LightShaftsFilter::~LightShaftsFilter()
{
    // destroy comes on a thread other than the graphics thread.
    obs_enter_graphics();
    releaseGraphics();
    obs_leave_graphics();
}

void LightShaftsFilter::releaseGraphics()
{
    gs_texrender_destroy(texrender_);
    gs_stagesurface_destroy(stage_);
    gs_texture_destroy(result_);
    texrender_ = nullptr;
    stage_ = nullptr;
    result_ = nullptr;
}

void LightShaftsFilter::update(obs_data_t* settings)
{
    std::vector<std::string> notes;
    const StandIn::EffectValues values = readSettings(settings, declaration_, notes);
    for (const std::string& note : notes) {
        blog(LOG_WARNING, "[ostrel-solvane] '%s': the setting %s", obs_source_get_name(context_), note.c_str());
    }
    std::lock_guard<std::mutex> lock(valuesMutex_);
    values_ = values;
}

bool LightShaftsFilter::resize(std::uint32_t width, std::uint32_t height)
{
    if (width == width_ && height == height_ && stage_ && result_ && input_ && output_) {
        return true;
    }
    // The target changed size (OBS gives no notice): everything of the old size goes.
    gs_stagesurface_destroy(stage_);
    gs_texture_destroy(result_);
    stage_ = nullptr;
    result_ = nullptr;
    input_.reset();
    output_.reset();
    resultRgba_.clear();
    width_ = width;
    height_ = height;
    stage_ = gs_stagesurface_create(width, height, GS_RGBA);
    result_ = gs_texture_create(width, height, GS_RGBA, 1, nullptr, GS_DYNAMIC);
    if (!stage_ || !result_) {
        return false;
    }
    input_ = std::make_unique<StandIn::HostWorld>(static_cast<int>(width), static_cast<int>(height));
    output_ = std::make_unique<StandIn::HostWorld>(static_cast<int>(width), static_cast<int>(height));
    resultRgba_.resize(static_cast<std::size_t>(width) * height * 4);
    return true;
}

// Draws the target, with the filters before this one, into the texrender, and reads it
// back into the input world in the host's order.
bool LightShaftsFilter::readTarget(std::uint32_t width, std::uint32_t height)
{
    gs_texrender_reset(texrender_);
    if (!gs_texrender_begin(texrender_, width, height)) {
        return false;
    }
    vec4 clear;
    vec4_zero(&clear);
    gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
    gs_ortho(0.0f, static_cast<float>(width), 0.0f, static_cast<float>(height), -100.0f, 100.0f);
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
    obs_source_skip_video_filter(context_);
    gs_blend_state_pop();
    gs_texrender_end(texrender_);

    gs_stage_texture(stage_, gs_texrender_get_texture(texrender_));
    std::uint8_t* data = nullptr;
    std::uint32_t linesize = 0;
    if (!gs_stagesurface_map(stage_, &data, &linesize)) {
        return false;
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* from = data + static_cast<std::size_t>(y) * linesize;
        std::uint8_t* to = input_->row(static_cast<int>(y));
        for (std::uint32_t x = 0; x < width; ++x, from += 4, to += 4) {
            to[0] = from[3];
            to[1] = from[0];
            to[2] = from[1];
            to[3] = from[2];
        }
    }
    gs_stagesurface_unmap(stage_);
    return true;
}

void LightShaftsFilter::drawTexture(gs_texture_t* texture, std::uint32_t width, std::uint32_t height)
{
    gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
    gs_eparam_t* image = gs_effect_get_param_by_name(effect, "image");
    // The bytes are drawn as they are, as the target drew them into the texrender.
    const bool srgb = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(false);
    gs_effect_set_texture(image, texture);
    while (gs_effect_loop(effect, "Draw")) {
        gs_draw_sprite(texture, 0, width, height);
    }
    gs_enable_framebuffer_srgb(srgb);
}

void LightShaftsFilter::passThrough(std::uint32_t width, std::uint32_t height, bool targetRead,
                                    const std::string& reason, int code)
{
    if (reported_.insert(code).second) {
        blog(LOG_WARNING,
             "[ostrel-solvane] '%s': the plug-in did not render a %ux%u frame: %s; such frames pass through "
             "unchanged",
             obs_source_get_name(context_), width, height, reason.c_str());
    }
    if (targetRead) {
        drawTexture(gs_texrender_get_texture(texrender_), width, height);
    } else {
        obs_source_skip_video_filter(context_);
    }
}

void LightShaftsFilter::render()
{
    obs_source_t* target = obs_filter_get_target(context_);
    obs_source_t* parent = obs_filter_get_parent(context_);
    const std::uint32_t width = target ? obs_source_get_base_width(target) : 0;
    const std::uint32_t height = target ? obs_source_get_base_height(target) : 0;
    if (!target || !parent || width == 0 || height == 0) {
        obs_source_skip_video_filter(context_);
        return;
    }
    if (!loaded_) {
        obs_source_skip_video_filter(context_);
        return;
    }
    if (width > kLargestSide || height > kLargestSide) {
        passThrough(width, height, false, "the frame is larger than the host's worlds can hold", kNoMemory);
        return;
    }
    StandIn::EffectValues values;
    {
        std::lock_guard<std::mutex> lock(valuesMutex_);
        values = values_;
    }

    bool targetRead = false;
    try {
        if (!texrender_) {
            texrender_ = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
        }
        if (!texrender_ || !resize(width, height)) {
            passThrough(width, height, false, "OBS made no texture of that size", kNoReadBack);
            return;
        }
        targetRead = readTarget(width, height);
        if (!targetRead) {
            passThrough(width, height, false, "the source's pixels could not be read back", kNoReadBack);
            return;
        }
        std::string report;
        const PF_Err error = LoadedPlugin::instance().render(values, *input_, *output_, report);
        if (error != PF_Err_NONE) {
            passThrough(width, height, true,
                        StandIn::renderFailureCause(error, static_cast<int>(width), static_cast<int>(height), report),
                        error);
            return;
        }
        output_->copyToRgba(resultRgba_.data());
    } catch (const std::bad_alloc&) {
        passThrough(width, height, targetRead, "there was no memory for the render", kNoMemory);
        return;
    } catch (const std::exception& e) {
        passThrough(width, height, targetRead, e.what(), kThrownByRender);
        return;
    } catch (...) {
        passThrough(width, height, targetRead, "the render failed", kThrownByRender);
        return;
    }
    gs_texture_set_image(result_, resultRgba_.data(), width * 4, false);
    drawTexture(result_, width, height);
}

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
