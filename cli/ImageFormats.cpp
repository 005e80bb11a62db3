#include "cli/ImageFormats.h"

#include <cctype>
#include <sstream>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace Cli {

const std::vector<ImageFormat>& imageFormats()
{
    static const std::vector<ImageFormat> formats = {
        {"PNG", "png", true},
        {"JPEG", "jpg jpeg jpe jfif", false},
        {"TIFF", "tif tiff", false},
        {"WebP", "webp", false},
        {"GIF", "gif", false},
        {"BMP", "bmp dib", false},
        {"OpenEXR", "exr", false},
        {"Targa", "tga", false},
        {"JPEG 2000", "jp2 j2k", false},
        {"AVIF", "avif", false},
        {"HEIF", "heic heif", false},
        {"DPX", "dpx", false},
        {"Netpbm", "ppm pgm pbm pnm pam", false},
        {"Photoshop", "psd", false},
        {"SVG", "svg", false},
        {"MPEG-4 video", "mp4 m4v", false},
        {"QuickTime video", "mov", false},
        {"Matroska video", "mkv", false},
        {"WebM video", "webm", false},
        {"AVI video", "avi", false},
    };
    return formats;
}

const ImageFormat* imageFormatOfName(const std::string& fileName)
{
    const std::size_t folderEnd = fileName.find_last_of("/\\");
    const std::string base = folderEnd == std::string::npos ? fileName : fileName.substr(folderEnd + 1);
    const std::size_t dot = base.rfind('.');
    // A name that starts with its only dot (".png") is a hidden file without an extension.
    if (dot == std::string::npos || dot == 0) {
        return nullptr;
    }
    std::string extension = base.substr(dot + 1);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const ImageFormat& format : imageFormats()) {
        std::istringstream words(format.extensions);
        for (std::string word; words >> word;) {
            if (word == extension) {
                return &format;
            }
        }
    }
    return nullptr;
}

std::string writtenFormatsText()
{
    std::string text;
    for (const ImageFormat& format : imageFormats()) {
        if (!format.written) {
            continue;
        }
        std::istringstream words(format.extensions);
        std::string usual;
        words >> usual;
        text += (text.empty() ? "" : ", ") + std::string(format.name) + " (." + usual + ")";
    }
    return text;
}

void checkOutputFormat(const std::string& fileName)
{
    const ImageFormat* format = imageFormatOfName(fileName);
    if (format != nullptr && !format->written) {
        throw std::invalid_argument("render: " + fileName + ": solvane does not write " + format->name +
                                    "; it writes " + writtenFormatsText());
    }
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
