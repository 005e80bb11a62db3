#include "gpu/OpenglShader.h"

#include <glbinding/gl/gl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>

using namespace gl;

namespace Tamrin {
namespace Solvane {

namespace {

// Attribute offsets are byte offsets into the bound array buffer, passed where
// OpenGL takes a pointer.
const void* bufferOffset(std::uint64_t offset)
{
    return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset));
}

// Driver logs are read into a fixed buffer; OpenGL writes at most this many
// characters including the terminator.
constexpr GLsizei kLogBufferSize = 512;

std::atomic<std::uint64_t> failedBuildCount{0};

GLsizei clampLogLength(GLsizei length)
{
    return std::min(std::max(length, GLsizei(0)), kLogBufferSize);
}

// Compiles one stage; on failure prints the driver's log under the stage label.
bool compileStage(GLuint shader, const std::string& source, const char* label)
{
    const GLchar* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == static_cast<GLint>(GL_TRUE)) {
        return true;
    }
    char log[kLogBufferSize + 1] = {};
    GLsizei length = 0;
    glGetShaderInfoLog(shader, kLogBufferSize, &length, log);
    log[clampLogLength(length)] = '\0';
    std::printf("Shader %s error:\n%s\n", label, log);
    failedBuildCount.fetch_add(1);
    return false;
}

} // namespace

OpenglShader::OpenglShader(const std::string& vertexSourceText, const std::string& fragmentSourceText)
    : vertexSource(vertexSourceText), fragmentSource(fragmentSourceText)
{
}

OpenglShader::~OpenglShader()
{
    if (program != 0) {
        glDeleteProgram(program);
    }
}

std::uint64_t OpenglShader::failedBuilds() { return failedBuildCount.load(); }

void OpenglShader::bindAttribLocation(const std::string& name, int location)
{
    // emplace keeps an existing entry: the first location recorded for a name wins.
    attribLocations.emplace(name, location);
}

void OpenglShader::use()
{
    if (program == 0) {
        compileAndLink();
    }
    glUseProgram(program);
}

void OpenglShader::compileAndLink()
{
    const GLuint vertexShader = glCreateShader(GL_VERTEX_SHADER);
    const GLuint fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);

    // A failed attempt leaves nothing behind: the next use() starts afresh, and
    // repeated failures would otherwise pile up shader objects every frame.
    if (!compileStage(vertexShader, vertexSource, "vert") || !compileStage(fragmentShader, fragmentSource, "frag")) {
        glDeleteShader(vertexShader);
        glDeleteShader(fragmentShader);
        return;
    }

    const GLuint linked = glCreateProgram();
    glAttachShader(linked, vertexShader);
    glAttachShader(linked, fragmentShader);
    for (const auto& entry : attribLocations) {
        glBindAttribLocation(linked, static_cast<GLuint>(entry.second), entry.first.c_str());
    }
    glLinkProgram(linked);
    GLint status = 0;
    glGetProgramiv(linked, GL_LINK_STATUS, &status);

    if (status == static_cast<GLint>(GL_TRUE)) {
        program = linked;
        glDetachShader(linked, vertexShader);
        glDetachShader(linked, fragmentShader);
        glDeleteShader(vertexShader);
        glDeleteShader(fragmentShader);
        return;
    }

    char log[kLogBufferSize + 1] = {};
    GLsizei length = 0;
    glGetProgramInfoLog(linked, kLogBufferSize, &length, log);
    log[clampLogLength(length)] = '\0';
    std::printf("Program error:\n%s\n", log);
    failedBuildCount.fetch_add(1);

    glDeleteProgram(linked);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
}

void OpenglShader::setUniform1f(const std::string& name, float value)
{
    if (program == 0) {
        return;
    }
    const GLint location = glGetUniformLocation(program, name.c_str());
    if (location != -1) {
        glUniform1f(location, value);
    }
}

void OpenglShader::setUniform2f(const std::string& name, const Vec2& value)
{
    if (program == 0) {
        return;
    }
    const GLint location = glGetUniformLocation(program, name.c_str());
    if (location != -1) {
        glUniform2f(location, static_cast<GLfloat>(value.x), static_cast<GLfloat>(value.y));
    }
}

void OpenglShader::setTexture(const std::string& name, GLenum target, GLuint texture, int unit)
{
    if (program == 0) {
        return;
    }
    glActiveTexture(static_cast<GLenum>(static_cast<unsigned int>(GL_TEXTURE0) + static_cast<unsigned int>(unit)));
    glBindTexture(target, texture);
    const GLint location = glGetUniformLocation(program, name.c_str());
    if (location != -1) {
        glUniform1i(location, unit);
    }
}

void OpenglShader::setAttribPointer3f(GLuint index, std::uint64_t offset, int stride)
{
    if (program == 0) {
        return;
    }
    glEnableVertexAttribArray(index);
    glVertexAttribPointer(index, 3, GL_FLOAT, GL_FALSE, stride, bufferOffset(offset));
}

void OpenglShader::setAttribPointer2f(GLuint index, std::uint64_t offset, int stride)
{
    if (program == 0) {
        return;
    }
    glEnableVertexAttribArray(index);
    glVertexAttribPointer(index, 2, GL_FLOAT, GL_FALSE, stride, bufferOffset(offset));
}

void OpenglShader::disableAttrib(GLuint index)
{
    if (program == 0) {
        return;
    }
    glDisableVertexAttribArray(index);
}

} // namespace Solvane
} // namespace Tamrin
