#include "standin/PiplInfo.h"

#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

namespace {

class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    std::uint32_t u32()
    {
        need(4);
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= std::uint32_t(bytes_[position_ + i]) << (8 * i);
        }
        position_ += 4;
        return value;
    }
    std::uint16_t u16()
    {
        need(2);
        const auto value = static_cast<std::uint16_t>(bytes_[position_] | (bytes_[position_ + 1] << 8));
        position_ += 2;
        return value;
    }
    // A code is stored as a little-endian integer whose top byte is its first character.
    std::string code()
    {
        const std::uint32_t value = u32();
        std::string text(4, ' ');
        for (int i = 0; i < 4; ++i) {
            text[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
        }
        return text;
    }
    std::vector<std::uint8_t> take(std::size_t length)
    {
        need(length);
        std::vector<std::uint8_t> data(bytes_.begin() + static_cast<std::ptrdiff_t>(position_),
                                       bytes_.begin() + static_cast<std::ptrdiff_t>(position_ + length));
        position_ += length;
        return data;
    }
    void skip(std::size_t length)
    {
        need(length);
        position_ += length;
    }
    std::size_t position() const { return position_; }

private:
    void need(std::size_t length) const
    {
        if (bytes_.size() - position_ < length) {
            throw std::runtime_error("registration resource is truncated");
        }
    }
    const std::vector<std::uint8_t>& bytes_;
    std::size_t position_ = 0;
};

std::string countedString(const std::vector<std::uint8_t>& data, const char* what)
{
    if (data.empty() || data[0] + 1u > data.size()) {
        throw std::runtime_error(std::string("registration resource has a malformed ") + what);
    }
    return std::string(data.begin() + 1, data.begin() + 1 + data[0]);
}

std::uint32_t word(const std::vector<std::uint8_t>& data, const char* what)
{
    if (data.size() < 4) {
        throw std::runtime_error(std::string("registration resource has a malformed ") + what);
    }
    return std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 | std::uint32_t(data[2]) << 16 |
           std::uint32_t(data[3]) << 24;
}

} // namespace

PiplInfo decodePipl(const std::vector<std::uint8_t>& bytes)
{
    Reader reader(bytes);
    const std::uint16_t version = reader.u16();
    if (version != 1) {
        throw std::runtime_error("registration resource has unknown version " + std::to_string(version));
    }
    reader.u32(); // reserved
    const std::uint32_t count = reader.u32();
    if (count > 1024) {
        throw std::runtime_error("registration resource claims an implausible property count");
    }

    PiplInfo info;
    info.propertyCount = count;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string vendor = reader.code();
        const std::string key = reader.code();
        reader.u32(); // id
        const std::uint32_t length = reader.u32();
        if (vendor != "8BIM") {
            throw std::runtime_error("registration resource has a property of unknown vendor '" + vendor + "'");
        }
        const std::vector<std::uint8_t> data = reader.take(length);
        reader.skip((4 - length % 4) % 4);

        if (key == "kind") {
            const std::uint32_t value = word(data, "kind");
            info.kind.clear();
            for (int shift = 24; shift >= 0; shift -= 8) {
                info.kind.push_back(static_cast<char>((value >> shift) & 0xFF));
            }
        } else if (key == "name") {
            info.name = countedString(data, "name");
        } else if (key == "catg") {
            info.category = countedString(data, "category");
        } else if (key == "eMNA") {
            info.matchName = countedString(data, "match name");
        } else if (key == "8664") {
            std::string text(data.begin(), data.end());
            info.entryPoint = text.substr(0, text.find('\0'));
        } else if (key == "ePVR") {
            const std::uint32_t value = word(data, "property list version");
            info.propertyListMajor = static_cast<int>(value & 0xFFFF);
            info.propertyListMinor = static_cast<int>(value >> 16);
        } else if (key == "eSVR") {
            const std::uint32_t value = word(data, "host interface version");
            info.hostInterfaceMajor = static_cast<int>(value & 0xFFFF);
            info.hostInterfaceMinor = static_cast<int>(value >> 16);
        } else if (key == "eVER") {
            info.effectVersion = word(data, "effect version");
        } else if (key == "eINF") {
            info.infoFlags = data.size() >= 2 ? std::uint32_t(data[0] | data[1] << 8) : 0;
        } else if (key == "eGLO") {
            info.outFlags = word(data, "out flags");
        } else if (key == "eGL2") {
            info.outFlags2 = word(data, "out flags 2");
        } else if (key == "aeFL") {
            info.aeFlags = word(data, "reserved information");
        }
    }

    if (info.kind != "eFKT") {
        throw std::runtime_error("registration resource does not describe an effect (kind '" + info.kind + "')");
    }
    if (info.entryPoint.empty()) {
        throw std::runtime_error("registration resource names no 64-bit entry point");
    }
    if (info.propertyListMajor != 2) {
        throw std::runtime_error("registration resource has unsupported property list version " +
                                 std::to_string(info.propertyListMajor));
    }
    return info;
}

std::string describeEffectVersion(std::uint32_t version)
{
    static const char* const stages[] = {"development", "alpha", "beta", "release"};
    const unsigned major = (version >> 19) & 0x1F;
    const unsigned minor = (version >> 15) & 0x0F;
    const unsigned bug = (version >> 11) & 0x0F;
    const unsigned stage = (version >> 9) & 0x03;
    const unsigned build = version & 0x1FF;
    std::string text = std::to_string(major) + "." + std::to_string(minor);
    if (bug != 0) {
        text += "." + std::to_string(bug);
    }
    return text + " (" + stages[stage] + ", build " + std::to_string(build) + ")";
}

PiplInfo decodePiplOf(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    try {
        return decodePipl(bytes);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
