#pragma once

#include <obs-module.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "standin/HostWorld.h"
#include "standin/EffectValues.h"

namespace Tamrin {
namespace Solvane {
namespace Obs {

// One "Light Shafts" filter on an OBS source. Each frame, on OBS's graphics thread,
// it draws its target into a texrender, reads the pixels back through a stage
// surface into the host's input world, has the LoadedPlugin render them, uploads the
// output world into a texture of its own and draws that. It owns the texrender, the
// stage surface and the texture (OBS graphics objects, made on the graphics thread
// and freed inside obs_enter_graphics) and the two host worlds, all re-made when the
// target's size changes. OBS's own OpenGL state is left alone: the plug-in renders
// on its own thread, and the drawing here goes through OBS's graphics calls only.
// A frame the plug-in does not render is drawn as the target drew it, and each
// reason is said once in OBS's log.
class LightShaftsFilter {
public:
    explicit LightShaftsFilter(obs_source_t* context);
    ~LightShaftsFilter();

    LightShaftsFilter(const LightShaftsFilter&) = delete;
    LightShaftsFilter& operator=(const LightShaftsFilter&) = delete;

    // New values from the filter's settings (UI thread).
    void update(obs_data_t* settings);
    // One frame (graphics thread).
    void render();

private:
    bool resize(std::uint32_t width, std::uint32_t height);
    bool readTarget(std::uint32_t width, std::uint32_t height);
    void drawTexture(gs_texture_t* texture, std::uint32_t width, std::uint32_t height);
    void passThrough(std::uint32_t width, std::uint32_t height, bool targetRead, const std::string& reason, int code);
    void releaseGraphics();

    obs_source_t* context_;
    bool loaded_ = false;
    std::mutex valuesMutex_;
    StandIn::EffectDeclaration declaration_;
    StandIn::EffectValues values_;

    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    gs_texrender_t* texrender_ = nullptr;
    gs_stagesurf_t* stage_ = nullptr;
    gs_texture_t* result_ = nullptr;
    std::unique_ptr<StandIn::HostWorld> input_;
    std::unique_ptr<StandIn::HostWorld> output_;
    std::vector<std::uint8_t> resultRgba_;
    std::set<int> reported_;
};

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
