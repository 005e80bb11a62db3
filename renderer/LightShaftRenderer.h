#pragma once

#include <glbinding/gl/types.h>

#include <memory>

#include "common/Vec2.h"
#include "renderer/FullScreenQuad.h"
#include "renderer/RenderSettings.h"

namespace Tamrin {
namespace Solvane {

class OpenglShader;
class LightShaftPassChain;
struct RayGeometry;

// The effect's renderer: holds the frame's settings, works out the ray box from
// the frame size, the centre and the quality, runs the pass chain and draws the
// composite (shafts screened over the layer, or alone) into the render target's
// top layer. Owns the pass chain, the composite program, its vertex array (per
// context) and its quad buffer. render() leaves its vertex array bound, the
// composite program in use, the ray texture on unit 1 active and the attribute
// arrays disabled; the render target's top layer stays the draw target.
class LightShaftRenderer {
public:
    LightShaftRenderer();
    ~LightShaftRenderer();

    LightShaftRenderer(const LightShaftRenderer&) = delete;
    LightShaftRenderer& operator=(const LightShaftRenderer&) = delete;

    void render(gl::GLuint videoTexture, Vec2 frameSize);
    // The same with a ray box worked out elsewhere, e.g. under another bound.
    void render(gl::GLuint videoTexture, Vec2 frameSize, const RayGeometry& geometry);

    RenderSettings settings;

    const LightShaftPassChain& chain() const { return *passChain; }

private:
    // Destroyed in reverse: the pass chain, the composite program, then the quad.
    FullScreenQuad quad;
    std::unique_ptr<OpenglShader> compositeProgram;
    std::unique_ptr<LightShaftPassChain> passChain;
};

} // namespace Solvane
} // namespace Tamrin
