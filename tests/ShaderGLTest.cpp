#include "gpu/OpenglShader.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ShaderSources.h"
#include "support/GLCallRecorder.h"
#include "support/GLTestContext.h"

using namespace gl;
using namespace Tamrin::Solvane;
using Tamrin::Solvane::Test::GLCallRecorder;

namespace {

const char* const kSolidFragment = "#version 330\n"
                                   "in vec2 uv;\n"
                                   "out vec4 colourOut;\n"
                                   "uniform float gain;\n"
                                   "uniform vec2 offset;\n"
                                   "uniform sampler2D source;\n"
                                   "void main() { colourOut = texture(source, uv + offset) * gain; }\n";

const char* const kBrokenSource = "#version 330\nvoid main() { this is not glsl }\n";

// Compiles, but cannot link: the helper is declared and called, never defined.
const char* const kUnlinkableFragment = "#version 330\n"
                                        "out vec4 colourOut;\n"
                                        "vec4 helper();\n"
                                        "void main() { colourOut = helper(); }\n";

class ShaderGLTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent()); }

    static std::unique_ptr<OpenglShader> quadShader(const char* fragment)
    {
        auto shader = std::make_unique<OpenglShader>(Shaders::passthrough_vert, fragment);
        shader->bindAttribLocation("position", 0);
        shader->bindAttribLocation("input_uv", 1);
        return shader;
    }

    GLCallRecorder recorder;
};

TEST_F(ShaderGLTest, BeforeALinkNothingButUseTouchesOpenGL)
{
    {
        auto shader = quadShader(kSolidFragment);
        recorder.start();
        shader->bindAttribLocation("extra", 4);
        shader->setUniform1f("gain", 2.0f);
        shader->setUniform2f("offset", Vec2(1.0, 2.0));
        shader->setTexture("source", GL_TEXTURE_2D, 1, 3);
        shader->setAttribPointer3f(0, 0, 20);
        shader->setAttribPointer2f(1, 12, 20);
        shader->disableAttrib(0);
    }
    // The destructor of a never-linked shader has nothing to delete either.
    recorder.stop();
    EXPECT_TRUE(recorder.madeNoCall());
}

TEST_F(ShaderGLTest, LinksOnceWithAttributeBindingsByAscendingName)
{
    auto shader = std::make_unique<OpenglShader>(Shaders::passthrough_vert, kSolidFragment);
    shader->bindAttribLocation("position", 0);
    shader->bindAttribLocation("position", 3); // ignored: the first location stays
    shader->bindAttribLocation("input_uv", 1);

    recorder.start();
    shader->use();
    shader->use();
    recorder.stop();

    const GLuint program = shader->programName();
    ASSERT_NE(program, 0u);
    const std::string p = std::to_string(program);
    EXPECT_TRUE(recorder.madeExactly({
        "glCreateShader(GL_VERTEX_SHADER)", "glCreateShader(GL_FRAGMENT_SHADER)",
        "glShaderSource", "glCompileShader", "glGetShaderiv(*, GL_COMPILE_STATUS, *)",
        "glShaderSource", "glCompileShader", "glGetShaderiv(*, GL_COMPILE_STATUS, *)",
        "glCreateProgram", "glAttachShader", "glAttachShader",
        "glBindAttribLocation(" + p + ", 1, \"input_uv\")", "glBindAttribLocation(" + p + ", 0, \"position\")",
        "glLinkProgram(" + p + ")", "glGetProgramiv(" + p + ", GL_LINK_STATUS, *)",
        "glDetachShader", "glDetachShader", "glDeleteShader", "glDeleteShader",
        "glUseProgram(" + p + ")",
        "glUseProgram(" + p + ")",
    }));
    EXPECT_EQ(glGetAttribLocation(program, "position"), 0);
    EXPECT_EQ(glGetAttribLocation(program, "input_uv"), 1);

    recorder.start();
    shader.reset();
    recorder.stop();
    EXPECT_TRUE(recorder.madeExactly({"glDeleteProgram(" + p + ")"}));
}

