#include "frei0r/SharedPlugin.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "egldevices/EglDevices.h"
#include "egldevices/EglDiagnosis.h"
#include "standin/ClientEnvironment.h"


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
    const std::string configured = StandIn::pluginNamedByEnvironment();
    return configured.empty() ? StandIn::pluginBesideModuleOf(reinterpret_cast<const void*>(&SharedPlugin::pluginPath))
                              : configured;
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

bool SharedPlugin::quietRequested() { return StandIn::quietRequestedByEnvironment(); }

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
    if (!session_) {
        auto thread = std::make_unique<StandIn::PluginThread>();
        diagnostics_ = quietRequested() ? StandIn::DiagnosticsToStderr::Target::Discard
                                        : StandIn::DiagnosticsToStderr::Target::StandardError;
        try {
            thread->run([this] {
                StandIn::DiagnosticsToStderr diagnostics(diagnostics_);
                auto session = std::make_unique<StandIn::PluginSession>(pluginPath(), "en_US");
                session->host().setFrameRate(kTimeScale, 1);
                session_ = std::move(session);
            });
        } catch (const StandIn::GlobalSetUpError& e) {
            // The library loaded; its OpenGL did not start. The plug-in says only its code: the cause is looked for.
            const std::string cause = diagnoseOpenGl(std::getenv(kEglDeviceVariable));
            throw std::runtime_error(std::string(e.what()) + (cause.empty() ? "" : ": " + cause));
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(std::string(e.what()) +
                                     " (the module loads OstrelSolvane.aex from its own folder, or the file that "
                                     "SOLVANE_PLUGIN names)");
        }
        thread_ = std::move(thread);
    }
    ++instances_;
    return Frei0rParameters::fromDeclared(session_->host().parameters());
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
    if (!session_ || instances_ > 0 || inits_ > 0) {
        return;
    }
    thread_->run([this] {
        StandIn::DiagnosticsToStderr diagnostics(diagnostics_);
        const PF_Err error = session_->close();
        if (error != PF_Err_NONE) {
            std::fprintf(stderr, "ostrel_solvane: the plug-in's global set-down failed: %s\n",
                         StandIn::describeError(error).c_str());
        }
        session_.reset();
    });
    thread_.reset();
}

PF_Err SharedPlugin::render(const Frei0rParameters& parameters, StandIn::HostWorld& input, StandIn::HostWorld& output,
                            double seconds, std::string* report)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!session_) {
        throw std::logic_error("render with no plug-in loaded");
    }
    PF_Err error = PF_Err_NONE;
    thread_->run([&] {
        StandIn::SubstituteHost& host = session_->host();
        parameters.applyTo(host, input.width(), input.height());
        StandIn::DiagnosticsToStderr diagnostics(diagnostics_);
        error = host.render(input, output, hostTime(seconds));
        if (error != PF_Err_NONE && report) {
            // The plug-in's report goes with the module's one message about the frame; lines before it as always.
            const std::string lines = diagnostics.takeLines();
            std::size_t start = lines.size();
            for (const char* marker : {"Shader ", "Program error:", "framebuffer incomplete"}) {
                start = std::min(start, lines.find(marker));
            }
            diagnostics.forward(lines.substr(0, start));
            // Each program that shares a broken shader says the same: the first message is the log.
            *report = start < lines.size() ? lines.substr(start, lines.find("\n\n", start) - start) : std::string();
        }
    });
    return error;
}

} // namespace Frei0r
} // namespace Solvane
} // namespace Tamrin
