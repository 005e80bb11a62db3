#include "cli/System.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
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

OutputTarget resolveOutput(const std::string& name)
{
    OutputTarget target;
    target.path = name;
    // The console and the null device ("CON", "NUL") are character devices; links are left to the system.
    struct _stat64 status;
    target.special = _stat64(name.c_str(), &status) == 0 && (status.st_mode & _S_IFCHR) != 0;
    return target;
}

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

int standardStreamNamed(const std::string&) { return -1; }

std::string missingFolderOf(const std::string& target)
{
    const auto separator = target.find_last_of("/\\");
    std::string folder = separator == std::string::npos ? std::string(".") : target.substr(0, separator);
    if (folder.empty() || (folder.size() == 2 && folder[1] == ':')) {
        return std::string(); // the root of a drive
    }
    struct _stat64 status;
    if (_stat64(folder.c_str(), &status) == 0 && (status.st_mode & _S_IFDIR) != 0) {
        return std::string();
    }
    return folder;
}

std::FILE* openForWriting(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

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

std::string unreadableReason(const std::string& path)
{
    struct _stat64 status;
    if (_stat64(path.c_str(), &status) != 0) {
        return std::strerror(errno);
    }
    if (status.st_mode & _S_IFDIR) {
        return "is a directory";
    }
    if ((status.st_mode & _S_IFREG) && status.st_size == 0) {
        return "is empty (0 bytes)";
    }
    return std::string();
}

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool flushStandardOutput() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

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

namespace {

// Removes the files in flight and ends the process by the signal. Windows delivers console interrupts on a thread of
// their own.
void removeInFlightAndDie(int signalNumber)
{
    removeFilesInFlight([](const char* path) { _unlink(path); });
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

} // namespace

// Console interrupts arrive on a thread of their own, which waits for the count; nothing to hold back here.
RegisteringFileInFlight::RegisteringFileInFlight() : savedMask_{} { beginRegistering(); }

RegisteringFileInFlight::~RegisteringFileInFlight() { endRegistering(); }

// Windows has no hang-up or broken-pipe signal: a write to a closed pipe fails as it is.
void removeFilesInFlightOnSignal()
{
    std::signal(SIGINT, removeInFlightAndDie);
    std::signal(SIGTERM, removeInFlightAndDie);
    std::signal(SIGBREAK, removeInFlightAndDie);
}

} // namespace System
} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
