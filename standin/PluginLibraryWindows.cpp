// Loading a plug-in on Windows: the registration resource is resource "PIPL" 16000 (language 1033) of the library
// file, read with the file mapped as data, so none of its code runs before the resource has been checked.
#include "standin/PluginLibrary.h"

#include "common/WindowsApi.h"

#include <stdexcept>

#include "host/PiplResource.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

namespace {

constexpr const char* kResourceType = "PIPL";
constexpr std::size_t kMaxResourceSize = 65536;

// "error 2: The system cannot find the file specified." for the calling thread's last error.
std::string lastErrorText()
{
    const DWORD code = GetLastError();
    std::string text = "error " + std::to_string(code);
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&message), 0, nullptr);
    if (length > 0 && message != nullptr) {
        std::string system(message, length);
        while (!system.empty() && (system.back() == '\n' || system.back() == '\r' || system.back() == ' ')) {
            system.pop_back();
        }
        text += ": " + system;
    }
    if (message != nullptr) {
        LocalFree(message);
    }
    return text;
}

// A failed load must come back as an error, never as a dialog box waiting for a user who is not there.
class NoErrorDialogs {
public:
    NoErrorDialogs() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_); }
    ~NoErrorDialogs() { SetThreadErrorMode(previous_, nullptr); }
    NoErrorDialogs(const NoErrorDialogs&) = delete;
    NoErrorDialogs& operator=(const NoErrorDialogs&) = delete;

private:
    DWORD previous_ = 0;
};

// The library file mapped as data and resources only: nothing of it is run and its imports are not resolved.
class DataFileModule {
public:
    explicit DataFileModule(const std::string& path)
    {
        NoErrorDialogs quiet;
        module_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (module_ == nullptr) {
            throw std::runtime_error(path + ": cannot open the plug-in file: " + lastErrorText());
        }
    }
    ~DataFileModule() { FreeLibrary(module_); }
    DataFileModule(const DataFileModule&) = delete;
    DataFileModule& operator=(const DataFileModule&) = delete;

    HMODULE get() const { return module_; }

private:
    HMODULE module_ = nullptr;
};

// LoadLibrary searches the system's library path for a bare file name; a plug-in named on the command line is a
// file relative to the working folder.
std::string loadablePath(const std::string& path)
{
    return path.find_first_of("/\\:") == std::string::npos ? ".\\" + path : path;
}

} // namespace

std::vector<std::uint8_t> PluginLibrary::readRegistrationResource(const std::string& path)
{
    checkPluginPath(path);
    const DataFileModule file(path);
    const WORD language = static_cast<WORD>(Pipl::kLanguage);
    HRSRC resource = FindResourceExA(file.get(), kResourceType, MAKEINTRESOURCEA(Pipl::kResourceId), language);
    if (resource == nullptr) {
        throw std::runtime_error(path + ": no registration resource (PIPL " + std::to_string(Pipl::kResourceId)
                                 + ", language " + std::to_string(Pipl::kLanguage) + ") in this file");
    }
    const DWORD size = SizeofResource(file.get(), resource);
    HGLOBAL loaded = LoadResource(file.get(), resource);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0 || size > kMaxResourceSize) {
        throw std::runtime_error(path + ": malformed registration resource");
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

PluginLibrary::PluginLibrary(const std::string& path) : path_(path)
{
    info_ = decodePiplOf(path, readRegistrationResource(path));
    HMODULE module = nullptr;
    {
        NoErrorDialogs quiet;
        module = LoadLibraryA(loadablePath(path).c_str());
    }
    if (module == nullptr) {
        throw std::runtime_error(path + ": cannot load the plug-in: " + lastErrorText());
    }
    handle_ = module;
    // GetProcAddress hands back a generic function pointer; the cast through void* names the real signature.
    const FARPROC entry = GetProcAddress(module, info_.entryPoint.c_str());
    entry_ = reinterpret_cast<PF_EntryPointFunc>(reinterpret_cast<void*>(entry));
    if (!entry_) {
        FreeLibrary(module);
        handle_ = nullptr;
        throw std::runtime_error(path + ": the plug-in has no entry point named \"" + info_.entryPoint + "\"");
    }
}

PluginLibrary::~PluginLibrary()
{
    if (handle_) {
        FreeLibrary(static_cast<HMODULE>(handle_));
    }
}

std::string defaultPluginPath()
{
    // The buffer grows until the whole path fits: a full buffer may mean a truncated path.
    std::string self(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, &self[0], static_cast<DWORD>(self.size()));
        if (length == 0) {
            return "OstrelSolvane.aex";
        }
        if (length < self.size()) {
            self.resize(length);
            break;
        }
        self.resize(self.size() * 2);
    }
    return self.substr(0, self.find_last_of("\\/") + 1) + "OstrelSolvane.aex";
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
