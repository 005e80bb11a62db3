#include "cli/PngImage.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace Tamrin {
namespace Solvane {
namespace Cli {

RgbaImage readPng(const std::string& path)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        throw std::runtime_error(path + ": cannot read PNG: " + image.message);
    }
    image.format = PNG_FORMAT_RGBA;
    if (image.width == 0 || image.height == 0 || image.width > 1u << 16 || image.height > 1u << 16) {
        png_image_free(&image);
        throw std::runtime_error(path + ": unsupported image size " + std::to_string(image.width) + "x" +
                                 std::to_string(image.height));
    }
    RgbaImage result;
    result.width = static_cast<int>(image.width);
    result.height = static_cast<int>(image.height);
    result.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, result.pixels.data(), 0, nullptr)) {
        const std::string message = image.message;
        png_image_free(&image);
        throw std::runtime_error(path + ": cannot decode PNG: " + message);
    }
    return result;
}

namespace {

// A temporary file in the target's folder, removed unless it is committed.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target)
    {
#if defined(_WIN32)
        for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
            path_ = target + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
            file_ = std::fopen(path_.c_str(), "wbx");
        }
#else
        std::string pattern = target + ".tmp-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        const int descriptor = mkstemp(buffer.data());
        if (descriptor >= 0) {
            path_ = buffer.data();
            file_ = fdopen(descriptor, "wb");
            if (!file_) {
                close(descriptor);
            }
        }
#endif
        if (!file_) {
            throw std::runtime_error(target + ": cannot create a temporary file beside it: " + std::strerror(errno));
        }
    }
    ~TemporaryFile()
    {
        if (file_) {
            std::fclose(file_);
        }
        if (!committed_) {
            std::remove(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    std::FILE* file() { return file_; }

    void commit(const std::string& target)
    {
        const bool flushed = std::fflush(file_) == 0;
#if !defined(_WIN32)
        const bool synced = flushed && fsync(fileno(file_)) == 0;
#else
        const bool synced = flushed;
#endif
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!synced || !closed) {
            throw std::runtime_error(target + ": cannot write: " + std::strerror(errno));
        }
#if defined(_WIN32)
        if (!MoveFileExA(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            throw std::runtime_error(target + ": cannot replace the file");
        }
#else
        if (std::rename(path_.c_str(), target.c_str()) != 0) {
            throw std::runtime_error(target + ": cannot replace the file: " + std::strerror(errno));
        }
#endif
        committed_ = true;
    }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

} // namespace

void writePngAtomically(const std::string& path, const RgbaImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
        throw std::runtime_error(path + ": nothing to write (empty image)");
    }
    TemporaryFile temporary(path);
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_stdio(&png, temporary.file(), 0, image.pixels.data(), 0, nullptr)) {
        const std::string message = png.message;
        png_image_free(&png);
        throw std::runtime_error(path + ": cannot encode PNG: " + message);
    }
    temporary.commit(path);
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
