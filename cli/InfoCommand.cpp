// solvane info: the plug-in's registration resource, decoded.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "standin/PiplInfo.h"
#include "standin/PluginLibrary.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

int infoCommand(const CommandContext& context)
{
    if (context.args.size() > 1) {
        throw UsageError("info: expected at most one plug-in path");
    }
    const std::string& pluginPath = context.args.empty() ? context.pluginPath : context.args[0];
    const StandIn::PiplInfo pipl = StandIn::decodePiplOf(pluginPath, StandIn::PluginLibrary::readRegistrationResource(pluginPath));
    std::printf("plug-in:          %s\n", pluginPath.c_str());
    std::printf("name:             %s\n", pipl.name.c_str());
    std::printf("category:         %s\n", pipl.category.c_str());
    std::printf("match name:       %s\n", pipl.matchName.c_str());
    std::printf("kind:             %s\n", pipl.kind.c_str());
    std::printf("entry point:      %s\n", pipl.entryPoint.c_str());
    std::printf("effect version:   %s (0x%X)\n", StandIn::describeEffectVersion(pipl.effectVersion).c_str(),
                pipl.effectVersion);
    std::printf("property list:    %d.%d\n", pipl.propertyListMajor, pipl.propertyListMinor);
    std::printf("host interface:   %d.%d\n", pipl.hostInterfaceMajor, pipl.hostInterfaceMinor);
    std::printf("info flags:       0x%X\n", pipl.infoFlags);
    std::printf("out flags:        0x%X\n", pipl.outFlags);
    std::printf("out flags 2:      0x%X\n", pipl.outFlags2);
    std::printf("reserved info:    0x%X\n", pipl.aeFlags);
    std::printf("properties:       %zu\n", pipl.propertyCount);
    return 0;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
