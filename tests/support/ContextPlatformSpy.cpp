#include "support/ContextPlatformSpy.h"

#include "glcontext/ContextPlatform.h"

#include <mutex>
#include <optional>

namespace Tamrin {
namespace Solvane {
namespace Test {

struct ContextPlatformSpy::State {
    mutable std::mutex lock;
    Step failAt = Step::None;
    std::optional<std::string> extensionString;
    bool freshProcess = false;
    bool entryStored = false;
    std::vector<void*> tornDownContexts;
    std::vector<void*> tornDownSurfaces;
    std::size_t backendsMade = 0;

    bool fails(Step step) const
    {
        std::lock_guard<std::mutex> guard(lock);
        return failAt == step;
    }
};

namespace {

using Step = ContextPlatformSpy::Step;

class SpiedPlatform final : public ContextPlatform {
public:
    explicit SpiedPlatform(std::shared_ptr<ContextPlatformSpy::State> state)
        : state_(std::move(state)), native_(ContextPlatform::createNative())
    {
    }

    ~SpiedPlatform() override
    {
        {
            std::lock_guard<std::mutex> guard(state_->lock);
            state_->tornDownContexts.push_back(native_->nativeContext());
            state_->tornDownSurfaces.push_back(native_->nativeSurface());
        }
        native_.reset();
    }

    bool createSurface(const std::string& windowClassName) override
    {
        return !state_->fails(Step::Surface) && native_->createSurface(windowClassName);
    }
    bool createPlainContext() override
    {
        return !state_->fails(Step::PlainContext) && native_->createPlainContext();
    }
    const char* extensionString() override
    {
        if (state_->fails(Step::ExtensionString)) {
            return nullptr;
        }
        std::lock_guard<std::mutex> guard(state_->lock);
        if (state_->extensionString) {
            extensions_ = *state_->extensionString;
            return extensions_.c_str();
        }
        return native_->extensionString();
    }
    const char* createContextExtensionName() const override { return native_->createContextExtensionName(); }
    void storeVersionedContextEntry() override
    {
        native_->storeVersionedContextEntry();
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->entryStored = true;
    }
    bool hasVersionedContextEntry() const override
    {
        {
            std::lock_guard<std::mutex> guard(state_->lock);
            if (state_->freshProcess) {
                return state_->entryStored;
            }
        }
        return native_->hasVersionedContextEntry();
    }
    bool createVersionedContext(ContextPlatform& share, int majorVersion, int minorVersion) override
    {
        // The share may be a spy or a native backend; the native step needs its native handle either way.
        return !state_->fails(Step::VersionedContext)
            && native_->createVersionedContext(unwrap(share), majorVersion, minorVersion);
    }
    bool shareObjects(ContextPlatform& share) override
    {
        return !state_->fails(Step::ShareObjects) && native_->shareObjects(unwrap(share));
    }
    bool makeCurrent() override { return !state_->fails(Step::MakeCurrent) && native_->makeCurrent(); }
    void initializeBinding() override { native_->initializeBinding(); }
    void useBinding() override { native_->useBinding(); }
    void* nativeContext() const override { return native_->nativeContext(); }
    void* nativeSurface() const override { return native_->nativeSurface(); }

private:
    static ContextPlatform& unwrap(ContextPlatform& platform)
    {
        auto* spied = dynamic_cast<SpiedPlatform*>(&platform);
        return spied != nullptr ? *spied->native_ : platform;
    }

    std::shared_ptr<ContextPlatformSpy::State> state_;
    std::unique_ptr<ContextPlatform> native_;
    std::string extensions_;
};

} // namespace

ContextPlatformSpy::ContextPlatformSpy() : state_(std::make_shared<State>())
{
    std::shared_ptr<State> state = state_;
    ContextPlatform::setFactoryForTest([state]() -> std::unique_ptr<ContextPlatform> {
        {
            std::lock_guard<std::mutex> guard(state->lock);
            ++state->backendsMade;
        }
        return std::make_unique<SpiedPlatform>(state);
    });
}

ContextPlatformSpy::~ContextPlatformSpy()
{
    ContextPlatform::setFactoryForTest(nullptr);
}

void ContextPlatformSpy::failAt(Step step)
{
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->failAt = step;
}

void ContextPlatformSpy::replaceExtensionString(const std::string& text)
{
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->extensionString = text;
}

void ContextPlatformSpy::simulateFreshProcess()
{
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->freshProcess = true;
    state_->entryStored = false;
}

std::vector<void*> ContextPlatformSpy::tornDownContexts() const
{
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->tornDownContexts;
}

std::vector<void*> ContextPlatformSpy::tornDownSurfaces() const
{
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->tornDownSurfaces;
}

std::size_t ContextPlatformSpy::backendsMade() const
{
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->backendsMade;
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
