#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "standin/HostWorld.h"
#include "frei0r/Frei0rParameters.h"
#include "frei0r/SharedPlugin.h"

namespace Tamrin {
namespace Solvane {
namespace Frei0r {

// One effect instance of the module: a frame size, its parameter values, and the
// host's input and output worlds of that size (8-bit alpha, red, green, blue with
// padded rows), kept from frame to frame. It holds a share of the SharedPlugin
// from construction to destruction. A frame the plug-in refuses comes out as a
// copy of the input, and each reason is said once on standard error.
class Frei0rInstance {
public:
    // How an instance takes its share of the plug-in.
    enum class Start {
        NowOrThrow,      // at once; std::runtime_error when the plug-in cannot start
        NowOrPassFrames, // at once; when the plug-in cannot start, every frame passes through
        AtFirstFrame     // with the plug-in's defaults (the same values), starting it at the first frame
    };
    // Throws std::invalid_argument for an empty or oversized frame. An instance whose
    // plug-in cannot start passes its frames through with one message naming the cause.
    Frei0rInstance(unsigned int width, unsigned int height, Start start = Start::NowOrThrow);
    ~Frei0rInstance();

    Frei0rInstance(const Frei0rInstance&) = delete;
    Frei0rInstance& operator=(const Frei0rInstance&) = delete;

    Frei0rParameters& parameters() { return parameters_; }
    // Sets a value as the host hands it over; a value that had to be changed (out of its
    // range, not a number) is said once for each parameter on standard error.
    void setParameter(int index, const void* value);

    // One frame, frei0r's RGBA bytes in and out; `in` and `out` may be the same frame.
    void update(double seconds, const std::uint32_t* in, std::uint32_t* out);

private:
    void passThrough(const std::uint32_t* in, std::uint32_t* out, const char* reason, int code);

    int width_;
    int height_;
    StandIn::HostWorld input_;
    StandIn::HostWorld output_;
    Frei0rParameters parameters_;
    std::set<int> reported_;
    std::set<int> settled_; // the parameters whose changed value was said
    bool attached_ = false;
    std::string startFailure_; // why the plug-in could not start for this instance; empty when it did or was not tried
};

} // namespace Frei0r
} // namespace Solvane
} // namespace Tamrin
