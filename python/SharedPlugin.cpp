#include "python/SharedPlugin.h"

#include <pthread.h>

#include <optional>

#include "host/ParameterIndex.h"
#include "standin/ClientEnvironment.h"

namespace Tamrin {
namespace Solvane {
namespace Python {

namespace {

const char* const kForkAdvice =
    "ostrel_solvane cannot render in a process forked from one that had already used it: the plug-in's OpenGL "
    "stays in the parent. Start worker processes with multiprocessing's 'spawn' or 'forkserver' method "
    "(multiprocessing.get_context(\"spawn\")), or make the first render, ostrel_solvane.parameters() or "
    "LightShafts call in the workers, not before they are forked";

} // namespace

SharedPlugin& SharedPlugin::instance()
{
    // Not destroyed at exit: the interpreter sets the plug-in down through shutDown first, and a plug-in still
    // loaded after that is left to the system, whose OpenGL driver may be gone.
    static SharedPlugin* const plugin = new SharedPlugin;
    return *plugin;
}

SharedPlugin::SharedPlugin()
{
    pthread_atfork(&SharedPlugin::beforeFork, &SharedPlugin::afterForkInParent, &SharedPlugin::afterForkInChild);
}

std::string SharedPlugin::pluginPath()
{
    const std::string configured = StandIn::pluginNamedByEnvironment();
    return configured.empty() ? StandIn::pluginBesideModuleOf(reinterpret_cast<const void*>(&SharedPlugin::pluginPath))
                              : configured;
}

void SharedPlugin::checkNotInherited() const
{
    if (inherited_) {
        throw InheritedAcrossFork(kForkAdvice);
    }
}

void SharedPlugin::startLocked()
{
    checkNotInherited();
    if (session_) {
        return;
    }
    diagnostics_ = StandIn::quietRequestedByEnvironment() ? StandIn::DiagnosticsToStderr::Target::Discard
                                                          : StandIn::DiagnosticsToStderr::Target::StandardError;
    auto thread = std::make_unique<StandIn::PluginThread>();
    const std::string path = pluginPath();
    try {
        thread->run([&] {
            StandIn::DiagnosticsToStderr diagnostics(diagnostics_);
            session_ = std::make_unique<StandIn::PluginSession>(path, "en_US");
        });
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("the Ostrel Solvane plug-in could not be loaded from " + path + ": " + e.what() +
                                 " (the module loads OstrelSolvane.aex from its own folder, or the file that "
                                 "SOLVANE_PLUGIN names)");
    }
    thread_ = std::move(thread);
    firstFrameDone_ = false;
}

std::vector<StandIn::HostParameter> SharedPlugin::declared()
{
    std::lock_guard<std::mutex> lock(mutex_);
    startLocked();
    return session_->host().parameters();
}

void SharedPlugin::render(const ShaftSettings& settings, StandIn::HostWorld& input, StandIn::HostWorld& output)
{
    std::lock_guard<std::mutex> lock(mutex_);
    startLocked();
    PF_Err error = PF_Err_NONE;
    int quality = 0;
    thread_->run([&] {
        StandIn::SubstituteHost& host = session_->host();
        settings.applyTo(host);
        quality = host.parameter(kParamQuality).current.u.pd.value;
        std::optional<StandIn::DiagnosticsToStderr> diagnostics;
        if (!firstFrameDone_) {
            // The thread's OpenGL context is made with the first frame, and the plug-in says which it got.
            diagnostics.emplace(diagnostics_);
        }
        error = host.render(input, output, 0);
        firstFrameDone_ = true;
    });
    if (error != PF_Err_NONE) {
        static const char* const qualities[] = {"High", "Medium", "Low"};
        std::string frame = std::to_string(input.width()) + "x" + std::to_string(input.height());
        if (quality >= 1 && quality <= 3) {
            frame += ", " + std::string(qualities[quality - 1]) + " quality";
        }
        const std::string cause = StandIn::describeError(error);
        throw RenderRefused("the Ostrel Solvane plug-in did not render the frame (" + frame + "): " + cause, error,
                            cause);
    }
}

std::string SharedPlugin::shutDown()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (inherited_ || !session_) {
        return "";
    }
    PF_Err error = PF_Err_NONE;
    thread_->run([&] {
        StandIn::DiagnosticsToStderr diagnostics(diagnostics_);
        error = session_->close();
        session_.reset();
    });
    thread_.reset();
    return error == PF_Err_NONE ? "" : StandIn::describeError(error);
}

void SharedPlugin::beforeFork()
{
    // No frame is in the plug-in while the process forks, so no lock of the plug-in thread is held in the copy.
    instance().mutex_.lock();
}

void SharedPlugin::afterForkInParent() { instance().mutex_.unlock(); }

void SharedPlugin::afterForkInChild()
{
    SharedPlugin& plugin = instance();
    if (plugin.session_) {
        // The thread is not in the child, nor are the driver's own threads: neither may be joined or run. The
        // objects are kept, never used.
        (void)plugin.session_.release();
        (void)plugin.thread_.release();
        plugin.inherited_ = true;
    }
    plugin.mutex_.unlock();
}

} // namespace Python
} // namespace Solvane
} // namespace Tamrin
