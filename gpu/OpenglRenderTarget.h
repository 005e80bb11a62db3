#pragma once

#include <glbinding/gl/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "common/Vec2.h"
#include "gpu/PerContextName.h"

namespace Tamrin {
namespace Solvane {

// The pass that finishFrame draws the frame's texture through into the output
// renderbuffer. The render target sits below the effect's passes, so it is given a
// function that makes one for a mode (the renderer's channel-order pass); without
// one, finishFrame draws nothing.
class ConversionPass {
public:
    virtual ~ConversionPass() = default;
    virtual void draw(gl::GLuint texture, float multiplier) = 0;
};
using ConversionPassMaker = std::unique_ptr<ConversionPass> (*)(bool multisampled);

// The one process-wide owner of a frame's offscreen surfaces: the framebuffers
// and the frame-sized RGBA32F output renderbuffer (kept across frames of one
// size), the stack of colour layers the renderer draws into, and the final
// channel-order pass into the output renderbuffer. Also makes the float
// textures and render-to-texture framebuffers of the pass chain.
// Framebuffer objects are kept per context; renderbuffers and textures are shared.
// Changes the framebuffer and renderbuffer bindings, the viewport, the clear
// colour, blending and multisampling; finishFrame leaves its framebuffer bound.
// Kept on purpose (docs/architecture.md): the layer stack, multisampling and the depth and stencil buffers, which no
// frame of this effect uses, are the render target's full interface.
class OpenglRenderTarget {
public:
    static OpenglRenderTarget& instance();

    void resize(int width, int height, bool multisampled);
    void bind(bool withDepth, bool withStencil);
    void finishFrame(float multiplier);
    // The maker of the conversion pass; every resize makes a new pass with it.
    void setConversionPassMaker(ConversionPassMaker maker) { conversionPassMaker = maker; }

    gl::GLuint createTexture(const Vec2& size, bool linear, bool mipmapped);
    void renderToTexture(gl::GLuint texture, const Vec2& size, int level);
    void endRenderToTexture();

    gl::GLuint popToTexture();
    void pushLayer(bool withDepth, bool withStencil);
    void destroyBuffers();
    void release();

    int frameWidth() const { return width; }
    int frameHeight() const { return height; }
    bool isMultisampled() const { return multisampled; }
    std::size_t layerCount() const { return layers.size(); }
    gl::GLuint outputRenderbufferName() const { return outputRenderbuffer; }
    // Names in the current context (0 where it has none).
    gl::GLuint framebufferName() const { return framebuffer.get(); }
    gl::GLuint multisampleFramebufferName() const { return multisampleFramebuffer.get(); }
    gl::GLuint resolveFramebufferName() const { return resolveFramebuffer.get(); }

    OpenglRenderTarget(const OpenglRenderTarget&) = delete;
    OpenglRenderTarget& operator=(const OpenglRenderTarget&) = delete;

private:
    OpenglRenderTarget();
    ~OpenglRenderTarget();

    // Generates the mode's framebuffers in the current context.
    void makeFramebuffers();
    // The framebuffer that carries the layers in the current mode and context.
    gl::GLuint layerFramebuffer() const;

    PerContextName resolveFramebuffer{PerContextName::Kind::Framebuffer};
    PerContextName framebuffer{PerContextName::Kind::Framebuffer};
    PerContextName multisampleFramebuffer{PerContextName::Kind::Framebuffer};
    gl::GLuint outputRenderbuffer = 0;
    bool multisampled = true;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<gl::GLuint> layers;
    std::map<gl::GLuint, gl::GLuint> depthBuffers;
    std::map<gl::GLuint, gl::GLuint> stencilBuffers;
    ConversionPassMaker conversionPassMaker = nullptr;
    std::unique_ptr<ConversionPass> conversionPass;
};

} // namespace Solvane
} // namespace Tamrin
