#pragma once

#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Test {

// Watches every OpenGL call the test program makes through glbinding, on any thread and any context, for the OpenGL
// errors the driver raises. Each context a call runs on gets the driver's debug output (KHR_debug, synchronous), and
// the driver's error messages are matched to the glbinding call that raised them. Nothing is taken from glGetError,
// so the effect's own error checks see every error as they would without the watch.
struct GLErrorReport {
    std::string call;    // the glbinding function that raised it, e.g. "glDrawBuffer"
    std::string message; // the driver's words, naming the error
};

// Starts the watch (once per process; later calls do nothing). It takes glbinding's before-callback for itself.
void startGLErrorCheck();

// The errors raised since the last call, less the allowed one and those an ExpectedGLErrors scope took.
std::vector<GLErrorReport> takeUnexpectedGLErrors();

// How many times the allowed call raised an error since the watch started.
std::size_t allowedGLErrorCount();

// The one error the effect may raise: the render target's bind sets GL_COLOR_ATTACHMENT0 as the draw buffer of
// whatever framebuffer is bound, which on a frame's first bind is the default one, where that buffer does not exist.
bool isAllowedGLError(const GLErrorReport& report);

// While one lives, errors raised on any thread count as expected: for the tests that make the driver fail on purpose
// (storage past its limits, a framebuffer without its attachment). It gathers them for the test to look at.
class ExpectedGLErrors {
public:
    ExpectedGLErrors();
    ~ExpectedGLErrors();
    ExpectedGLErrors(const ExpectedGLErrors&) = delete;
    ExpectedGLErrors& operator=(const ExpectedGLErrors&) = delete;

    std::vector<GLErrorReport> seen() const;
};

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
