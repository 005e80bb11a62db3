#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "standin/HostWorld.h"
#include "standin/PluginClient.h"
#include "frei0r/Frei0rParameters.h"

namespace Tamrin {
namespace Solvane {
namespace Frei0r {

// The one loaded plug-in that every instance of the module shares, as a host shares
// a loaded effect between layers: one PluginSession (library, substitute host,
// global and parameter set-up) for the whole process, through the client core
// (StandIn::PluginClient). It is set up by the first instance and set down when no
// instance is left and every f0r_init has had its f0r_deinit, so a host that
// re-creates its instances keeps the plug-in loaded. Every call into the plug-in runs
// on the client's own thread, from set-up to set-down. One mutex serialises the
// callers: the plug-in renders one frame at a time, and its host's parameter store is
// shared. The plug-in's standard output goes to standard error, or to nowhere when
// SOLVANE_QUIET asks for quiet (read when the plug-in is set up); the plug-in itself
// reads SOLVANE_EGL_DEVICE alone, for its choice of display.
class SharedPlugin {
public:
    // The process's one object. It is never destroyed: at process exit the OpenGL
    // driver may be gone before static destructors run, so a plug-in still loaded
    // then is left to the system.
    static SharedPlugin& instance();

    // The plug-in file: $SOLVANE_PLUGIN when set, else OstrelSolvane.aex beside this module.
    static std::string pluginPath();

    // What the frei0r host in this process does with an instance that cannot be made.
    // ffmpeg reports it and fails. MLT renders on without one, showing black and then
    // stale frames: there an instance whose plug-in cannot start is made anyway and
    // passes its frames through, saying why once. GStreamer makes an instance only to
    // read the defaults when it scans its plug-ins, and keeps the answer in its registry
    // for good: there instances start the plug-in at their first frame, so that a scan
    // never depends on the device, and pass frames through as in MLT when it cannot start.
    enum class FailedConstruction { Reported, RenderedOn, KeptInRegistry };
    static FailedConstruction hostTreatmentOfFailedConstruction();

    // Why this process's frei0r host cannot hand the module frames `width` pixels
    // across as packed rows, with the way around it; empty when it can. ffmpeg 5.1's
    // frei0r filter passes its frames as they are, rows padded to 64 bytes (16
    // pixels); the module would read them as packed and scramble the picture.
    static std::string unusableWidth(unsigned int width);

    // Host time in the host's ticks (time_scale per second) for a time in seconds,
    // rounded and kept within the host's 32-bit range; 0 for a time that is not a number.
    static A_long hostTime(double seconds);
    static constexpr A_u_long kTimeScale = 1000;

    void init();
    void deinit();

    // An instance begins: loads and sets up the plug-in if it is not, and returns its
    // declared defaults. Throws std::runtime_error, with the reason, when it cannot.
    Frei0rParameters attach();
    // An instance ends.
    void detach();

    // One frame through the plug-in with an instance's values; the plug-in's result.
    // `report` receives what the plug-in reported on a failed frame (its shader or
    // program log), which is then not passed on with its other lines.
    PF_Err render(const Frei0rParameters& parameters, StandIn::HostWorld& input, StandIn::HostWorld& output, double seconds,
                  std::string& report);

private:
    SharedPlugin() = default;
    void releaseIfUnused();

    std::mutex mutex_;
    std::unique_ptr<StandIn::PluginClient> client_;
    int inits_ = 0;
    int instances_ = 0;
};

} // namespace Frei0r
} // namespace Solvane
} // namespace Tamrin
