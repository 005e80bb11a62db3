// The registration-resource readers on arbitrary bytes: the decoder of the resource itself, and the reader that
// finds it in a library file (the bytes as the whole file) before anything is loaded, as `solvane info` and
// `--plugin` use them. Either gives a description or a std::runtime_error.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "standin/PiplInfo.h"
#include "standin/PluginLibrary.h"

using namespace Tamrin::Solvane::StandIn;

namespace {

void describe(const std::vector<std::uint8_t>& bytes)
{
    try {
        const PiplInfo info = decodePipl(bytes);
        if (info.kind != "eFKT" || info.entryPoint.empty()) {
            __builtin_trap();
        }
        describeEffectVersion(info.effectVersion);
    } catch (const std::runtime_error&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    describe(std::vector<std::uint8_t>(data, data + size));

    // The bytes as a library file, in memory; only files that start as ELF go further than the first check.
    static const int file = memfd_create("plugin", 0);
    if (file < 0 || size < 4 || data[0] != 0x7F || data[1] != 'E') {
        return 0;
    }
    if (ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size)) {
        return 0;
    }
    try {
        describe(PluginLibrary::readRegistrationResource("/proc/self/fd/" + std::to_string(file)));
    } catch (const std::runtime_error&) {
    }
    return 0;
}
