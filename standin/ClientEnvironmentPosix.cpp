#include "standin/ClientEnvironment.h"

#include <dlfcn.h>

#include <cstdlib>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

std::string pluginBesideModuleOf(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) != 0 && info.dli_fname) {
        // A module reached through a link (a frei0r folder linking the tarball's module) takes the plug-in beside
        // the file it links to, whose run path finds the libraries that came with it.
        char* real = realpath(info.dli_fname, nullptr);
        const std::string module = real ? real : info.dli_fname;
        std::free(real);
        const auto slash = module.rfind('/');
        if (slash != std::string::npos) {
            return module.substr(0, slash + 1) + "OstrelSolvane.aex";
        }
    }
    return "OstrelSolvane.aex";
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
