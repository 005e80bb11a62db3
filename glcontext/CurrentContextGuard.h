#pragma once

#include <cstdint>
#include <memory>

namespace Tamrin {
namespace Solvane {

struct SavedBinding;

// Saves the calling thread's whole current OpenGL binding at construction and puts
// it back once, by restore() or by the destructor while an exception unwinds.
// When the binding is already the saved one, restoring makes no call. Restoring
// also gives back the record of which plug-in context is current on the thread
// (AEOpenGLContext::currentSerial), 0 when the caller's binding was not one.
// Changes no OpenGL state beyond the thread's current binding.
class CurrentContextGuard {
public:
    CurrentContextGuard();
    ~CurrentContextGuard();

    CurrentContextGuard(const CurrentContextGuard&) = delete;
    CurrentContextGuard& operator=(const CurrentContextGuard&) = delete;

    void restore();

private:
    bool restored_ = false;
    std::unique_ptr<SavedBinding> saved_;
    std::uint64_t savedSerial_ = 0;
};

} // namespace Solvane
} // namespace Tamrin
