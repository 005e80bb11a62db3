#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Test {

// While it lives, every AEOpenGLContext is made through a spy backend that passes each window-system step on to the
// native backend, except that a test can make one step fail, replace the extension string, pretend the process has
// stored no versioned-context entry yet, and see the order in which contexts are torn down.
class ContextPlatformSpy {
public:
    enum class Step { None, Surface, PlainContext, ExtensionString, VersionedContext, MakeCurrent, ShareObjects };

    ContextPlatformSpy();
    ~ContextPlatformSpy();

    ContextPlatformSpy(const ContextPlatformSpy&) = delete;
    ContextPlatformSpy& operator=(const ContextPlatformSpy&) = delete;

    // Every later construction fails at this step (Step::None: none fails).
    void failAt(Step step);
    // The shared-context path reads this text instead of the window system's extension string.
    void replaceExtensionString(const std::string& text);
    // From now on the versioned-context entry counts as stored only once a spy stores it.
    void simulateFreshProcess();

    // Native contexts of the spied backends, in the order of their teardown (also the clean-up of failed ones).
    std::vector<void*> tornDownContexts() const;
    // Native surfaces that the spied backends had when they were torn down, in that order (null where none).
    std::vector<void*> tornDownSurfaces() const;
    std::size_t backendsMade() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
