#include "standin/PluginLibrary.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

void PluginLibrary::checkPluginPath(const std::string& path)
{
    if (path.empty()) {
        throw std::runtime_error("the plug-in file: empty path");
    }
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(std::filesystem::path(path), error);
    if (error || !std::filesystem::exists(status)) {
        return;
    }
    if (std::filesystem::is_directory(status)) {
        throw std::runtime_error(path + ": is a directory, not the plug-in file");
    }
    if (!std::filesystem::is_regular_file(status)) {
        throw std::runtime_error(path + ": is not a regular file (a FIFO, device or socket), not the plug-in file");
    }
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
