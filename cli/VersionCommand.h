#pragma once

namespace Tamrin {
namespace Solvane {
namespace Cli {

// `solvane version` and `solvane --version`: the program's name and the project's version on standard output.
int printVersion();

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
