#include "cli/PluginLocation.h"

#include <sys/stat.h>

#include <vector>

#include "standin/PluginLibrary.h"

#ifndef SOLVANE_FREI0R_DIR_FROM_BIN
#define SOLVANE_FREI0R_DIR_FROM_BIN ""
#endif
#ifndef SOLVANE_FREI0R_DIR_ABSOLUTE
#define SOLVANE_FREI0R_DIR_ABSOLUTE ""
#endif

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

constexpr char kPluginFile[] = "OstrelSolvane.aex";

bool isFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

std::string findPlugin(const std::string& self, const std::string& fromBin, const std::string& absolute)
{
    const std::string folder = self.substr(0, self.find_last_of("\\/") + 1);
    std::vector<std::string> candidates{folder + kPluginFile};
    if (!fromBin.empty()) {
        candidates.push_back(folder + fromBin + "/" + kPluginFile);
    }
    if (!absolute.empty()) {
        candidates.push_back(absolute + "/" + kPluginFile);
    }
    for (const std::string& candidate : candidates) {
        if (isFile(candidate)) {
            return candidate;
        }
    }
    return candidates.front();
}

std::string installedPluginPath()
{
    // defaultPluginPath() is the file beside the running program, so its folder is the program's.
    return findPlugin(StandIn::defaultPluginPath(), SOLVANE_FREI0R_DIR_FROM_BIN, SOLVANE_FREI0R_DIR_ABSOLUTE);
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
