// Places the registration resource in the library file itself, where a host reads
// it without loading the library: an ELF section of its own named ".pipl". (The
// Windows build carries the same bytes as resource "PIPL" 16000 instead; CMake
// builds this file for the other platforms only.)
#include "host/PiplResource.h"

namespace Tamrin {
namespace Solvane {
namespace Pipl {

__attribute__((section(".pipl"), used)) const Bytes kSection = kBytes;

} // namespace Pipl
} // namespace Solvane
} // namespace Tamrin
