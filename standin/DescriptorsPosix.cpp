#include "standin/Descriptors.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Tamrin {
namespace Solvane {
namespace StandIn {
namespace Descriptors {

int duplicate(int descriptor) { return dup(descriptor); }

int duplicateOnto(int from, int to) { return dup2(from, to); }

int close(int descriptor) { return ::close(descriptor); }

int openNullDevice() { return open("/dev/null", O_WRONLY | O_CLOEXEC); }

std::FILE* binaryWriteStream(int descriptor) { return fdopen(descriptor, "wb"); }

int openScratchFile()
{
    const int descriptor = memfd_create("solvane-diagnostics", MFD_CLOEXEC);
    if (descriptor < 0) {
        return -1;
    }
    if (fcntl(descriptor, F_SETFL, O_APPEND) != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

std::string takeScratchFile(int descriptor)
{
    struct stat status;
    if (fstat(descriptor, &status) != 0 || status.st_size <= 0) {
        return std::string();
    }
    std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pread(descriptor, &bytes[done], bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    // Emptied for the next take; should that fail, the next take repeats these bytes.
    const int emptied = ftruncate(descriptor, 0);
    static_cast<void>(emptied);
    return bytes;
}

void writeAll(int descriptor, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void binaryStdin() {}

} // namespace Descriptors
} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
