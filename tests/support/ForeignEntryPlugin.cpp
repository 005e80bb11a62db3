// A library that looks like a plug-in to a host reading its file: it carries the
// plug-in's registration resource, except that the entry point it names is a
// function it does not define itself but every library reaches through its
// dependencies (the C library's). A host must refuse to call it.
#include "host/PiplResource.h"

#include <cstdio>
#include <cstdlib>

#ifndef SOLVANE_FOREIGN_ENTRY_NAME
#define SOLVANE_FOREIGN_ENTRY_NAME "puts"
#endif

namespace {

using Tamrin::Solvane::Pipl::Bytes;
using Tamrin::Solvane::Pipl::kBytes;
using Tamrin::Solvane::Pipl::kEntryPointName;

// The plug-in's resource with `name` over the entry point's name; the property keeps its length, padded with zeros.
template <std::size_t N>
constexpr Bytes withEntryName(const char (&name)[N])
{
    static_assert(N <= sizeof kEntryPointName, "the replacement name must fit in the entry point's property");
    Bytes bytes = kBytes;
    for (std::size_t at = 0; at + sizeof kEntryPointName <= bytes.size(); ++at) {
        bool match = true;
        for (std::size_t i = 0; i < sizeof kEntryPointName; ++i) {
            match = match && bytes[at + i] == static_cast<std::uint8_t>(kEntryPointName[i]);
        }
        if (match) {
            for (std::size_t i = 0; i < sizeof kEntryPointName; ++i) {
                bytes[at + i] = i < N ? static_cast<std::uint8_t>(name[i]) : 0;
            }
            return bytes;
        }
    }
    throw "entry point name not found in the registration resource";
}

__attribute__((section(".pipl"), used)) const Bytes kSection = withEntryName(SOLVANE_FOREIGN_ENTRY_NAME);

// A use of the C library, as every real plug-in has, so that the library depends on it and the named functions are
// within reach of a lookup through the library's dependencies.
__attribute__((used)) void reachTheCLibrary()
{
    std::puts("");
    std::abort();
}

} // namespace
