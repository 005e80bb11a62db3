#include "support/GLCallRecorder.h"

#include <glbinding/AbstractFunction.h>
#include <glbinding/AbstractValue.h>
#include <glbinding/CallbackMask.h>
#include <glbinding/FunctionCall.h>
#include <glbinding/callbacks.h>

#include <sstream>

namespace Tamrin {
namespace Solvane {
namespace Test {

std::string GLCallRecorder::Call::text() const
{
    std::string out = name + "(";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        out += (i == 0 ? "" : ", ") + arguments[i];
    }
    return out + ")";
}

GLCallRecorder::~GLCallRecorder()
{
    stop();
}

void GLCallRecorder::start()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        calls_.clear();
        recording_ = true;
    }
    glbinding::setAfterCallback([this](const glbinding::FunctionCall& functionCall) {
        Call call;
        call.name = functionCall.function->name();
        for (const glbinding::AbstractValue* value : functionCall.parameters) {
            std::ostringstream text;
            value->printOn(text);
            call.arguments.push_back(text.str());
        }
        record(std::move(call));
    });
    // Added to, and later taken from, the mask: the OpenGL error check keeps its before-callback meanwhile.
    glbinding::addCallbackMask(glbinding::CallbackMask::After | glbinding::CallbackMask::Parameters);
}

void GLCallRecorder::stop()
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!recording_) {
        return;
    }
    recording_ = false;
    glbinding::removeCallbackMask(glbinding::CallbackMask::After | glbinding::CallbackMask::Parameters);
    glbinding::setAfterCallback(glbinding::FunctionCallback());
}

void GLCallRecorder::record(Call call)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (recording_) {
        calls_.push_back(std::move(call));
    }
}

std::vector<GLCallRecorder::Call> GLCallRecorder::calls() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return calls_;
}

std::vector<std::string> GLCallRecorder::names() const
{
    std::vector<std::string> out;
    for (const Call& call : calls()) {
        out.push_back(call.name);
    }
    return out;
}

std::vector<GLCallRecorder::Call> GLCallRecorder::callsNamed(const std::string& name) const
{
    std::vector<Call> out;
    for (const Call& call : calls()) {
        if (call.name == name) {
            out.push_back(call);
        }
    }
    return out;
}

std::size_t GLCallRecorder::count(const std::string& name) const
{
    return callsNamed(name).size();
}

bool GLCallRecorder::empty() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return calls_.empty();
}

namespace {

// '*' stands for any run of characters; everything else matches itself.
bool globMatches(const char* pattern, const char* text)
{
    if (*pattern == '\0') {
        return *text == '\0';
    }
    if (*pattern == '*') {
        for (const char* rest = text;; ++rest) {
            if (globMatches(pattern + 1, rest)) {
                return true;
            }
            if (*rest == '\0') {
                return false;
            }
        }
    }
    return *pattern == *text && globMatches(pattern + 1, text + 1);
}

} // namespace

bool GLCallRecorder::matches(const Call& call, const std::string& entry)
{
    const bool whole = entry.find('(') != std::string::npos;
    return globMatches(entry.c_str(), whole ? call.text().c_str() : call.name.c_str());
}

::testing::AssertionResult GLCallRecorder::madeNoCall() const
{
    if (empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "expected no OpenGL call, recorded:\n" << dump();
}

::testing::AssertionResult GLCallRecorder::madeInOrder(const std::vector<std::string>& expected) const
{
    const std::vector<Call> recorded = calls();
    std::size_t next = 0;
    for (const Call& call : recorded) {
        if (next < expected.size() && matches(call, expected[next])) {
            ++next;
        }
    }
    if (next == expected.size()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no call matching \"" << expected[next] << "\" (entry " << next
                                         << ") after the earlier entries; recorded:\n"
                                         << dump();
}

::testing::AssertionResult GLCallRecorder::madeExactly(const std::vector<std::string>& expected) const
{
    const std::vector<Call> recorded = calls();
    bool same = recorded.size() == expected.size();
    for (std::size_t i = 0; same && i < recorded.size(); ++i) {
        same = matches(recorded[i], expected[i]);
    }
    if (same) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream wanted;
    for (const std::string& entry : expected) {
        wanted << "  " << entry << "\n";
    }
    return ::testing::AssertionFailure() << "expected exactly:\n" << wanted.str() << "recorded:\n" << dump();
}

::testing::AssertionResult GLCallRecorder::madeNo(const std::string& entry) const
{
    for (const Call& call : calls()) {
        if (matches(call, entry)) {
            return ::testing::AssertionFailure() << "unexpected call matching \"" << entry << "\"; recorded:\n"
                                                 << dump();
        }
    }
    return ::testing::AssertionSuccess();
}

std::string GLCallRecorder::dump() const
{
    std::ostringstream out;
    for (const Call& call : calls()) {
        out << "  " << call.text() << "\n";
    }
    return out.str();
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
