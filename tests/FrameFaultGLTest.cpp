#include "renderer/FrameSequence.h"

#include <glbinding/AbstractFunction.h>
#include <glbinding/CallbackMask.h>
#include <glbinding/FunctionCall.h>
#include <glbinding/callbacks.h>
#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ShaderSources.h"
#include "gpu/OpenglRenderTarget.h"
#include "gpu/OpenglShader.h"
#include "renderer/LightShaftRenderer.h"
#include "standin/HostWorld.h"
#include "standin/SubstituteHost.h"
#include "support/GLErrorCheck.h"
#include "support/GLTestContext.h"
#include "support/HostTestSupport.h"

using namespace gl;
using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

// A frame whose surfaces the driver did not store, or whose programs did not build, is refused before its read-back:
// never a blank frame passed on as rendered. The faults are real OpenGL failures, made cheaply: a float texture just
// past the driver's byte limit (refused at once, nothing allocated), a framebuffer left without its attachment, a
// program that does not compile.
namespace {

class FrameFaultGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Support::makeTestContextCurrent()) {
            GTEST_SKIP() << "no OpenGL context";
        }
        renderer.settings.threshold = 0.3;
        renderer.settings.thresholdSmooth = 0.2;
        renderer.settings.center = Vec2(20.0, 10.0);
        renderer.settings.shineLength = 2048.0;
        renderer.settings.exposure = 0.7;
        renderer.settings.quality = 1;
        for (int y = 0; y < input.height(); ++y) {
            for (int x = 0; x < input.width() * 4; ++x) {
                input.row(y)[x] = static_cast<std::uint8_t>(40 + 3 * x + 7 * y);
            }
        }
    }

    // Runs the frame with a fault made after `faultStep`; returns the code it threw (0 for none) and whether the
    // output world was left as it was.
    int runWithFault(FrameStep faultStep, void (*fault)(), bool& outputUntouched)
    {
        StandIn::SubstituteHost host(nullptr);
        StandIn::HostWorld output(input.width(), input.height());
        const std::vector<std::uint8_t> before = Support::pixels(output);
        int code = 0;
        try {
            runFrameSequence(renderer, &host.inData(), &input.def(), &output.def(), [&](FrameStep step) {
                if (step == faultStep) {
                    fault();
                }
            });
        } catch (int thrown) {
            code = thrown;
        } catch (const std::bad_alloc&) {
            code = PF_Err_OUT_OF_MEMORY;
        }
        outputUntouched = Support::pixels(output) == before;
        return code;
    }

    // After a fault the same renderer renders the next frame as if nothing had happened.
    void expectNextFrameRenders()
    {
        StandIn::SubstituteHost host(nullptr);
        StandIn::HostWorld output(input.width(), input.height());
        runFrameSequence(renderer, &host.inData(), &input.def(), &output.def());
        EXPECT_NE(Support::pixels(output), Support::pixels(StandIn::HostWorld(input.width(), input.height())));
        EXPECT_EQ(glGetError(), GL_NO_ERROR);
    }

    LightShaftRenderer renderer;
    StandIn::HostWorld input{48, 32};
};

// A float texture that llvmpipe refuses for its bytes (4 GiB): the driver answers GL_OUT_OF_MEMORY at once.
void refusedAllocation()
{
    // The fault's own error is expected; the error check keeps watching the frame's steps around it.
    Support::ExpectedGLErrors expected;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), 16384, 16384, 0, GL_RGBA, GL_FLOAT, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
    EXPECT_EQ(expected.seen().size(), 1u);
}

TEST_F(FrameFaultGLTest, ASurfaceTheDriverDidNotStoreRefusesTheFrameBeforeItsReadback)
{
    for (FrameStep step : {FrameStep::Upload, FrameStep::Render, FrameStep::Finish}) {
        bool untouched = false;
        EXPECT_EQ(runWithFault(step, refusedAllocation, untouched), PF_Err_OUT_OF_MEMORY)
            << "after step " << static_cast<int>(step);
        EXPECT_TRUE(untouched);
        EXPECT_EQ(glGetError(), GL_NO_ERROR) << "the frame read the error it reported";
        expectNextFrameRenders();
    }
}

TEST_F(FrameFaultGLTest, AnIncompleteOutputFramebufferRefusesTheFrame)
{
    bool untouched = false;
    const int code = runWithFault(
        FrameStep::Finish,
        [] { glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0); }, untouched);
    EXPECT_EQ(code, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(untouched);
    expectNextFrameRenders();
}

TEST_F(FrameFaultGLTest, AProgramThatDoesNotBuildRefusesTheFrameAndItsReportStays)
{
    bool untouched = false;
    testing::internal::CaptureStdout();
    const int code = runWithFault(
        FrameStep::Render,
        [] {
            std::string vertex = Shaders::passthrough_vert;
            vertex.replace(vertex.find("out vec2 uv;"), 12, "out vec2 ux;");
            OpenglShader broken(vertex, Shaders::prefilter_frag);
            broken.use();
        },
        untouched);
    std::fflush(stdout);
    const std::string report = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(untouched);
    EXPECT_NE(report.find("error"), std::string::npos) << report;
    expectNextFrameRenders();
}

