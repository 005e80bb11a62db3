#include "obs/LoadedPlugin.h"

#include <stdexcept>

#include "standin/ClientEnvironment.h"

namespace Tamrin {
namespace Solvane {
namespace Obs {

LoadedPlugin& LoadedPlugin::instance()
{
    // Not destroyed at exit: OBS unloads the module first (shutDown), and a plug-in
    // still loaded at exit is left to the system, whose OpenGL driver may be gone.
    static LoadedPlugin* const loaded = new LoadedPlugin;
    return *loaded;
}

std::string LoadedPlugin::pluginPath()
{
    return StandIn::clientPluginPath(
        StandIn::pluginBesideModuleOf(reinterpret_cast<const void*>(&LoadedPlugin::pluginPath)));
}

StandIn::EffectDeclaration LoadedPlugin::load()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!client_) {
        client_ = std::make_unique<StandIn::PluginClient>(
            pluginPath(), StandIn::PluginClient::Threading::Own, StandIn::diagnosticsTarget(),
            "the module loads OstrelSolvane.aex from its own folder, or the file that SOLVANE_PLUGIN names");
        declaration_ = StandIn::EffectDeclaration(client_->declared());
    }
    return declaration_;
}

PF_Err LoadedPlugin::render(const StandIn::EffectValues& values, StandIn::HostWorld& input,
                            StandIn::HostWorld& output, std::string& report)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!client_) {
        throw std::logic_error("render with no plug-in loaded");
    }
    const double centerX = values.centerX / 100.0 * input.width();
    const double centerY = values.centerY / 100.0 * input.height();
    return client_->render(
        [&](StandIn::SubstituteHost& host) { declaration_.apply(host, values, centerX, centerY); }, input, output, 0,
        report);
}

bool LoadedPlugin::shutDown(std::string& failure)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!client_) {
        return true;
    }
    const PF_Err error = client_->close();
    client_.reset();
    if (error != PF_Err_NONE) {
        failure = StandIn::describeError(error);
        return false;
    }
    return true;
}

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
