#include "frei0r/Frei0rInstance.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "standin/PluginClient.h"

namespace Tamrin {
namespace Solvane {
namespace Frei0r {

namespace {

int checkedSize(unsigned int size)
{
    // The host's worlds measure rows in 32-bit bytes.
    if (size == 0 || size > (INT32_MAX - 64) / 4) {
        throw std::invalid_argument("no instance for a frame of " + std::to_string(size) +
                                    " pixels across or down");
    }
    return static_cast<int>(size);
}

// Codes for failures of the module itself, below every host error code.
constexpr int kThrownByRender = -1;
constexpr int kNoMemory = -2;
constexpr int kCannotStart = -3;

} // namespace

Frei0rInstance::Frei0rInstance(unsigned int width, unsigned int height, Start start)
    : width_(checkedSize(width)), height_(checkedSize(height)), input_(width_, height_), output_(width_, height_)
{
    if (start == Start::AtFirstFrame) {
        return;
    }
    try {
        parameters_ = SharedPlugin::instance().attach();
        attached_ = true;
    } catch (const std::exception& e) {
        if (start == Start::NowOrThrow) {
            throw;
        }
        startFailure_ = std::string("the effect cannot start: ") + e.what();
    }
}

Frei0rInstance::~Frei0rInstance()
{
    if (attached_) {
        SharedPlugin::instance().detach();
    }
}

void Frei0rInstance::setParameter(int index, const void* value)
{
    std::string note;
    if (parameters_.set(index, value, &note) && !note.empty() && settled_.insert(index).second) {
        std::fprintf(stderr, "ostrel_solvane: %s\n", note.c_str());
    }
}

void Frei0rInstance::update(double seconds, const std::uint32_t* in, std::uint32_t* out)
{
    if (!in || !out) {
        return;
    }
    if (!attached_ && startFailure_.empty()) {
        try {
            // The values the host set meanwhile stay: the defaults they started from are the plug-in's own.
            SharedPlugin::instance().attach();
            attached_ = true;
        } catch (const std::exception& e) {
            startFailure_ = std::string("the effect cannot start: ") + e.what();
        }
    }
    if (!attached_) {
        passThrough(in, out, startFailure_.c_str(), kCannotStart);
        return;
    }
    input_.setFromRgba(reinterpret_cast<const std::uint8_t*>(in));
    PF_Err error = PF_Err_NONE;
    std::string report;
    try {
        error = SharedPlugin::instance().render(parameters_, input_, output_, seconds, report);
    } catch (const std::bad_alloc&) {
        passThrough(in, out, "there was no memory for the render", kNoMemory);
        return;
    } catch (const std::exception& e) {
        passThrough(in, out, e.what(), kThrownByRender);
        return;
    }
    if (error != PF_Err_NONE) {
        if (reported_.count(error) == 0) {
            passThrough(in, out, StandIn::renderFailureCause(error, width_, height_, report).c_str(), error);
        } else {
            passThrough(in, out, "", error);
        }
        return;
    }
    output_.copyToRgba(reinterpret_cast<std::uint8_t*>(out));
}

void Frei0rInstance::passThrough(const std::uint32_t* in, std::uint32_t* out, const char* reason, int code)
{
    if (out != in) {
        std::memcpy(out, in, static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
    }
    if (reported_.insert(code).second) {
        std::fprintf(stderr,
                     "ostrel_solvane: the plug-in did not render a %dx%d frame: %s; such frames pass through "
                     "unchanged\n",
                     width_, height_, reason);
    }
}

} // namespace Frei0r
} // namespace Solvane
} // namespace Tamrin
