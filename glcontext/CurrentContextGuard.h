#pragma once

#include <memory>

namespace Tamrin {
namespace Solvane {

struct SavedBinding;

// Saves the calling thread's whole current OpenGL binding at construction and puts
// it back once, by restore() or by the destructor while an exception unwinds.
// When the binding is already the saved one, restoring makes no call.
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
};

} // namespace Solvane
} // namespace Tamrin
