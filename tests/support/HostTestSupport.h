#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "standin/HostWorld.h"

namespace Tamrin {
namespace Solvane {
namespace Test {

// Paths of the built products, for tests that drive them as a user or a host would.
std::string pluginPath();
std::string solvanePath();
std::string sourcePath(const std::string& relative);

// Runs a shell command line; returns its exit status and, through `output`, what it
// wrote to standard output and standard error together.
int runCommand(const std::string& commandLine, std::string* output = nullptr);

// A whole file's bytes ("" when it cannot be read), and a file written with these bytes.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// A world's pixel bytes, row after row, without the row padding.
std::vector<std::uint8_t> pixels(const StandIn::HostWorld& world);

// Equal bytes, or how many differ and by how much at most (without printing a whole frame).
template <typename Actual, typename Expected>
::testing::AssertionResult sameBytes(const Actual& actual, const Expected& expected)
{
    const std::size_t size = actual.size() * sizeof actual[0];
    if (size != expected.size() * sizeof expected[0]) {
        return ::testing::AssertionFailure() << "sizes differ: " << size << " and "
                                             << expected.size() * sizeof expected[0] << " bytes";
    }
    const auto* a = reinterpret_cast<const std::uint8_t*>(actual.data());
    const auto* b = reinterpret_cast<const std::uint8_t*>(expected.data());
    std::size_t differing = 0;
    int largest = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (a[i] != b[i]) {
            ++differing;
            largest = std::max(largest, std::abs(a[i] - b[i]));
        }
    }
    if (differing == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << differing << " of " << size << " bytes differ, by up to " << largest;
}

// RGBA pixels that conforming OpenGL drivers may render apart by the float rounding of the passes: no byte more than
// one level off, and at most 0.1 % of the pixels different at all. Measured against llvmpipe, which made the
// published images: softpipe moves about 0.05 % of a frame's pixels, zink a few in a million.
::testing::AssertionResult nearPixels(const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& expected);

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
