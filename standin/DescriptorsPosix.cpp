#include "standin/Descriptors.h"

#include <fcntl.h>
#include <unistd.h>

namespace Tamrin {
namespace Solvane {
namespace StandIn {
namespace Descriptors {

int duplicate(int descriptor) { return dup(descriptor); }

int duplicateOnto(int from, int to) { return dup2(from, to); }

int close(int descriptor) { return ::close(descriptor); }

int openNullDevice() { return open("/dev/null", O_WRONLY | O_CLOEXEC); }

std::FILE* binaryWriteStream(int descriptor) { return fdopen(descriptor, "wb"); }

void binaryStdin() {}

} // namespace Descriptors
} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
