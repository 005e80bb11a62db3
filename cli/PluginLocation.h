#pragma once

#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The plug-in solvane loads when no --plugin is given, found from solvane's own file: beside it (the build folder, a
// Windows folder), else in the frei0r folder of the installation it belongs to (bin/../lib/frei0r-1 for the
// default folders; the path is worked out from the install folders when the build is configured). When none of
// them exists, the path beside solvane, so that the error names it.
std::string installedPluginPath();

// The candidates in the order they are tried, for the program whose file is `self`.
// `fromBin` is the frei0r folder relative to the folder of `self` (may be empty), `absolute` an absolute frei0r folder
// (may be empty).
std::string findPlugin(const std::string& self, const std::string& fromBin, const std::string& absolute);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
