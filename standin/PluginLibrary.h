#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "standin/PiplInfo.h"
#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// A plug-in library loaded the way the host loads one: its registration resource
// is read from the file first, then the library is loaded and the entry point is
// resolved by the name the resource gives. The library stays loaded for the life
// of the object. Errors are std::runtime_error with a message for the user.
class PluginLibrary {
public:
    // Reads the raw registration resource from the file without loading it. A path that
    // is empty, or names a folder, FIFO or device, is refused before anything opens it.
    static std::vector<std::uint8_t> readRegistrationResource(const std::string& path);

    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();

    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const PiplInfo& info() const { return info_; }
    PF_EntryPointFunc entryPoint() const { return entry_; }
    const std::string& path() const { return path_; }

    // Throws when the path is empty or names a folder, FIFO or device; looked at without opening it, since opening a
    // FIFO waits for a writer that never comes. A path that names nothing is left to the open, which says so.
    static void checkPluginPath(const std::string& path);

private:
    std::string path_;
    PiplInfo info_;
    void* handle_ = nullptr;
    PF_EntryPointFunc entry_ = nullptr;
};

// The plug-in that lies beside the running program.
std::string defaultPluginPath();

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
