#include "glcontext/ContextPlatform.h"

#include <mutex>

// The one place that picks the window-system backend; the CMake source lists pick the matching file.
#ifdef _WIN32
#include "glcontext/ContextPlatformWgl.h"
#else
#include "glcontext/ContextPlatformEgl.h"
#endif

namespace Tamrin {
namespace Solvane {

namespace {

#ifdef _WIN32
using NativePlatform = ContextPlatformWgl;
#else
using NativePlatform = ContextPlatformEgl;
#endif

std::mutex& factoryLock()
{
    static std::mutex lock;
    return lock;
}

ContextPlatform::Factory& testFactory()
{
    static ContextPlatform::Factory factory;
    return factory;
}

} // namespace

bool SavedBinding::operator==(const SavedBinding& other) const
{
    return display == other.display && draw == other.draw && read == other.read && context == other.context
        && api == other.api;
}

std::unique_ptr<ContextPlatform> ContextPlatform::create()
{
    Factory factory;
    {
        std::lock_guard<std::mutex> lock(factoryLock());
        factory = testFactory();
    }
    return factory ? factory() : createNative();
}

std::unique_ptr<ContextPlatform> ContextPlatform::createNative()
{
    return std::make_unique<NativePlatform>();
}

void ContextPlatform::setFactoryForTest(Factory factory)
{
    std::lock_guard<std::mutex> lock(factoryLock());
    testFactory() = std::move(factory);
}

SavedBinding ContextPlatform::currentBinding()
{
    return NativePlatform::currentBinding();
}

void ContextPlatform::restoreBinding(const SavedBinding& saved)
{
    NativePlatform::restoreBinding(saved);
}

ContextPlatform::~ContextPlatform() = default;

} // namespace Solvane
} // namespace Tamrin
