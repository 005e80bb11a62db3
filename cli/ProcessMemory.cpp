#include "cli/ProcessMemory.h"

#include <cstdio>
#include <cstring>

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

// A "Name:   1234 kB" line of /proc/self/status.
std::uint64_t statusKilobytes(const char* name)
{
#if defined(__linux__)
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) {
        return 0;
    }
    char line[256];
    std::uint64_t kilobytes = 0;
    const std::size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, name, length) == 0 && line[length] == ':') {
            unsigned long long value = 0;
            if (std::sscanf(line + length + 1, "%llu", &value) == 1) {
                kilobytes = value;
            }
            break;
        }
    }
    std::fclose(status);
    return kilobytes;
#else
    (void)name;
    return 0;
#endif
}

} // namespace

std::uint64_t ProcessMemory::residentBytes() { return statusKilobytes("VmRSS") * 1024; }

std::uint64_t ProcessMemory::peakResidentBytes() { return statusKilobytes("VmHWM") * 1024; }

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
