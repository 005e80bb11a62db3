#include "cli/System.h"

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Cli {
namespace System {

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

std::FILE* createTemporaryBeside(const std::string& target, std::string& path)
{
    std::string pattern = target + ".tmp-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int descriptor = mkstemp(buffer.data());
    if (descriptor < 0) {
        return nullptr;
    }
    path = buffer.data();
    fchmod(descriptor, finishedMode(target));
    std::FILE* file = fdopen(descriptor, "wb");
    if (!file) {
        const int saved = errno;
        close(descriptor);
        unlink(path.c_str());
        errno = saved;
    }
    return file;
}

bool syncToDisk(std::FILE* file) { return fsync(fileno(file)) == 0; }

bool replaceFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

std::string errorText() { return std::strerror(errno); }

bool stderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

std::string gbkToUtf8(const std::string& gbk)
{
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
}

namespace {

// A "Name:   1234 kB" line of /proc/self/status.
std::uint64_t statusKilobytes(const char* name)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) {
        return 0;
    }
    char line[256];
    std::uint64_t kilobytes = 0;
    const std::size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, name, length) == 0 && line[length] == ':') {
            unsigned long long value = 0;
            if (std::sscanf(line + length + 1, "%llu", &value) == 1) {
                kilobytes = value;
            }
            break;
        }
    }
    std::fclose(status);
    return kilobytes;
}

} // namespace

std::uint64_t residentBytes() { return statusKilobytes("VmRSS") * 1024; }

std::uint64_t peakResidentBytes() { return statusKilobytes("VmHWM") * 1024; }

void ignoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

} // namespace System
} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
