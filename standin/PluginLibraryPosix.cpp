// Loading a plug-in on ELF systems: the registration resource is the ".pipl"
// section of the library file, read before dlopen.
#include "standin/PluginLibrary.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

namespace {

template <typename T>
T readAt(std::ifstream& file, std::uint64_t offset, const std::string& path)
{
    T value;
    file.seekg(static_cast<std::streamoff>(offset));
    if (!file.read(reinterpret_cast<char*>(&value), sizeof value)) {
        throw std::runtime_error(path + ": not a valid shared library (truncated)");
    }
    return value;
}

// The symbol `name` as defined by the library behind `handle` itself, or null. dlsym searches the library's
// dependencies too, so a resource naming "puts" would otherwise hand back the C library's function as the entry
// point. The host looks only among the library's own exports; so does this: the address must lie in the library's own
// mapping, the object the dynamic linker describes with the handle's link map.
void* ownSymbol(void* handle, const char* name)
{
    void* address = dlsym(handle, name);
    if (!address) {
        return nullptr;
    }
    link_map* library = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &library) != 0 || !library) {
        return nullptr;
    }
    Dl_info where;
    link_map* definer = nullptr;
    if (dladdr1(address, &where, reinterpret_cast<void**>(&definer), RTLD_DL_LINKMAP) == 0 || definer != library) {
        return nullptr;
    }
    return address;
}

} // namespace

std::vector<std::uint8_t> PluginLibrary::readRegistrationResource(const std::string& path)
{
    checkPluginPath(path);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error(path + ": cannot open the plug-in file: " + std::strerror(errno));
    }
    file.seekg(0, std::ios::end);
    const auto fileSize = static_cast<std::uint64_t>(file.tellg());

    const auto header = readAt<Elf64_Ehdr>(file, 0, path);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) {
        throw std::runtime_error(path + ": not a 64-bit ELF shared library");
    }
    if (header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shstrndx >= header.e_shnum ||
        header.e_shoff + std::uint64_t(header.e_shnum) * sizeof(Elf64_Shdr) > fileSize) {
        throw std::runtime_error(path + ": malformed section table");
    }
    const auto names = readAt<Elf64_Shdr>(file, header.e_shoff + header.e_shstrndx * sizeof(Elf64_Shdr), path);
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        const auto section = readAt<Elf64_Shdr>(file, header.e_shoff + i * sizeof(Elf64_Shdr), path);
        if (section.sh_name >= names.sh_size) {
            continue;
        }
        char name[8] = {};
        file.seekg(static_cast<std::streamoff>(names.sh_offset + section.sh_name));
        file.read(name, sizeof name - 1);
        if (std::strcmp(name, ".pipl") != 0) {
            continue;
        }
        if (section.sh_type == SHT_NOBITS || section.sh_offset + section.sh_size > fileSize ||
            section.sh_size > 65536) {
            throw std::runtime_error(path + ": malformed registration resource section");
        }
        std::vector<std::uint8_t> bytes(section.sh_size);
        file.seekg(static_cast<std::streamoff>(section.sh_offset));
        file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }
    throw std::runtime_error(path + ": no registration resource (.pipl section) in this file");
}

PluginLibrary::PluginLibrary(const std::string& path) : path_(path)
{
    info_ = decodePiplOf(path, readRegistrationResource(path));
    // A path without a slash would make dlopen search the library path instead.
    const std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    int flags = RTLD_NOW | RTLD_LOCAL;
#if defined(__SANITIZE_ADDRESS__)
    // Under AddressSanitizer the library stays mapped after it is closed, so that a report made at exit can still
    // name the plug-in's code.
    flags |= RTLD_NODELETE;
#endif
    handle_ = dlopen(loadPath.c_str(), flags);
    if (!handle_) {
        throw std::runtime_error(path + ": cannot load the plug-in: " + dlerror());
    }
    entry_ = reinterpret_cast<PF_EntryPointFunc>(ownSymbol(handle_, info_.entryPoint.c_str()));
    if (!entry_) {
        dlclose(handle_);
        handle_ = nullptr;
        throw std::runtime_error(path + ": the plug-in has no entry point named \"" + info_.entryPoint +
                                 "\" of its own");
    }
}

PluginLibrary::~PluginLibrary()
{
    if (handle_) {
        dlclose(handle_);
    }
}

std::string defaultPluginPath()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return "OstrelSolvane.aex";
    }
    std::string self(buffer, static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1) + "OstrelSolvane.aex";
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
