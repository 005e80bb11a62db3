#pragma once

#include <glbinding/gl/types.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "common/Vec2.h"
#include "common/TexelRect.h"
#include "common/Vec2i.h"
#include "renderer/FullScreenQuad.h"

namespace Tamrin {
namespace Solvane {

class OpenglShader;

// First half of the light shafts: a prefilter pass keeps the bright parts of the
// frame inside the (downscaled) ray box, and accumulation passes sum them along
// the rays towards the centre by recursive doubling, ping-ponging between two
// RGBA32F textures. Owns both programs, its vertex array (per context), its quad
// buffer and the texture pair. run() draws through the render target's
// render-to-texture framebuffers, which leave its top layer and viewport bound
// again; it changes the program, the texture bound on unit 0 and the vertex
// attribute arrays, and leaves no vertex array or array buffer bound.
class LightShaftPassChain {
public:
    LightShaftPassChain();
    ~LightShaftPassChain();

    LightShaftPassChain(const LightShaftPassChain&) = delete;
    LightShaftPassChain& operator=(const LightShaftPassChain&) = delete;

    // `drawRects`: where the passes draw (the geometry's), the rest of the textures
    // left as cleared; empty: everywhere.
    void run(gl::GLuint sourceTexture, Vec2 frameSize, Vec2 boxSize, Vec2 offset, Vec2 center, double reachPixels,
             Vec2 thresholds, std::int32_t qualityFactor, const std::vector<TexelRect>& drawRects = {});

    // The texture written by the last pass of the last run.
    gl::GLuint result() const;

    std::int32_t lastFactor() const { return factor; }
    std::int32_t lastMaxLevel() const { return maxLevel; }
    Vec2i lastTextureSize() const { return textureSize; }
    double lastReach() const { return reach; }
    gl::GLuint texture(int index) const { return textures[index]; }

private:
    FullScreenQuad quad;
    std::unique_ptr<OpenglShader> prefilterProgram;
    std::unique_ptr<OpenglShader> accumulateProgram;
    std::int32_t factor = 1;
    std::int32_t maxLevel = 4;
    Vec2i textureSize;
    double reach = 0.0;
    gl::GLuint textures[2] = {0, 0};
    std::int32_t current = 0;
};

} // namespace Solvane
} // namespace Tamrin
