#include "cli/ProcessMemory.h"

#include "cli/System.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

std::uint64_t ProcessMemory::residentBytes() { return System::residentBytes(); }

std::uint64_t ProcessMemory::peakResidentBytes() { return System::peakResidentBytes(); }

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
