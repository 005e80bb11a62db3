#include "standin/DiagnosticsToStderr.h"

#include <iostream>

#include "standin/Descriptors.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

DiagnosticsToStderr::DiagnosticsToStderr(Destination destination)
{
    std::cout.flush();
    std::fflush(stdout);
    saved_ = Descriptors::duplicate(1);
    if (saved_ < 0) {
        return;
    }
    const int nullDevice = destination == Destination::NullDevice ? Descriptors::openNullDevice() : -1;
    if (nullDevice >= 0) {
        Descriptors::duplicateOnto(nullDevice, 1);
        Descriptors::close(nullDevice);
    } else {
        Descriptors::duplicateOnto(2, 1);
    }
}

DiagnosticsToStderr::~DiagnosticsToStderr()
{
    std::cout.flush();
    std::fflush(stdout);
    if (saved_ >= 0) {
        Descriptors::duplicateOnto(saved_, 1);
        Descriptors::close(saved_);
    }
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
