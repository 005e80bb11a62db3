#include "gpu/OpenglRenderTarget.h"

#include <glbinding/gl/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>


using namespace gl;

namespace Tamrin {
namespace Solvane {

namespace {

constexpr GLsizei kLayerSamples = 8;

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};
using ClientBuffer = std::unique_ptr<void, FreeDeleter>;

// Defines level 0 of the texture bound to GL_TEXTURE_2D with all bytes zero.
// calloc hands large blocks over as fresh zero pages, so nothing is filled by hand.
// Without memory for the whole image the level is defined without data and
// cleared one row at a time, so the texture never holds stale contents.
void defineZeroedLevel(GLenum internalFormat, GLsizei width, GLsizei height)
{
    const bool empty = width <= 0 || height <= 0;
    const std::size_t rowBytes = empty ? 0 : static_cast<std::size_t>(width) * 4;
    ClientBuffer zeros(empty ? nullptr : std::calloc(rowBytes * static_cast<std::size_t>(height), 1));
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 zeros.get());
    if (zeros || empty) {
        return;
    }
    ClientBuffer row(std::calloc(rowBytes, 1));
    if (!row) {
        return;
    }
    for (GLint y = 0; y < height; ++y) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, y, width, 1, GL_RGBA, GL_UNSIGNED_BYTE, row.get());
    }
}

void setTextureParameter(GLenum parameter, GLenum value)
{
    glTexParameteri(GL_TEXTURE_2D, parameter, static_cast<GLint>(value));
}

} // namespace

OpenglRenderTarget& OpenglRenderTarget::instance()
{
    // Made once, thread-safely, and never destroyed: its OpenGL objects are let go
    // of by release() while a context is current, never at process exit.
    static OpenglRenderTarget* const target = new OpenglRenderTarget();
    return *target;
}

OpenglRenderTarget::OpenglRenderTarget() = default;

OpenglRenderTarget::~OpenglRenderTarget() = default;

void OpenglRenderTarget::makeFramebuffers()
{
    GLuint name = 0;
    glGenFramebuffers(1, &name);
    framebuffer.set(name);
    if (multisampled) {
        glGenFramebuffers(1, &name);
        resolveFramebuffer.set(name);
        glGenFramebuffers(1, &name);
        multisampleFramebuffer.set(name);
    }
}

GLuint OpenglRenderTarget::layerFramebuffer() const
{
    return multisampled ? multisampleFramebuffer.get() : framebuffer.get();
}

void OpenglRenderTarget::resize(int newWidth, int newHeight, bool newMultisampled)
{
    // Names a context let go of while another one was current are deleted now
    // that it is current again.
    PerContextName::flushPendingDeletes();

    conversionPass.reset();
    if (conversionPassMaker != nullptr) {
        conversionPass = conversionPassMaker(newMultisampled);
    }

    if (newWidth == width && newHeight == height) {
        // Framebuffers live in one context only: a frame of the same size rendered
        // in a context that has none yet gets its own, for the stored mode.
        if (outputRenderbuffer != 0 && framebuffer.get() == 0) {
            makeFramebuffers();
        }
        return;
    }

    destroyBuffers();
    width = newWidth;
    height = newHeight;
    multisampled = newMultisampled;
    makeFramebuffers();

    glGenRenderbuffers(1, &outputRenderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, outputRenderbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA32F, width, height);
}

void OpenglRenderTarget::bind(bool withDepth, bool withStencil)
{
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glDisable(GL_BLEND);
    if (multisampled) {
        glEnable(GL_MULTISAMPLE);
    }
    pushLayer(withDepth, withStencil);
    glViewport(0, 0, width, height);
}

