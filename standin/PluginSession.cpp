#include "standin/PluginSession.h"

#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

PluginSession::PluginSession(const std::string& pluginPath, const std::string& languageTag)
    : library_(std::make_unique<PluginLibrary>(pluginPath)),
      host_(std::make_unique<SubstituteHost>(library_->entryPoint(), languageTag))
{
    PF_Err error = host_->globalSetUp();
    if (error != PF_Err_NONE) {
        throw GlobalSetUpError("the plug-in's global set-up failed: " + describeError(error), error);
    }
    setUp_ = true;
    error = host_->paramsSetUp();
    if (error != PF_Err_NONE) {
        close();
        throw std::runtime_error("the plug-in's parameter set-up failed: " + describeError(error));
    }
}

PluginSession::~PluginSession() { close(); }

PF_Err PluginSession::close()
{
    if (!setUp_) {
        return PF_Err_NONE;
    }
    setUp_ = false;
    return host_->globalSetDown();
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
