#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// What a host learns from a plug-in's registration resource.
struct PiplInfo {
    std::string kind;        // four-character code, e.g. "eFKT"
    std::string name;        // display name
    std::string category;
    std::string matchName;
    std::string entryPoint;  // from the 64-bit Windows entry property '8664'
    int propertyListMajor = 0, propertyListMinor = 0;
    int hostInterfaceMajor = 0, hostInterfaceMinor = 0;
    std::uint32_t effectVersion = 0;
    std::uint32_t infoFlags = 0;
    std::uint32_t outFlags = 0;
    std::uint32_t outFlags2 = 0;
    std::uint32_t aeFlags = 0;
    std::size_t propertyCount = 0;
};

// Decodes a registration resource. Throws std::runtime_error with a clear message
// when the bytes are not a valid effect resource (truncated, unknown version, not
// an effect, no entry point, ...).
PiplInfo decodePipl(const std::vector<std::uint8_t>& bytes);
// decodePipl of the resource read from a file; its errors begin with the file's name.
PiplInfo decodePiplOf(const std::string& path, const std::vector<std::uint8_t>& bytes);

// "1.0 (development, build 1)" from an effect version word.
std::string describeEffectVersion(std::uint32_t version);

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
