#include "renderer/PixelTransfer.h"

#include <glbinding/gl/gl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "host/SuiteHolder.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {

namespace {

constexpr int kUnsupportedFormat = PF_Err_BAD_CALLBACK_PARAM;
constexpr int kNoHandle = PF_Err_OUT_OF_MEMORY;
constexpr std::uint64_t kArgb8BytesPerPixel = 4;

// One host handle, locked for its lifetime and disposed of when the scope ends,
// also while an exception leaves it.
class LockedHandle {
public:
    LockedHandle(const PF_HandleSuite2* suite, std::uint64_t size)
        : suite_(suite), handle_(suite->host_new_handle(size))
    {
        if (!handle_) {
            throw kNoHandle;
        }
        data_ = static_cast<std::uint8_t*>(suite_->host_lock_handle(handle_));
        if (!data_) {
            suite_->host_dispose_handle(handle_);
            throw kNoHandle;
        }
    }
    ~LockedHandle()
    {
        suite_->host_unlock_handle(handle_);
        suite_->host_dispose_handle(handle_);
    }
    LockedHandle(const LockedHandle&) = delete;
    LockedHandle& operator=(const LockedHandle&) = delete;

    std::uint8_t* data() const { return data_; }

private:
    const PF_HandleSuite2* suite_;
    PF_Handle handle_;
    std::uint8_t* data_ = nullptr;
};

PF_Pixel8* firstPixel(PF_InData* in_data, PF_LayerDef* world)
{
    PF_Pixel8* pixels = nullptr;
    in_data->utils->get_pixel_data8(world, nullptr, &pixels);
    return pixels;
}

// Bytes glReadPixels writes per GL_RGBA pixel of the given type.
std::uint64_t readBytesPerPixel(GLenum pixelType)
{
    switch (pixelType) {
    case GL_UNSIGNED_BYTE:
    case GL_BYTE:
        return 4;
    case GL_UNSIGNED_SHORT:
    case GL_SHORT:
    case GL_HALF_FLOAT:
        return 8;
    default:
        return 16;
    }
}

std::uint64_t nonNegative(int value)
{
    return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

} // namespace

GLuint uploadWorld(WorldFormat format, PF_LayerDef* world, PF_InData* in_data, std::uint64_t& bytesPerPixel,
                   GLenum& pixelType, float& multiplier, bool mipmapped)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const GLint minFilter = static_cast<GLint>(mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GL_LINEAR));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(GL_CLAMP_TO_EDGE));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(GL_CLAMP_TO_EDGE));
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA32F), world->width, world->height, 0, GL_RGBA, GL_FLOAT,
                 nullptr);

    multiplier = 1.0f;

    if (format != WorldFormat::Argb8) {
        // The caller never sees this texture, so it is deleted here rather than left behind.
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &texture);
        throw kUnsupportedFormat;
    }
    pixelType = GL_UNSIGNED_BYTE;
    bytesPerPixel = kArgb8BytesPerPixel;
    // The host's rows may be longer than the image; OpenGL steps over the rest.
    glPixelStorei(GL_UNPACK_ROW_LENGTH, world->rowbytes / 4);
    if (PF_Pixel8* pixels = firstPixel(in_data, world)) {
        if (world->rowbytes % 4 == 0) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, world->width, world->height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        } else {
            // OpenGL counts a row's length in whole pixels: rows that end part-way into a pixel go up one by one.
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(pixels);
            for (int y = 0; y < world->height; ++y) {
                glTexSubImage2D(GL_TEXTURE_2D, 0, 0, y, world->width, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                                bytes + static_cast<std::ptrdiff_t>(y) * world->rowbytes);
            }
        }
    }

    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

// The input world is part of the transfer's interface, kept on purpose (docs/architecture.md); the read-back does not
// use it: the frame's extent comes from width and height.
void readbackWorld(int width, int height, PF_LayerDef* /*inputWorld*/, PF_LayerDef* outputWorld, PF_InData* in_data,
                   WorldFormat format, std::uint64_t bytesPerPixel, GLenum pixelType)
{
    SuiteHolder handleSuite(in_data, kPFHandleSuite, kPFHandleSuiteVersion2);
    const auto* suite = handleSuite.get<PF_HandleSuite2>();

    const std::uint64_t frameWidth = nonNegative(width);
    const std::uint64_t frameHeight = nonNegative(height);
    // The handle must hold what the read writes, even if the caller's pixel size
    // and type disagree; for 8-bit frames both give 4 bytes per pixel.
    const std::uint64_t handlePixelBytes = std::max(bytesPerPixel, readBytesPerPixel(pixelType));
    LockedHandle frame(suite, frameWidth * frameHeight * handlePixelBytes);

    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, width, height, GL_RGBA, pixelType, frame.data());

    if (format != WorldFormat::Argb8) {
        throw kUnsupportedFormat;
    }

    // Only what both the frame and the output world hold is copied: rows beyond
    // either height and bytes beyond either width are left alone.
    const std::uint64_t frameRowBytes = frameWidth * kArgb8BytesPerPixel;
    const std::uint64_t rows = std::min(frameHeight, nonNegative(outputWorld->height));
    std::uint64_t rowBytes = std::min(frameRowBytes, nonNegative(outputWorld->width) * kArgb8BytesPerPixel);
    if (outputWorld->rowbytes > 0) {
        rowBytes = std::min(rowBytes, static_cast<std::uint64_t>(outputWorld->rowbytes));
    }
    for (std::uint64_t row = 0; row < rows; ++row) {
        auto* pixels = reinterpret_cast<std::uint8_t*>(firstPixel(in_data, outputWorld));
        if (!pixels) {
            return;
        }
        std::memcpy(pixels + static_cast<std::ptrdiff_t>(row) * outputWorld->rowbytes,
                    frame.data() + row * frameRowBytes, rowBytes);
    }
}

} // namespace Solvane
} // namespace Tamrin
