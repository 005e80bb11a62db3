#pragma once

#include <string>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// What the environment tells a client of the plug-in that another program loads (the frei0r module, the OBS
// module, the GIMP plug-in), which has no command line of its own: SOLVANE_PLUGIN names the plug-in to load, and
// SOLVANE_QUIET (anything but empty or "0") drops the plug-in's diagnostic lines.

// The plug-in SOLVANE_PLUGIN names; empty when it is unset or empty.
std::string pluginNamedByEnvironment();

// Whether SOLVANE_QUIET asks for the plug-in's lines to be dropped.
bool quietRequestedByEnvironment();

// OstrelSolvane.aex beside the shared object that holds `address` (a function of the client's own): a host loads
// its modules from folders of its choosing, and the plug-in is installed beside each.
std::string pluginBesideModuleOf(const void* address);

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
