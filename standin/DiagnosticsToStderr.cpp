#include "standin/DiagnosticsToStderr.h"

#include <atomic>
#include <iostream>

#include "standin/Descriptors.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

namespace {

// The caller's standard output while a redirection is in place, -1 otherwise. The
// outermost redirection's is the one that counts.
std::atomic<int> callerStandardOutput{-1};

} // namespace

DiagnosticsToStderr::DiagnosticsToStderr(Target target)
{
    std::cout.flush();
    std::fflush(stdout);
    saved_ = Descriptors::duplicate(1);
    if (saved_ < 0) {
        return;
    }
    int none = -1;
    outermost_ = callerStandardOutput.compare_exchange_strong(none, saved_);
    discard_ = target == Target::Discard;
    scratch_ = Descriptors::openScratchFile();
    if (scratch_ >= 0) {
        Descriptors::duplicateOnto(scratch_, 1);
        return;
    }
    const int nullDevice = discard_ ? Descriptors::openNullDevice() : -1;
    if (nullDevice >= 0) {
        Descriptors::duplicateOnto(nullDevice, 1);
        Descriptors::close(nullDevice);
    } else {
        Descriptors::duplicateOnto(2, 1);
    }
}

DiagnosticsToStderr::~DiagnosticsToStderr()
{
    pass();
    std::cout.flush();
    std::fflush(stdout);
    if (saved_ >= 0) {
        Descriptors::duplicateOnto(saved_, 1);
        if (outermost_) {
            callerStandardOutput.store(-1);
        }
        Descriptors::close(saved_);
    }
    if (scratch_ >= 0) {
        Descriptors::close(scratch_);
    }
}

std::string DiagnosticsToStderr::takeLines()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (scratch_ < 0) {
        return std::string();
    }
    std::cout.flush();
    std::fflush(stdout);
    return Descriptors::takeScratchFile(scratch_);
}

void DiagnosticsToStderr::forward(const std::string& lines) const
{
    if (!discard_ && !lines.empty()) {
        std::fflush(stderr);
        Descriptors::writeAll(2, lines);
    }
}

int DiagnosticsToStderr::callerDescriptor(int descriptor)
{
    const int saved = callerStandardOutput.load();
    return descriptor == 1 && saved >= 0 ? saved : descriptor;
}

std::FILE* DiagnosticsToStderr::frameStream() const
{
    if (saved_ < 0) {
        return nullptr;
    }
    const int descriptor = Descriptors::duplicate(saved_);
    if (descriptor < 0) {
        return nullptr;
    }
    std::FILE* stream = Descriptors::binaryWriteStream(descriptor);
    if (!stream) {
        Descriptors::close(descriptor);
    }
    return stream;
}

void DiagnosticsToStderr::binaryStdin() { Descriptors::binaryStdin(); }

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
