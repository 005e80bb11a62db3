#include "obs/LoadedPlugin.h"

#include <cstdlib>
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
    const std::string configured = StandIn::pluginNamedByEnvironment();
    return configured.empty() ? StandIn::pluginBesideModuleOf(reinterpret_cast<const void*>(&LoadedPlugin::pluginPath))
                              : configured;
}

FilterValues LoadedPlugin::load()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!session_) {
        auto thread = std::make_unique<StandIn::PluginThread>();
        diagnostics_ = StandIn::quietRequestedByEnvironment() ? StandIn::DiagnosticsToStderr::Target::Discard
                                        : StandIn::DiagnosticsToStderr::Target::StandardError;
        try {
            thread->run([this] {
                StandIn::DiagnosticsToStderr diagnostics(diagnostics_);
                session_ = std::make_unique<StandIn::PluginSession>(pluginPath(), "en_US");
            });
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(std::string(e.what()) +
                                     " (the module loads OstrelSolvane.aex from its own folder, or the file that "
                                     "SOLVANE_PLUGIN names)");
        }
        thread_ = std::move(thread);
    }
    return FilterValues::fromDeclared(session_->host().parameters());
}

PF_Err LoadedPlugin::render(const FilterValues& values, StandIn::HostWorld& input, StandIn::HostWorld& output)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!session_) {
        throw std::logic_error("render with no plug-in loaded");
    }
    PF_Err error = PF_Err_NONE;
    thread_->run([&] {
        StandIn::SubstituteHost& host = session_->host();
        values.applyTo(host, input.width(), input.height());
        StandIn::DiagnosticsToStderr diagnostics(diagnostics_);
        error = host.render(input, output, 0);
    });
    return error;
}

bool LoadedPlugin::shutDown(std::string& failure)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!session_) {
        return true;
    }
    PF_Err error = PF_Err_NONE;
    thread_->run([&] {
        StandIn::DiagnosticsToStderr diagnostics(diagnostics_);
        error = session_->close();
        session_.reset();
    });
    thread_.reset();
    if (error != PF_Err_NONE) {
        failure = StandIn::describeError(error);
        return false;
    }
    return true;
}

} // namespace Obs
} // namespace Solvane
} // namespace Tamrin
