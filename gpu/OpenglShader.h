#pragma once

#include <glbinding/gl/types.h>

#include <cstdint>
#include <map>
#include <string>

#include "common/Vec2.h"

namespace Tamrin {
namespace Solvane {

// One GLSL program of a vertex and a fragment shader. Made from two source texts
// without touching OpenGL; compiles and links itself at its first use() in the
// context current then, and prints compile and link errors to standard output.
// Owns the program object. Setters do nothing until a link has succeeded.
class OpenglShader {
public:
    OpenglShader(const std::string& vertexSource, const std::string& fragmentSource);
    virtual ~OpenglShader();

    OpenglShader(const OpenglShader&) = delete;
    OpenglShader& operator=(const OpenglShader&) = delete;

    void bindAttribLocation(const std::string& name, int location);
    void use();

    void setUniform1f(const std::string& name, float value);
    void setUniform2f(const std::string& name, const Vec2& value);
    void setTexture(const std::string& name, gl::GLenum target, gl::GLuint texture, int unit);
    void setAttribPointer3f(gl::GLuint index, std::uint64_t offset, int stride);
    void setAttribPointer2f(gl::GLuint index, std::uint64_t offset, int stride);
    void disableAttrib(gl::GLuint index);

    gl::GLuint programName() const { return program; }

    // How many times a program of this process failed to compile or link, counted
    // as each report is printed: a caller compares the count before and after a
    // piece of work to learn that a program it drew with was missing.
    static std::uint64_t failedBuilds();

private:
    void compileAndLink();

    std::string vertexSource;
    std::string fragmentSource;
    gl::GLuint program = 0;
    std::map<std::string, std::int32_t> attribLocations;
};

} // namespace Solvane
} // namespace Tamrin
