#pragma once

// The registration resource (property list) that the host reads from the library
// file before loading it: what the effect is called, where it sits, its entry
// point and versions. This table is the one source of the bytes: the Linux build
// places them in the ".pipl" section, the Windows build in resource "PIPL" 16000.

#include <array>
#include <cstddef>
#include <cstdint>

#include "solvane/Version.h"

namespace Tamrin {
namespace Solvane {
namespace Pipl {

constexpr char kEffectName[] = "Ostrel Solvane";
constexpr char kCategory[] = "Ostrel";
constexpr char kMatchName[] = "Ostrel_Solvane";
constexpr char kEntryPointName[] = "EntryPointFunc";
// The host's packed version: major, minor and bug-fix number of the project's version, development stage, build 1
// (0x80001 for 1.0.0).
constexpr std::uint32_t kEffectVersion = (std::uint32_t{SOLVANE_VERSION_MAJOR} << 19) |
                                         (std::uint32_t{SOLVANE_VERSION_MINOR} << 15) |
                                         (std::uint32_t{SOLVANE_VERSION_PATCH} << 11) | 1;
constexpr std::int32_t kOutFlags = 0;
constexpr std::int32_t kOutFlags2 = 0;
constexpr std::int32_t kResourceId = 16000;
constexpr std::int32_t kLanguage = 1033;
constexpr std::size_t kPropertyCount = 12;
constexpr std::size_t kSize = 290;

using Bytes = std::array<std::uint8_t, kSize>;

// Appends little-endian values, four-character codes and padded property data.
class Writer {
public:
    constexpr void u8(std::uint32_t value) { bytes_[position_++] = static_cast<std::uint8_t>(value & 0xFF); }
    constexpr void i16(std::int32_t value)
    {
        u8(static_cast<std::uint32_t>(value));
        u8(static_cast<std::uint32_t>(value) >> 8);
    }
    constexpr void u32(std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8) {
            u8(value >> shift);
        }
    }
    // A code is the 32-bit integer whose most significant byte is its first
    // character, stored little-endian: its bytes appear reversed in the file.
    constexpr void code(const char (&text)[5])
    {
        u32((std::uint32_t(std::uint8_t(text[0])) << 24) | (std::uint32_t(std::uint8_t(text[1])) << 16) |
            (std::uint32_t(std::uint8_t(text[2])) << 8) | std::uint32_t(std::uint8_t(text[3])));
    }
    constexpr void propertyHead(const char (&key)[5], std::uint32_t length)
    {
        code("8BIM");
        code(key);
        u32(0);
        u32(length);
    }
    constexpr void padTo4(std::size_t start)
    {
        while ((position_ - start) % 4 != 0) {
            u8(0);
        }
    }
    template <std::size_t N>
    constexpr void countedString(const char (&key)[5], const char (&text)[N])
    {
        constexpr std::size_t characters = N - 1;
        propertyHead(key, static_cast<std::uint32_t>((1 + characters + 3) / 4 * 4));
        const std::size_t start = position_;
        u8(static_cast<std::uint32_t>(characters));
        for (std::size_t i = 0; i < characters; ++i) {
            u8(static_cast<std::uint8_t>(text[i]));
        }
        padTo4(start);
    }
    template <std::size_t N>
    constexpr void cString(const char (&key)[5], const char (&text)[N])
    {
        propertyHead(key, static_cast<std::uint32_t>((N + 3) / 4 * 4));
        const std::size_t start = position_;
        for (std::size_t i = 0; i < N; ++i) {
            u8(static_cast<std::uint8_t>(text[i]));
        }
        padTo4(start);
    }
    constexpr std::size_t position() const { return position_; }
    constexpr const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_{};
    std::size_t position_ = 0;
};

constexpr Bytes build()
{
    Writer w;
    w.i16(1);              // resource version
    w.u32(0);              // reserved
    w.u32(kPropertyCount); // property count

    w.propertyHead("kind", 4);
    w.code("eFKT");
    w.countedString("name", kEffectName);
    w.countedString("catg", kCategory);
    w.cString("8664", kEntryPointName);
    w.propertyHead("ePVR", 4);
    w.i16(2);
    w.i16(0);
    w.propertyHead("eSVR", 4);
    w.i16(13);
    w.i16(27);
    w.propertyHead("eVER", 4);
    w.u32(kEffectVersion);
    w.propertyHead("eINF", 2);
    w.i16(0);
    w.i16(0); // padding to the next multiple of 4
    w.propertyHead("eGLO", 4);
    w.u32(static_cast<std::uint32_t>(kOutFlags));
    w.propertyHead("eGL2", 4);
    w.u32(static_cast<std::uint32_t>(kOutFlags2));
    w.propertyHead("aeFL", 4);
    w.u32(8);
    w.countedString("eMNA", kMatchName);
    return w.position() == kSize ? w.bytes() : throw "registration resource size mismatch";
}

constexpr Bytes kBytes = build();

} // namespace Pipl
} // namespace Solvane
} // namespace Tamrin