// Both stages compile; the link fails, for the fragment stage calls a function that no stage defines.
TEST_F(FrameFaultGLTest, AProgramThatCompilesButDoesNotLinkRefusesTheFrame)
{
    bool untouched = false;
    testing::internal::CaptureStdout();
    const int code = runWithFault(
        FrameStep::Render,
        [] {
            OpenglShader unlinked(Shaders::passthrough_vert, "#version 330\nvec4 nowhere();\nout vec4 colour;\n"
                                                             "void main() { colour = nowhere(); }\n");
            unlinked.use();
        },
        untouched);
    std::fflush(stdout);
    const std::string report = testing::internal::GetCapturedStdout();
    EXPECT_NE(report.find("Program error:"), std::string::npos) << report;
    EXPECT_EQ(report.find("Shader "), std::string::npos) << "a stage did not compile: " << report;
    EXPECT_EQ(code, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(untouched);
    expectNextFrameRenders();
}

// The driver runs out of memory inside the upload itself, right after it gives the frame's texture its storage, and
// before the step's own check: the frame is refused all the same.
TEST_F(FrameFaultGLTest, RunningOutOfMemoryInsideTheUploadRefusesTheFrame)
{
    bool injected = false;
    glbinding::setAfterCallback([&injected](const glbinding::FunctionCall& call) {
        if (!injected && std::string(call.function->name()) == "glTexSubImage2D") {
            injected = true;
            glbinding::removeCallbackMask(glbinding::CallbackMask::After);
            refusedAllocation();
        }
    });
    // Added to and taken from the mask, so that the error check's own callback keeps watching every call.
    glbinding::addCallbackMask(glbinding::CallbackMask::After);
    bool untouched = false;
    const int code = runWithFault(FrameStep::Readback, [] {}, untouched);
    glbinding::removeCallbackMask(glbinding::CallbackMask::After);
    glbinding::setAfterCallback(glbinding::FunctionCallback());
    ASSERT_TRUE(injected) << "the upload made no glTexSubImage2D call";
    EXPECT_EQ(code, PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(untouched);
    EXPECT_EQ(glGetError(), GL_NO_ERROR);
    expectNextFrameRenders();
}

// Whether llvmpipe (or the driver in use) stores a float texture of this size.
bool driverStoresFloatTexture(int width, int height)
{
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), width, height, 0, GL_RGBA, GL_FLOAT, nullptr);
    GLint stored = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &stored);
    return stored != 0;
}

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};

// Frames within 16384 a side whose float surfaces the driver will not store are refused from their size, before
// anything is made: a 12288 x 8192 frame, and an 8192 x 8192 frame at High with the centre far outside, whose ray
// box is larger than the frame. Their worlds are calloc'd and never touched, so they cost no memory.
TEST_F(FrameFaultGLTest, FramesBeyondTheDriversBytesAreRefusedBeforeAnythingIsMade)
{
    struct Case {
        int width, height, quality;
        Vec2 center;
    };
    for (const Case& c : {Case{12288, 8192, 1, Vec2(6144.0, 4096.0)}, Case{8192, 8192, 0, Vec2(-20000.0, -20000.0)}}) {
        if (c.quality == 1 && driverStoresFloatTexture(c.width, c.height)) {
            GTEST_SKIP() << "this driver stores a " << c.width << "x" << c.height << " float texture";
        }
        const std::size_t rowbytes = static_cast<std::size_t>(c.width) * 4;
        const std::size_t bytes = rowbytes * static_cast<std::size_t>(c.height);
        std::unique_ptr<void, FreeDeleter> inputPixels(std::calloc(bytes, 1));
        std::unique_ptr<void, FreeDeleter> outputPixels(std::calloc(bytes, 1));
        ASSERT_TRUE(inputPixels && outputPixels);
        PF_LayerDef in{};
        in.width = c.width;
        in.height = c.height;
        in.rowbytes = static_cast<A_long>(rowbytes);
        in.data = inputPixels.get();
        PF_LayerDef out = in;
        out.data = outputPixels.get();

        renderer.settings.quality = c.quality;
        renderer.settings.center = c.center;
        StandIn::SubstituteHost host(nullptr);
        EXPECT_THROW(runFrameSequence(renderer, &host.inData(), &in, &out), std::bad_alloc)
            << c.width << "x" << c.height << " quality " << c.quality;
        EXPECT_EQ(glGetError(), GL_NO_ERROR);
    }
    renderer.settings.quality = 1;
    renderer.settings.center = Vec2(20.0, 10.0);
    expectNextFrameRenders();
}

} // namespace
