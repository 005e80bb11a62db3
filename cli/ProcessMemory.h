#pragma once

#include <cstdint>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The memory this process holds, as the operating system counts it, for the
// stress runs that must show it flat. Zero where the figure is not available.
class ProcessMemory {
public:
    static std::uint64_t residentBytes();     // resident set now
    static std::uint64_t peakResidentBytes(); // highest resident set so far
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
