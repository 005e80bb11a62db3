#include "standin/DiagnosticsToStderr.h"

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <iostream>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

namespace {

#if defined(_WIN32)
int duplicate(int descriptor) { return _dup(descriptor); }
int duplicateOnto(int from, int to) { return _dup2(from, to); }
int closeDescriptor(int descriptor) { return _close(descriptor); }
int openNullDevice() { return _open("NUL", _O_WRONLY); }
#else
int duplicate(int descriptor) { return dup(descriptor); }
int duplicateOnto(int from, int to) { return dup2(from, to); }
int closeDescriptor(int descriptor) { return close(descriptor); }
int openNullDevice() { return open("/dev/null", O_WRONLY | O_CLOEXEC); }
#endif

} // namespace

DiagnosticsToStderr::DiagnosticsToStderr(Target target)
{
    std::cout.flush();
    std::fflush(stdout);
    saved_ = duplicate(1);
    if (saved_ < 0) {
        return;
    }
    const int nullDevice = target == Target::Discard ? openNullDevice() : -1;
    if (nullDevice >= 0) {
        duplicateOnto(nullDevice, 1);
        closeDescriptor(nullDevice);
    } else {
        duplicateOnto(2, 1);
    }
}

DiagnosticsToStderr::~DiagnosticsToStderr()
{
    std::cout.flush();
    std::fflush(stdout);
    if (saved_ >= 0) {
        duplicateOnto(saved_, 1);
        closeDescriptor(saved_);
    }
}

std::FILE* DiagnosticsToStderr::frameStream() const
{
    if (saved_ < 0) {
        return nullptr;
    }
    const int descriptor = duplicate(saved_);
    if (descriptor < 0) {
        return nullptr;
    }
#if defined(_WIN32)
    _setmode(descriptor, _O_BINARY);
    std::FILE* stream = _fdopen(descriptor, "wb");
#else
    std::FILE* stream = fdopen(descriptor, "wb");
#endif
    if (!stream) {
        closeDescriptor(descriptor);
    }
    return stream;
}

void DiagnosticsToStderr::binaryStdin()
{
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
