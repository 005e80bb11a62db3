#include "standin/PluginClient.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "standin/ClientEnvironment.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

namespace {

const char* qualityName(int choice)
{
    switch (choice) {
    case 1:
        return "High";
    case 2:
        return "Medium";
    case 3:
        return "Low";
    default:
        return nullptr;
    }
}

} // namespace

std::string clientPluginPath(const std::string& besideClient)
{
    const std::string configured = pluginNamedByEnvironment();
    return configured.empty() ? besideClient : configured;
}

DiagnosticsToStderr::Target diagnosticsTarget()
{
    return quietRequestedByEnvironment() ? DiagnosticsToStderr::Target::Discard
                                         : DiagnosticsToStderr::Target::StandardError;
}

std::string setUpFailure(const std::exception& failure, const std::string& whereLooked)
{
    if (dynamic_cast<const GlobalSetUpError*>(&failure)) {
        // The library loaded; its OpenGL did not start, and the plug-in says only its code.
        const std::string cause = openGlCause();
        return std::string(failure.what()) + (cause.empty() ? "" : ": " + cause);
    }
    return std::string(failure.what()) + (whereLooked.empty() ? "" : " (" + whereLooked + ")");
}

std::string describeRenderFailure(PF_Err error, int width, int height, int qualityChoice, const std::string& report)
{
    std::string text = "the plug-in could not render the frame (" + std::to_string(width) + "x" +
                       std::to_string(height);
    if (const char* quality = qualityName(qualityChoice)) {
        text += std::string(", ") + quality + " quality";
    }
    return text + "): " + renderFailureCause(error, width, height, report);
}

std::string renderFailureCause(PF_Err error, int width, int height, const std::string& report)
{
    std::string text = describeError(error);
    if (error == PF_Err_OUT_OF_MEMORY) {
        // Every frame-sized surface of the plug-in is RGBA32F: 16 bytes a pixel.
        const std::uint64_t mebibytes = (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 16 +
                                         (1u << 20) - 1) >> 20;
        text += ": the OpenGL driver would not allocate the frame's float (RGBA32F) surfaces, " +
                std::to_string(mebibytes) +
                " MiB for each frame-sized one (a centre far outside the frame at High needs larger ones)";
    }
    if (error == PF_Err_INTERNAL_STRUCT_DAMAGED) {
        // The plug-in's code for an OpenGL context it could not make: the cause is looked for here.
        const std::string cause = openGlCause();
        if (!cause.empty()) {
            text += ": " + cause;
        }
    }
    if (!report.empty()) {
        text += "; the plug-in reported:\n" + report;
    }
    return text;
}

PluginLines splitPluginLines(const std::string& lines)
{
    std::size_t start = std::string::npos;
    for (const char* marker : {"Shader vert error:", "Shader frag error:", "Program error:", "framebuffer incomplete"}) {
        const std::size_t found = lines.find(marker);
        if (found != std::string::npos && (start == std::string::npos || found < start)) {
            start = found;
        }
    }
    if (start == std::string::npos) {
        return {lines, std::string()};
    }
    // Every program that shares a broken shader reports it again: each message once.
    std::vector<std::string> messages;
    const std::string rest = lines.substr(start);
    for (std::size_t at = 0; at < rest.size();) {
        std::size_t end = rest.find("\n\n", at);
        if (end == std::string::npos) {
            end = rest.size();
        }
        std::string message = rest.substr(at, end - at);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
            message.pop_back();
        }
        if (!message.empty() && std::find(messages.begin(), messages.end(), message) == messages.end()) {
            messages.push_back(message);
        }
        at = end + 2;
    }
    PluginLines split{lines.substr(0, start), std::string()};
    for (const std::string& message : messages) {
        split.report += (split.report.empty() ? "" : "\n") + message;
    }
    return split;
}

PluginClient::PluginClient(const std::string& pluginPath, Threading threading, DiagnosticsToStderr::Target target,
                           const std::string& whereLooked, const std::function<void(SubstituteHost&)>& configure)
    : target_(target)
{
    if (threading == Threading::Own) {
        thread_ = std::make_unique<PluginThread>();
    }
    try {
        run([&] {
            DiagnosticsToStderr diagnostics(target_);
            auto session = std::make_unique<PluginSession>(pluginPath, "en_US");
            if (configure) {
                configure(session->host());
            }
            session_ = std::move(session);
        });
    } catch (const std::exception& e) {
        throw std::runtime_error(setUpFailure(e, whereLooked));
    }
}

PluginClient::~PluginClient()
{
    try {
        close();
    } catch (...) {
        // A destructor says nothing: close() is there for a caller that wants the set-down's answer.
    }
}

void PluginClient::run(const std::function<void()>& job)
{
    if (thread_) {
        thread_->run(job);
    } else {
        job();
    }
}

PF_Err PluginClient::render(const std::function<void(SubstituteHost&)>& apply, HostWorld& input, HostWorld& output,
                            A_long time, std::string& report)
{
    if (!session_) {
        throw std::logic_error("render with no plug-in loaded");
    }
    PF_Err error = PF_Err_NONE;
    report.clear();
    run([&] {
        SubstituteHost& host = session_->host();
        apply(host);
        DiagnosticsToStderr diagnostics(target_);
        error = host.render(input, output, time);
        if (error != PF_Err_NONE) {
            // The report goes with the client's one message about the frame, quiet or not; lines before it as always.
            const PluginLines lines = splitPluginLines(diagnostics.takeLines());
            diagnostics.forward(lines.before);
            report = lines.report;
        }
    });
    return error;
}

PF_Err PluginClient::close()
{
    if (!session_) {
        return PF_Err_NONE;
    }
    PF_Err error = PF_Err_NONE;
    run([&] {
        DiagnosticsToStderr diagnostics(target_);
        error = session_->close();
        session_.reset();
    });
    thread_.reset();
    return error;
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
