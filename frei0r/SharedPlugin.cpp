#include "frei0r/SharedPlugin.h"

#include <dlfcn.h>

#include <cstdio>
#include <stdexcept>

#include "standin/ClientEnvironment.h"
#include "standin/EffectValues.h"


namespace Tamrin {
namespace Solvane {
namespace Frei0r {

SharedPlugin& SharedPlugin::instance()
{
    static SharedPlugin* const shared = new SharedPlugin;
    return *shared;
}

std::string SharedPlugin::pluginPath()
{
    return StandIn::clientPluginPath(
        StandIn::pluginBesideModuleOf(reinterpret_cast<const void*>(&SharedPlugin::pluginPath)));
}

SharedPlugin::FailedConstruction SharedPlugin::hostTreatmentOfFailedConstruction()
{
    // The hosts are known by their libraries, which are in the process when they load frei0r modules.
    if (dlsym(RTLD_DEFAULT, "gst_element_register") != nullptr) {
        return FailedConstruction::KeptInRegistry;
    }
    if (dlsym(RTLD_DEFAULT, "mlt_factory_init") != nullptr) {
        return FailedConstruction::RenderedOn;
    }
    return FailedConstruction::Reported;
}

A_long SharedPlugin::hostTime(double seconds) { return StandIn::scaledToInt32(seconds, kTimeScale); }

void SharedPlugin::init()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++inits_;
}

void SharedPlugin::deinit()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (inits_ > 0) {
        --inits_;
    }
    releaseIfUnused();
}

Frei0rParameters SharedPlugin::attach()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!client_) {
        client_ = std::make_unique<StandIn::PluginClient>(
            pluginPath(), StandIn::PluginClient::Threading::Own, StandIn::diagnosticsTarget(),
            "the module loads OstrelSolvane.aex from its own folder, or the file that SOLVANE_PLUGIN names",
            [](StandIn::SubstituteHost& host) { host.setFrameRate(kTimeScale, 1); });
    }
    ++instances_;
    return Frei0rParameters::fromDeclared(client_->declared());
}

void SharedPlugin::detach()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (instances_ > 0) {
        --instances_;
    }
    releaseIfUnused();
}

void SharedPlugin::releaseIfUnused()
{
    if (!client_ || instances_ > 0 || inits_ > 0) {
        return;
    }
    const PF_Err error = client_->close();
    if (error != PF_Err_NONE) {
        std::fprintf(stderr, "ostrel_solvane: the plug-in's global set-down failed: %s\n",
                     StandIn::describeError(error).c_str());
    }
    client_.reset();
}

PF_Err SharedPlugin::render(const Frei0rParameters& parameters, StandIn::HostWorld& input, StandIn::HostWorld& output,
                            double seconds, std::string& report)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!client_) {
        throw std::logic_error("render with no plug-in loaded");
    }
    return client_->render(
        [&](StandIn::SubstituteHost& host) { parameters.applyTo(host, input.width(), input.height()); }, input,
        output, hostTime(seconds), report);
}

} // namespace Frei0r
} // namespace Solvane
} // namespace Tamrin
