#pragma once

#include <glbinding/gl/types.h>

#include <memory>

#include "gpu/OpenglRenderTarget.h"
#include "gpu/OpenglShader.h"
#include "renderer/FullScreenQuad.h"

namespace Tamrin {
namespace Solvane {

// Draws a texture over the whole bound framebuffer through a swizzle program:
// ".argb" turns a frame rendered as red, green, blue, alpha back into the host's
// byte order; ".bgar" is the other variant. Owns its vertex array (per context),
// its quad buffer and its program.
class ChannelOrderPass : public ConversionPass {
public:
    explicit ChannelOrderPass(bool bgarOrder);
    ~ChannelOrderPass() override;

    ChannelOrderPass(const ChannelOrderPass&) = delete;
    ChannelOrderPass& operator=(const ChannelOrderPass&) = delete;

    void draw(gl::GLuint texture, float multiplier) override;

private:
    std::unique_ptr<OpenglShader> swizzleProgram;
    FullScreenQuad quad; // after the program: deleted before it

};

// The render target's conversion pass: ".bgar" when multisampled, ".argb" otherwise.
std::unique_ptr<ConversionPass> makeChannelOrderPass(bool multisampled);

} // namespace Solvane
} // namespace Tamrin