TEST_F(ShaderGLTest, UniformsAreLookedUpOnEveryCallAndMissingOnesSkipped)
{
    auto shader = quadShader(kSolidFragment);
    shader->use();
    const GLuint program = shader->programName();
    ASSERT_NE(program, 0u);

    recorder.start();
    shader->setUniform1f("gain", 0.5f);
    shader->setUniform1f("gain", 0.25f);
    shader->setUniform2f("offset", Vec2(0.125, -2.5));
    shader->setUniform1f("noSuchUniform", 1.0f);
    shader->setTexture("noSuchSampler", GL_TEXTURE_2D, 0, 2);
    shader->setTexture("source", GL_TEXTURE_2D, 0, 5);
    recorder.stop();

    EXPECT_EQ(recorder.count("glGetUniformLocation"), 6u);
    EXPECT_EQ(recorder.count("glUniform1f"), 2u);
    EXPECT_TRUE(recorder.madeInOrder({"glGetUniformLocation", "glUniform1f", "glGetUniformLocation", "glUniform1f",
                                      "glGetUniformLocation", "glUniform2f", "glGetUniformLocation",
                                      // the texture is bound even though the sampler does not exist
                                      "glActiveTexture(GL_TEXTURE2)", "glBindTexture(GL_TEXTURE_2D, 0)",
                                      "glGetUniformLocation", "glActiveTexture(GL_TEXTURE5)", "glBindTexture",
                                      "glGetUniformLocation", "glUniform1i(*, 5)"}));
    EXPECT_EQ(recorder.count("glUniform1i"), 1u);

    GLfloat gain = 0.0f;
    GLfloat offset[2] = {};
    glGetUniformfv(program, glGetUniformLocation(program, "gain"), &gain);
    glGetUniformfv(program, glGetUniformLocation(program, "offset"), offset);
    EXPECT_FLOAT_EQ(gain, 0.25f);
    EXPECT_FLOAT_EQ(offset[0], 0.125f);
    EXPECT_FLOAT_EQ(offset[1], -2.5f);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, static_cast<GLint>(GL_TEXTURE5));
    glActiveTexture(GL_TEXTURE0);
}

TEST_F(ShaderGLTest, BadVertexShaderStopsBeforeTheFragmentStageAndLeavesNothingBehind)
{
    OpenglShader shader(kBrokenSource, kSolidFragment);
    recorder.start();
    ::testing::internal::CaptureStdout();
    shader.use();
    const std::string output = ::testing::internal::GetCapturedStdout();
    recorder.stop();

    EXPECT_EQ(output.rfind("Shader vert error:\n", 0), 0u) << output;
    EXPECT_EQ(output.back(), '\n');
    EXPECT_GT(output.size(), std::string("Shader vert error:\n\n").size()) << "the driver's log is printed";
    EXPECT_EQ(recorder.count("glCompileShader"), 1u);
    EXPECT_EQ(recorder.count("glCreateProgram"), 0u);
    // The failed attempt's two shader objects are deleted before use() ends.
    EXPECT_EQ(recorder.count("glDeleteShader"), 2u);
    EXPECT_TRUE(recorder.madeInOrder({"glDeleteShader", "glDeleteShader", "glUseProgram(0)"}));
    EXPECT_EQ(shader.programName(), 0u);

    // Still unlinked: setters stay silent.
    recorder.start();
    shader.setUniform1f("gain", 1.0f);
    recorder.stop();
    EXPECT_TRUE(recorder.madeNoCall());
}

TEST_F(ShaderGLTest, BadFragmentShaderIsReportedWithItsStage)
{
    OpenglShader shader(Shaders::passthrough_vert, kBrokenSource);
    ::testing::internal::CaptureStdout();
    shader.use();
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.rfind("Shader frag error:\n", 0), 0u) << output;
    EXPECT_EQ(output.find("Shader vert error"), std::string::npos);
    EXPECT_EQ(shader.programName(), 0u);
}

TEST_F(ShaderGLTest, FailedLinkIsReportedOnEveryAttemptAndCleanedUpInBetween)
{
    auto shader = quadShader(kUnlinkableFragment);
    recorder.start();
    ::testing::internal::CaptureStdout();
    shader->use();
    shader->use();
    const std::string output = ::testing::internal::GetCapturedStdout();
    recorder.stop();

    const std::string header = "Program error:\n";
    ASSERT_EQ(output.rfind(header, 0), 0u) << output;
    EXPECT_NE(output.find(header, header.size()), std::string::npos) << "the second attempt reports again";
    EXPECT_EQ(shader->programName(), 0u);
    EXPECT_EQ(recorder.count("glLinkProgram"), 2u);
    EXPECT_EQ(recorder.count("glGetProgramInfoLog"), 2u);

    // Every object of the first attempt is gone before the second one starts.
    EXPECT_TRUE(recorder.madeInOrder({"glLinkProgram", "glGetProgramInfoLog", "glDeleteProgram", "glDeleteShader",
                                      "glDeleteShader", "glUseProgram(0)", "glCreateShader", "glLinkProgram",
                                      "glDeleteProgram", "glDeleteShader", "glDeleteShader", "glUseProgram(0)"}));
    EXPECT_EQ(recorder.count("glCreateShader"), recorder.count("glDeleteShader"));
    EXPECT_EQ(recorder.count("glCreateProgram"), recorder.count("glDeleteProgram"));

    recorder.start();
    shader.reset();
    recorder.stop();
    EXPECT_TRUE(recorder.madeNoCall());
}

} // namespace
