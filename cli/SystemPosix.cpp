#include "cli/System.h"

#include <fcntl.h>
#include <pthread.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Cli {
namespace System {

namespace {

// The folder part of a name, with its slash ("" for a bare name).
std::string folderOf(const std::string& name)
{
    const auto slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

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

OutputTarget resolveOutput(const std::string& name)
{
    OutputTarget target;
    target.path = name;
    // Links are followed by hand, since the file they name need not exist yet (a new output through a link).
    for (int hops = 0;; ++hops) {
        struct stat status;
        if (lstat(target.path.c_str(), &status) != 0) {
            return target; // a new file
        }
        if (!S_ISLNK(status.st_mode)) {
            target.special = S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ||
                             S_ISSOCK(status.st_mode);
            return target;
        }
        if (hops == 40) {
            throw std::runtime_error(name + ": " + std::strerror(ELOOP));
        }
        std::vector<char> link(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 4096) + 1);
        const ssize_t length = readlink(target.path.c_str(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) {
            throw std::runtime_error(name + ": cannot follow the link: " + std::strerror(length < 0 ? errno : ENAMETOOLONG));
        }
        const std::string destination(link.data(), static_cast<std::size_t>(length));
        target.path = destination[0] == '/' ? destination : folderOf(target.path) + destination;
    }
}

std::FILE* createTemporaryBeside(const std::string& target, std::string& path)
{
    const std::string folder = folderOf(target);
    std::string base = target.substr(folder.size());
    const std::string suffix = ".tmp-XXXXXX";
    long nameMax = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) {
        nameMax = 255;
    }
    // A name near the folder's limit is shortened so that the suffix still fits.
    if (base.size() + suffix.size() > static_cast<std::size_t>(nameMax)) {
        base.resize(static_cast<std::size_t>(nameMax) > suffix.size() ? static_cast<std::size_t>(nameMax) - suffix.size()
                                                                        : 0);
    }
    std::string pattern = folder + base + suffix;
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

namespace {

// The descriptor a name of the descriptor folders stands for: /dev/stdout and
// /dev/stderr, /dev/fd/N, and /proc/self/fd/N (also thread-self, or this process's id).
int descriptorNamed(const std::string& name)
{
    if (name == "/dev/stdout") {
        return 1;
    }
    if (name == "/dev/stderr") {
        return 2;
    }
    for (const std::string& folder : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                      std::string("/proc/thread-self/fd/"),
                                      "/proc/" + std::to_string(getpid()) + "/fd/"}) {
        if (name.size() > folder.size() && name.compare(0, folder.size(), folder) == 0) {
            const std::string number = name.substr(folder.size());
            if (number == "1" || number == "2") {
                return number[0] - '0';
            }
            return -1;
        }
    }
    return -1;
}

} // namespace

int standardStreamNamed(const std::string& name)
{
    std::string path = name;
    for (int hops = 0; hops < 40; ++hops) {
        const int descriptor = descriptorNamed(path);
        if (descriptor >= 0) {
            return descriptor;
        }
        struct stat status;
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return -1;
        }
        std::vector<char> link(4097);
        const ssize_t length = readlink(path.c_str(), link.data(), link.size() - 1);
        if (length <= 0) {
            return -1;
        }
        const std::string destination(link.data(), static_cast<std::size_t>(length));
        path = destination[0] == '/' ? destination : folderOf(path) + destination;
    }
    return -1;
}

std::string missingFolderOf(const std::string& target)
{
    std::string folder = folderOf(target);
    if (folder.size() > 1) {
        folder.pop_back(); // the slash
    } else if (folder.empty()) {
        folder = ".";
    }
    struct stat status;
    if (stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return std::string();
    }
    return folder;
}

std::FILE* openForWriting(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

bool syncToDisk(std::FILE* file) { return fsync(fileno(file)) == 0; }

bool replaceFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

std::string errorText() { return std::strerror(errno); }

std::string unreadableReason(const std::string& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        return std::strerror(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        return "is a directory";
    }
    if (S_ISREG(status.st_mode) && status.st_size == 0) {
        return "is empty (0 bytes)";
    }
    return std::string();
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

bool flushStandardOutput() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

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

// Removes the files in flight and ends the process by the signal, as it would have ended without a handler.
void removeInFlightAndDie(int signalNumber)
{
    removeFilesInFlight([](const char* path) { unlink(path); });
    // The default action ends the process by this signal once the handler returns and the signal is unblocked.
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

} // namespace

std::uint64_t residentBytes() { return statusKilobytes("VmRSS") * 1024; }

std::uint64_t peakResidentBytes() { return statusKilobytes("VmHWM") * 1024; }

RegisteringFileInFlight::RegisteringFileInFlight()
{
    static_assert(sizeof(sigset_t) <= sizeof savedMask_, "the saved signal mask does not fit");
    sigset_t held;
    sigemptyset(&held);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&held, signalNumber);
    }
    pthread_sigmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t*>(savedMask_));
    beginRegistering();
}

RegisteringFileInFlight::~RegisteringFileInFlight()
{
    endRegistering();
    pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(savedMask_), nullptr);
}

void removeFilesInFlightOnSignal()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = removeInFlightAndDie;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signalNumber);
    }
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous;
        // A signal ignored by whoever started us (nohup, a background job) stays ignored.
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signalNumber, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace System
} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
