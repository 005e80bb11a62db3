#include "glcontext/AEOpenGLContext.h"

#include "glcontext/ContextPlatform.h"

#include <glbinding/ContextInfo.h>
#include <glbinding/Meta.h>
#include <glbinding/Version.h>
#include <glbinding/gl/gl.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace Tamrin {
namespace Solvane {

namespace {

// Raised before the class is registered, so that a failed registration still moves it on.
std::atomic<std::int32_t> windowCounter{0};
std::atomic<std::uint64_t> serialCounter{1};
thread_local std::uint64_t currentSerialOnThread = 0;

constexpr int threadContextMajorVersion = 3;
constexpr int threadContextMinorVersion = 3;

[[noreturn]] void fail()
{
    throw AESDK_OpenGL_Fault{1};
}

// The context's version as "major.minor". glbinding names only the versions its generation knows (Debian's up to
// 4.5) and prints any other as "-.-"; such a version, 4.6 on current drivers, is asked of the context itself.
std::string contextVersionText()
{
    const glbinding::Version version = glbinding::ContextInfo::version();
    if (version.isValid()) {
        std::ostringstream text;
        text << version;
        return text.str();
    }
    gl::GLint major = 0;
    gl::GLint minor = 0;
    gl::glGetIntegerv(gl::GL_MAJOR_VERSION, &major);
    gl::glGetIntegerv(gl::GL_MINOR_VERSION, &minor);
    return std::to_string(major) + "." + std::to_string(minor);
}

// Everything is queried before the first character is written, so a block is never left half written.
void writeIdentificationBlock()
{
    const std::string version = contextVersionText();
    const std::string vendor = glbinding::ContextInfo::vendor();
    const std::string renderer = glbinding::ContextInfo::renderer();
    std::cout << std::endl
              << "OpenGL Version:  " << version << std::endl
              << "OpenGL Vendor:   " << vendor << std::endl
              << "OpenGL Renderer: " << renderer << std::endl
              << "OpenGL Revision: " << glbinding::Meta::glRevision() << " (gl.xml)" << std::endl
              << std::endl;
}

} // namespace

AEOpenGLContext::AEOpenGLContext(AEOpenGLContext* share)
    : platform_(ContextPlatform::create()), serial_(serialCounter.fetch_add(1))
{
    windowClassName_ = std::to_string(reinterpret_cast<std::uint64_t>(this));
    windowClassName_ = "AEOpenGL_Win_Class" + windowClassName_ + "_" + std::to_string(windowCounter.fetch_add(1));
    try {
        create(share);
    } catch (...) {
        // Releases whatever the failed steps had acquired. A backend that held a context leaves the thread with
        // none current, as every teardown does.
        const bool heldContext = platform_->nativeContext() != nullptr;
        platform_.reset();
        if (heldContext) {
            clearCurrentSerial();
        }
        throw;
    }
}

void AEOpenGLContext::create(AEOpenGLContext* share)
{
    if (!platform_->createSurface(windowClassName_)) {
        fail();
    }
    if (share == nullptr) {
        createSharedContext();
    } else {
        createThreadContext(*share);
    }
    platform_->makeCurrent();
    currentSerialOnThread = serial_;
    platform_->initializeBinding();
    writeIdentificationBlock();
}

void AEOpenGLContext::createSharedContext()
{
    if (!platform_->createPlainContext() || !platform_->makeCurrent()) {
        fail();
    }
    const char* extensions = platform_->extensionString();
    if (extensions == nullptr) {
        fail();
    }
    // A plain substring test, as the window systems' own samples do: a longer name that begins with it passes too.
    if (std::strstr(extensions, platform_->createContextExtensionName()) != nullptr) {
        platform_->storeVersionedContextEntry();
    }
    if (!platform_->hasVersionedContextEntry()) {
        fail();
    }
}

void AEOpenGLContext::createThreadContext(AEOpenGLContext& share)
{
    // No profile mask and no flags: the default core profile, neither debug nor forward-compatible.
    if (!platform_->createVersionedContext(*share.platform_, threadContextMajorVersion, threadContextMinorVersion)) {
        fail();
    }
    // Sharing comes before the first make-current: some WGL implementations (Wine's, on any driver) refuse to add a
    // context that has already been current to another's namespace, and every one accepts it in this order.
    if (!platform_->shareObjects(*share.platform_) || !platform_->makeCurrent()) {
        fail();
    }
}

AEOpenGLContext::~AEOpenGLContext()
{
    // The platform's teardown leaves no context current on the calling thread.
    platform_.reset();
    clearCurrentSerial();
}

void AEOpenGLContext::makeCurrent()
{
    platform_->makeCurrent();
    platform_->useBinding();
    currentSerialOnThread = serial_;
}

const std::string& AEOpenGLContext::windowClassName() const
{
    return windowClassName_;
}

std::uint64_t AEOpenGLContext::serial() const
{
    return serial_;
}

std::uint64_t AEOpenGLContext::currentSerial()
{
    return currentSerialOnThread;
}

void AEOpenGLContext::clearCurrentSerial()
{
    currentSerialOnThread = 0;
}

void AEOpenGLContext::restoreCurrentSerial(std::uint64_t serial)
{
    currentSerialOnThread = serial;
}

ContextPlatform& AEOpenGLContext::platform()
{
    return *platform_;
}

} // namespace Solvane
} // namespace Tamrin
