#include "standin/Descriptors.h"

#include <fcntl.h>
#include <io.h>

namespace Tamrin {
namespace Solvane {
namespace StandIn {
namespace Descriptors {

int duplicate(int descriptor) { return _dup(descriptor); }

int duplicateOnto(int from, int to) { return _dup2(from, to); }

int close(int descriptor) { return _close(descriptor); }

int openNullDevice() { return _open("NUL", _O_WRONLY); }

std::FILE* binaryWriteStream(int descriptor)
{
    _setmode(descriptor, _O_BINARY);
    return _fdopen(descriptor, "wb");
}

int openScratchFile() { return -1; }

std::string takeScratchFile(int) { return std::string(); }

void writeAll(int descriptor, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int written = _write(descriptor, bytes.data() + done, static_cast<unsigned int>(bytes.size() - done));
        if (written <= 0) {
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

void binaryStdin() { _setmode(_fileno(stdin), _O_BINARY); }

} // namespace Descriptors
} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
