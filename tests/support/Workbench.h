#pragma once

// The tests' workbench: one folder per test for the files it writes, and one comparison of images that leaves what
// it saw in that folder when the images differ.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/PngImage.h"
#include "standin/HostWorld.h"

namespace Tamrin {
namespace Solvane {
namespace Test {

// The running test's own folder: <build folder>/test-output/<Suite>.<Case> (with the parameter of a parameterized
// test; characters other than letters, digits, '.', '-' and '_' become '_'). Not made by this call.
std::filesystem::path testOutputFolder();

// The running test's folder for the files it writes, made empty (a folder of that name, when given, inside the test's
// folder). When the test ends without a failure the folder is removed; when it failed the folder is kept and its
// path printed, with whatever the test and a failed image comparison left in it. SOLVANE_KEEP_TEST_FILES=1 keeps
// it in every case.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name = "");
    ~ScratchFolder();

    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string operator/(const std::string& file) const { return (path_ / file).string(); }
    // The names of what is in the folder, sorted.
    std::vector<std::string> files() const;

private:
    std::filesystem::path path_;
};

// The byte order of an image's pixels: frei0r's and PNG's RGBA, or the host's ARGB.
enum class PixelOrder { Rgba, Argb };

// Two images of width x height pixels, 4 bytes each in `order`, rows without padding, equal to within `tolerance`
// per channel. When they are not: how many pixels differ and by how much, the largest differences with their pixel
// positions and both values, and the three pictures written into the test's output folder, named after `name`:
// NAME-actual.png, NAME-expected.png (RGBA, alpha kept) and NAME-difference.png (opaque; each colour channel the
// difference of that channel, or of alpha where larger, stretched so that the largest difference is white).
::testing::AssertionResult sameImage(const std::string& name, int width, int height,
                                     const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& expected,
                                     PixelOrder order = PixelOrder::Rgba, int tolerance = 0);
::testing::AssertionResult sameImage(const std::string& name, const Cli::RgbaImage& actual,
                                     const Cli::RgbaImage& expected, int tolerance = 0);
// A host world (without its row padding) against pixels in the host's order.
::testing::AssertionResult sameImage(const std::string& name, const StandIn::HostWorld& actual,
                                     const std::vector<std::uint8_t>& expected, int tolerance = 0);

// Two images that conforming OpenGL drivers may render apart by their float rounding: no pixel more than `largest`
// levels apart, and no more than `share` of the pixels different at all. A failure reports as sameImage does.
::testing::AssertionResult nearImage(const std::string& name, const Cli::RgbaImage& actual,
                                     const Cli::RgbaImage& expected, int largest, double share);

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
