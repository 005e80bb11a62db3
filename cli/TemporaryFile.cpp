#include "cli/TemporaryFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Tamrin {
namespace Solvane {
namespace Cli {

#if !defined(_WIN32)
namespace {

// mkstemp makes the file readable by its owner only; the finished file gets the mode of the file it replaces, or the
// mode a new file gets under the process's umask, as any program's output does.
mode_t finishedMode(const std::string& target)
{
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) {
        return existing.st_mode & 07777;
    }
    // The umask can only be read by setting it; once, the first time a file is written.
    static const mode_t mask = [] {
        const mode_t current = umask(022);
        umask(current);
        return current;
    }();
    return 0666 & ~mask;
}

} // namespace
#endif

TemporaryFile::TemporaryFile(const std::string& target) : target_(target)
{
#if defined(_WIN32)
    // The system C runtime (msvcrt.dll) knows no "x" in fopen modes: exclusive creation is asked of _open instead.
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        path_ = target + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        const int descriptor =
            _open(path_.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (descriptor >= 0) {
            file_ = _fdopen(descriptor, "wb");
            if (!file_) {
                _close(descriptor);
                std::remove(path_.c_str());
            }
        }
    }
#else
    std::string pattern = target + ".tmp-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int descriptor = mkstemp(buffer.data());
    if (descriptor >= 0) {
        path_ = buffer.data();
        fchmod(descriptor, finishedMode(target));
        file_ = fdopen(descriptor, "wb");
        if (!file_) {
            close(descriptor);
            std::remove(path_.c_str());
        }
    }
#endif
    if (!file_) {
        throw std::runtime_error(target + ": cannot create a temporary file beside it: " + std::strerror(errno));
    }
}

TemporaryFile::~TemporaryFile()
{
    if (file_) {
        std::fclose(file_);
    }
    if (!committed_) {
        std::remove(path_.c_str());
    }
}

void TemporaryFile::commit()
{
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
#if !defined(_WIN32)
    const bool synced = flushed && fsync(fileno(file_)) == 0;
#else
    const bool synced = flushed;
#endif
    const int savedErrno = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!synced || !closed) {
        throw std::runtime_error(target_ + ": cannot write: " + std::strerror(synced ? errno : savedErrno));
    }
#if defined(_WIN32)
    if (!MoveFileExA(path_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        throw std::runtime_error(target_ + ": cannot replace the file");
    }
#else
    if (std::rename(path_.c_str(), target_.c_str()) != 0) {
        throw std::runtime_error(target_ + ": cannot replace the file: " + std::strerror(errno));
    }
#endif
    committed_ = true;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