void OpenglRenderTarget::pushLayer(bool withDepth, bool withStencil)
{
    // OpenGL refuses more samples than the driver offers (llvmpipe has 4) and the
    // layer would be left without storage, so ask for at most that many.
    GLsizei samples = 0;
    if (multisampled) {
        GLint maxSamples = 0;
        glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
        samples = std::min(kLayerSamples, static_cast<GLsizei>(maxSamples));
    }
    const auto allocate = [this, samples](GLenum format) {
        if (multisampled) {
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, width, height);
        } else {
            glRenderbufferStorage(GL_RENDERBUFFER, format, width, height);
        }
    };

    GLuint colour = 0;
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    allocate(GL_RGBA);
    glBindFramebuffer(GL_FRAMEBUFFER, layerFramebuffer());
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);

    if (withStencil) {
        GLuint stencil = 0;
        glGenRenderbuffers(1, &stencil);
        glBindRenderbuffer(GL_RENDERBUFFER, stencil);
        allocate(GL_STENCIL_INDEX8);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, stencil);
        stencilBuffers.emplace(colour, stencil);
    }
    if (withDepth) {
        GLuint depth = 0;
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        allocate(GL_DEPTH_COMPONENT24);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        depthBuffers.emplace(colour, depth);
    }

    if (multisampled && glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        std::printf("framebuffer incomplete:%d", static_cast<int>(multisampleFramebuffer.get()));
    }

    layers.push_back(colour);

    ClearBufferMask mask = GL_COLOR_BUFFER_BIT;
    if (withDepth) {
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (withStencil) {
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(mask);
}

GLuint OpenglRenderTarget::popToTexture()
{
    if (layers.empty()) {
        return 0;
    }

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    setTextureParameter(GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    setTextureParameter(GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    setTextureParameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    setTextureParameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    defineZeroedLevel(GL_RGBA, width, height);
    glBindTexture(GL_TEXTURE_2D, 0);

    if (multisampled) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, multisampleFramebuffer.get());
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer.get());
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    } else {
        glBindTexture(GL_TEXTURE_2D, texture);
        glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 0, 0, width, height, 0);
    }

    const GLuint top = layers.back();
    glDeleteRenderbuffers(1, &top);
    layers.pop_back();
    for (auto* attached : {&stencilBuffers, &depthBuffers}) {
        const auto found = attached->find(top);
        if (found != attached->end()) {
            glDeleteRenderbuffers(1, &found->second);
            attached->erase(found);
        }
    }

    if (!layers.empty()) {
        glBindRenderbuffer(GL_RENDERBUFFER, layers.back());
        glBindFramebuffer(GL_FRAMEBUFFER, layerFramebuffer());
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, layers.back());
    }
    return texture;
}

void OpenglRenderTarget::finishFrame(float multiplier)
{
    const GLuint texture = popToTexture();
    if (texture == 0) {
        return;
    }

    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.get());
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, outputRenderbuffer);
    glDisable(GL_BLEND);
    glDisable(GL_MULTISAMPLE);
    glClear(GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT);
    if (conversionPass) {
        conversionPass->draw(texture, multiplier);
    }
    glDeleteTextures(1, &texture);
}

GLuint OpenglRenderTarget::createTexture(const Vec2& size, bool linear, bool mipmapped)
{
    GLenum minFilter = GL_NEAREST;
    if (linear) {
        minFilter = mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;
    } else if (mipmapped) {
        minFilter = GL_LINEAR_MIPMAP_NEAREST;
    }
    // Magnification takes only GL_NEAREST or GL_LINEAR: the within-level part of
    // the minification filter, which is linear in every case but the plain nearest one.
    const GLenum magFilter = (linear || mipmapped) ? GL_LINEAR : GL_NEAREST;

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    setTextureParameter(GL_TEXTURE_MAG_FILTER, magFilter);
    setTextureParameter(GL_TEXTURE_MIN_FILTER, minFilter);
    setTextureParameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    setTextureParameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    defineZeroedLevel(GL_RGBA32F, static_cast<GLsizei>(size.x), static_cast<GLsizei>(size.y));
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

void OpenglRenderTarget::renderToTexture(GLuint texture, const Vec2& size, int level)
{
    GLuint target = 0;
    glGenFramebuffers(1, &target);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, target);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, level);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(0, 0, static_cast<GLsizei>(size.x), static_cast<GLsizei>(size.y));
}

void OpenglRenderTarget::endRenderToTexture()
{
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const GLuint passFramebuffer = static_cast<GLuint>(bound);
    glDeleteFramebuffers(1, &passFramebuffer);

    if (!layers.empty()) {
        glBindRenderbuffer(GL_RENDERBUFFER, layers.back());
        glBindFramebuffer(GL_FRAMEBUFFER, layerFramebuffer());
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, layers.back());
        const GLenum drawBuffer = GL_COLOR_ATTACHMENT0;
        glDrawBuffers(1, &drawBuffer);
        glViewport(0, 0, width, height);
    }
}

void OpenglRenderTarget::destroyBuffers()
{
    // Framebuffers of the current context go now; those of other contexts are
    // queued until their context is current again.
    resolveFramebuffer.release();
    framebuffer.release();
    multisampleFramebuffer.release();

    if (outputRenderbuffer != 0) {
        glDeleteRenderbuffers(1, &outputRenderbuffer);
        outputRenderbuffer = 0;
    }
    for (const GLuint layer : layers) {
        glDeleteRenderbuffers(1, &layer);
    }
    layers.clear();
    for (auto* attached : {&stencilBuffers, &depthBuffers}) {
        for (const auto& entry : *attached) {
            glDeleteRenderbuffers(1, &entry.second);
        }
        attached->clear();
    }
}

void OpenglRenderTarget::release()
{
    PerContextName::flushPendingDeletes();
    destroyBuffers();
    conversionPass.reset();
    // With the size forgotten, the next resize builds everything anew, also when
    // it asks for the size of the last frame.
    width = 0;
    height = 0;
}

} // namespace Solvane
} // namespace Tamrin
