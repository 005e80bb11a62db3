#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Test {

// Records every OpenGL call made through glbinding, on any thread, between start()
// and stop(): the function's name and each argument as glbinding prints it (enums
// by name, e.g. "GL_FRAMEBUFFER", numbers as numbers). glbinding has one global
// callback, so only one recorder records at a time; stop() (or the destructor)
// switches the callbacks off again.
//
// Expected entries in the checks below are either a function name
// ("glBindFramebuffer") or, when they hold a '(', a whole call
// ("glBindFramebuffer(GL_FRAMEBUFFER, 3)"); '*' in an entry stands for any text
// ("glBindFramebuffer(GL_FRAMEBUFFER, *)", "glGetShaderiv(*, GL_COMPILE_STATUS, *)").
class GLCallRecorder {
public:
    struct Call {
        std::string name;
        std::vector<std::string> arguments;
        // "name(arg0, arg1, ...)"
        std::string text() const;
    };

    GLCallRecorder() = default;
    ~GLCallRecorder();

    GLCallRecorder(const GLCallRecorder&) = delete;
    GLCallRecorder& operator=(const GLCallRecorder&) = delete;

    // Forgets earlier calls and records from now on.
    void start();
    void stop();

    std::vector<Call> calls() const;
    std::vector<std::string> names() const;
    std::vector<Call> callsNamed(const std::string& name) const;
    std::size_t count(const std::string& name) const;
    bool empty() const;

    // No call was recorded.
    ::testing::AssertionResult madeNoCall() const;
    // The entries occur in this order; other calls may come between them.
    ::testing::AssertionResult madeInOrder(const std::vector<std::string>& expected) const;
    // The recorded calls are exactly these, in this order.
    ::testing::AssertionResult madeExactly(const std::vector<std::string>& expected) const;
    // No recorded call matches the entry.
    ::testing::AssertionResult madeNo(const std::string& entry) const;

    // One call per line, for failure messages.
    std::string dump() const;

    static bool matches(const Call& call, const std::string& entry);

private:
    void record(Call call);

    mutable std::mutex lock_;
    std::vector<Call> calls_;
    bool recording_ = false;
};

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
