#include "frei0r/SharedPlugin.h"

#include <dlfcn.h>

#include <cstdio>
#include <stdexcept>
#include <string>

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

std::string SharedPlugin::unusableWidth(unsigned int width)
{
    constexpr unsigned int kRowAlignment = 16;
    if (width % kRowAlignment == 0 || hostTreatmentOfFailedConstruction() != FailedConstruction::Reported ||
        dlsym(RTLD_DEFAULT, "avfilter_graph_alloc") == nullptr) {
        return std::string();
    }
    const std::string w = std::to_string(width);
    const std::string padded = std::to_string((width / kRowAlignment + 1) * kRowAlignment);
    return "ffmpeg's frei0r filter pads the rows of a frame " + w +
           " pixels wide, which the module would read as packed pixels and scramble; the width must be a multiple "
           "of 16: pad the frame and crop it back, for example -vf \"pad=" + padded +
           ":ih,frei0r=filter_name=ostrel_solvane:filter_params=...,crop=" + w +
           ":ih:0:0\" (the centre's fractions are then of the padded width)";
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
