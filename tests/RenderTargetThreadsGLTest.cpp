#include "gpu/OpenglRenderTarget.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "glcontext/AEOpenGLContext.h"
#include "gpu/PerContextName.h"
#include "renderer/ChannelOrderPass.h"
#include "support/GLCallRecorder.h"
#include "support/GLTestContext.h"
#include "support/RenderTargetFixture.h"

using namespace gl;
using namespace Tamrin::Solvane;
using Tamrin::Solvane::Test::GLCallRecorder;
using Tamrin::Solvane::Test::Rgba;
using Tamrin::Solvane::Test::kByteStep;
using Tamrin::Solvane::Test::readPixel;
using Tamrin::Solvane::Test::expectNear;

namespace {

// A thread that lives for the whole test and runs one task at a time for the
// caller, so that each worker keeps its own plug-in context from task to task.
class Worker {
public:
    Worker() : thread_([this] { loop(); }) {}
    ~Worker()
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    void run(std::function<void()> task)
    {
        std::unique_lock<std::mutex> hold(lock_);
        task_ = std::move(task);
        wake_.notify_all();
        wake_.wait(hold, [this] { return !task_; });
    }

private:
    void loop()
    {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            wake_.wait(hold, [this] { return stopping_ || task_; });
            if (!task_) {
                return;
            }
            hold.unlock();
            task_();
            hold.lock();
            task_ = nullptr;
            wake_.notify_all();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::function<void()> task_;
    bool stopping_ = false;
    std::thread thread_;
};

class RenderTargetThreadsGLTest : public Tamrin::Solvane::Test::RenderTargetFixture {
protected:
    // One frame as the render command draws it, with a layer cleared to `colour`;
    // returns the converted pixel at the far corner.
    Rgba frame(int width, int height, const Rgba& colour)
    {
        EXPECT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent());
        target.resize(width, height, false);
        target.bind(false, false);
        glClearColor(colour[0], colour[1], colour[2], colour[3]);
        glClear(GL_COLOR_BUFFER_BIT);
        target.finishFrame(1.0f);
        EXPECT_NE(target.framebufferName(), 0u);
        return readPixel(width - 1, height - 1);
    }

    Worker first;
    Worker second;
};

TEST_F(RenderTargetThreadsGLTest, FramesComeOutTheSameOnEitherThreadsContext)
{
    std::uint64_t serials[2] = {0, 0};
    GLuint firstFramebuffer = 0;
    const std::size_t pendingBefore = PerContextName::pendingCount();

    first.run([&] {
        expectNear(frame(4, 3, {1.0f, 0.0f, 0.0f, 1.0f}), {1.0f, 1.0f, 0.0f, 0.0f}, kByteStep);
        serials[0] = AEOpenGLContext::currentSerial();
        firstFramebuffer = target.framebufferName();
    });
    // Same size on another context: that context gets framebuffers of its own.
    second.run([&] {
        expectNear(frame(4, 3, {0.0f, 1.0f, 0.0f, 1.0f}), {1.0f, 0.0f, 1.0f, 0.0f}, kByteStep);
        serials[1] = AEOpenGLContext::currentSerial();
    });
    ASSERT_NE(serials[0], serials[1]);
    first.run([&] {
        expectNear(frame(4, 3, {0.0f, 0.0f, 1.0f, 1.0f}), {1.0f, 0.0f, 0.0f, 1.0f}, kByteStep);
        EXPECT_EQ(target.framebufferName(), firstFramebuffer) << "the first context keeps its framebuffer";
    });
    second.run([&] { expectNear(frame(4, 3, {0.0f, 0.0f, 0.0f, 1.0f}), {1.0f, 0.0f, 0.0f, 0.0f}, kByteStep); });

    // A new size on the second thread lets go of the first context's framebuffer,
    // which can only be deleted there: it waits for that context's next frame,
    // together with the vertex array of the pass the first context drew last.
    second.run([&] { expectNear(frame(5, 2, {1.0f, 1.0f, 1.0f, 1.0f}), {1.0f, 1.0f, 1.0f, 1.0f}, kByteStep); });
    EXPECT_EQ(PerContextName::pendingCount(), pendingBefore + 2);
    first.run([&] {
        GLCallRecorder recorder;
        recorder.start();
        expectNear(frame(5, 2, {1.0f, 0.0f, 1.0f, 1.0f}), {1.0f, 1.0f, 0.0f, 1.0f}, kByteStep);
        recorder.stop();
        EXPECT_TRUE(recorder.madeInOrder({"glDeleteFramebuffers(1, *)", "glGenFramebuffers"}));
    });
    EXPECT_EQ(PerContextName::pendingCount(), pendingBefore + 1) << "the second context's vertex array waits now";
    second.run([&] { PerContextName::flushPendingDeletes(); });
    EXPECT_EQ(PerContextName::pendingCount(), pendingBefore);
}

TEST_F(RenderTargetThreadsGLTest, ChannelOrderPassKeepsAVertexArrayPerContext)
{
    const float texel[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    GLuint source = 0;
    glGenTextures(1, &source);
    glBindTexture(GL_TEXTURE_2D, source);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_NEAREST));
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), 1, 1, 0, GL_RGBA, GL_FLOAT, texel);
    glBindTexture(GL_TEXTURE_2D, 0);
    glFinish();

    auto pass = std::make_unique<ChannelOrderPass>(false);
    const auto drawIntoOwnFramebuffer = [&](GLCallRecorder* recorder) {
        ASSERT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent());
        GLuint colour = 0;
        GLuint framebuffer = 0;
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA32F, 1, 1);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glViewport(0, 0, 1, 1);
        if (recorder) {
            recorder->start();
        }
        pass->draw(source, 1.0f);
        if (recorder) {
            recorder->stop();
        }
        expectNear(readPixel(0, 0), {0.4f, 0.1f, 0.2f, 0.3f}, 1e-6f);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &colour);
        glFinish();
    };

    const std::size_t pendingBefore = PerContextName::pendingCount();
    first.run([&] { drawIntoOwnFramebuffer(nullptr); });
    GLCallRecorder recorder;
    second.run([&] { drawIntoOwnFramebuffer(&recorder); });
    EXPECT_EQ(recorder.count("glGenVertexArrays"), 1u);
    EXPECT_EQ(recorder.count("glGenBuffers"), 0u) << "the quad buffer is shared";

    // Destroyed where neither vertex array lives: both wait for their contexts.
    recorder.start();
    pass.reset();
    recorder.stop();
    EXPECT_TRUE(recorder.madeExactly({"glDeleteBuffers(1, *)", "glDeleteProgram"}));
    EXPECT_EQ(PerContextName::pendingCount(), pendingBefore + 2);
    first.run([&] {
        ASSERT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent());
        GLCallRecorder flushed;
        flushed.start();
        PerContextName::flushPendingDeletes();
        flushed.stop();
        EXPECT_TRUE(flushed.madeExactly({"glDeleteVertexArrays(1, *)"}));
    });
    second.run([&] { PerContextName::flushPendingDeletes(); });
    EXPECT_EQ(PerContextName::pendingCount(), pendingBefore);
    glDeleteTextures(1, &source);
}

} // namespace
