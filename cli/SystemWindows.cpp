#include "cli/System.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

namespace Tamrin {
namespace Solvane {
namespace Cli {
namespace System {

namespace {

// The C library's code for a failed Windows call, so that errorText() explains both kinds of failure.
int errnoFor(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

} // namespace

std::FILE* createTemporaryBeside(const std::string& target, std::string& path)
{
    // The system C runtime (msvcrt.dll) knows no "x" in fopen modes: exclusive creation is asked of _open instead.
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = target + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        const int descriptor = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (descriptor < 0) {
            continue;
        }
        std::FILE* file = _fdopen(descriptor, "wb");
        if (file) {
            return file;
        }
        const int saved = errno;
        _close(descriptor);
        std::remove(path.c_str());
        errno = saved;
        return nullptr;
    }
    return nullptr;
}

bool syncToDisk(std::FILE* file) { return _commit(_fileno(file)) == 0; }

bool replaceFile(const std::string& from, const std::string& to)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    errno = errnoFor(GetLastError());
    return false;
}

std::string errorText() { return std::strerror(errno); }

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::string gbkToUtf8(const std::string& gbk)
{
    const int wideLength = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), wideLength);
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

// The stress runs that read these figures run on Linux; Windows reports none.
std::uint64_t residentBytes() { return 0; }

std::uint64_t peakResidentBytes() { return 0; }

// Windows has no broken-pipe signal: a write to a closed pipe fails as it is.
void ignoreBrokenPipe() {}

} // namespace System
} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
