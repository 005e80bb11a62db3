#include "cli/TextEncoding.h"

#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace Tamrin {
namespace Solvane {
namespace Cli {

std::string gbkToUtf8(const std::string& gbk)
{
    bool ascii = true;
    for (unsigned char c : gbk) {
        ascii = ascii && c < 0x80;
    }
    if (ascii) {
        return gbk;
    }
#if defined(_WIN32)
    const int wideLength = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), wideLength);
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), length, nullptr, nullptr);
    return utf8;
#else
    iconv_t converter = iconv_open("UTF-8", "GBK");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return gbk;
    }
    std::string input = gbk;
    std::vector<char> output(input.size() * 4 + 4);
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            if (outLeft == 0) {
                break;
            }
            *out++ = '?';
            --outLeft;
            ++in;
            --inLeft;
        }
    }
    iconv_close(converter);
    return std::string(output.data(), static_cast<std::size_t>(out - output.data()));
#endif
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
