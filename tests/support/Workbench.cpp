#include "support/Workbench.h"

#include "support/HostTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <system_error>

namespace Tamrin {
namespace Solvane {
namespace Test {

namespace fs = std::filesystem;

namespace {

bool keepAlways()
{
    const char* keep = std::getenv("SOLVANE_KEEP_TEST_FILES");
    return keep != nullptr && *keep != '\0' && std::string(keep) != "0";
}

std::string safeName(std::string name)
{
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        if (!plain) {
            c = '_';
        }
    }
    return name;
}

struct Difference {
    int x;
    int y;
    int largest; // over the four channels
};

// The pixel at `index` as red, green, blue, alpha.
void rgbaAt(const std::vector<std::uint8_t>& pixels, std::size_t index, PixelOrder order, std::uint8_t out[4])
{
    const std::uint8_t* p = &pixels[index * 4];
    if (order == PixelOrder::Rgba) {
        std::copy(p, p + 4, out);
    } else {
        out[0] = p[1];
        out[1] = p[2];
        out[2] = p[3];
        out[3] = p[0];
    }
}

void writePicture(const fs::path& path, int width, int height, std::vector<std::uint8_t> rgba)
{
    Cli::RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels = std::move(rgba);
    Cli::writePngAtomically(path.string(), image);
}

} // namespace

fs::path testOutputFolder()
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test == nullptr ? "outside-a-test" : std::string(test->test_suite_name()) + "." + test->name();
    return fs::path(SOLVANE_BINARY_DIR) / "test-output" / safeName(name);
}

ScratchFolder::ScratchFolder(const std::string& name)
    : path_(name.empty() ? testOutputFolder() : testOutputFolder() / safeName(name))
{
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder()
{
    if (::testing::Test::HasFailure() || keepAlways()) {
        std::cerr << "The test's files are kept in " << path_.string() << "\n";
        return;
    }
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    // The test's folder goes too once nothing else is in it.
    if (path_ != testOutputFolder()) {
        fs::remove(testOutputFolder(), ignored);
    }
}

std::vector<std::string> ScratchFolder::files() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

::testing::AssertionResult sameImage(const std::string& name, int width, int height,
                                     const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& expected,
                                     PixelOrder order, int tolerance)
{
    const std::size_t count =
        static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
    if (actual.size() != count * 4 || expected.size() != count * 4) {
        return ::testing::AssertionFailure() << name << ": " << width << " x " << height << " pixels are "
                                             << count * 4 << " bytes, but the actual image has " << actual.size()
                                             << " and the expected " << expected.size();
    }
    std::vector<Difference> differences;
    std::vector<std::uint8_t> actualRgba(count * 4);
    std::vector<std::uint8_t> expectedRgba(count * 4);
    int largest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        rgbaAt(actual, i, order, &actualRgba[i * 4]);
        rgbaAt(expected, i, order, &expectedRgba[i * 4]);
        int pixelLargest = 0;
        for (int c = 0; c < 4; ++c) {
            pixelLargest = std::max(pixelLargest, std::abs(actualRgba[i * 4 + c] - expectedRgba[i * 4 + c]));
        }
        if (pixelLargest > tolerance) {
            differences.push_back({static_cast<int>(i % width), static_cast<int>(i / width), pixelLargest});
            largest = std::max(largest, pixelLargest);
        }
    }
    if (differences.empty()) {
        return ::testing::AssertionSuccess();
    }

    std::vector<std::uint8_t> difference(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        const int alpha = std::abs(actualRgba[i * 4 + 3] - expectedRgba[i * 4 + 3]);
        for (int c = 0; c < 3; ++c) {
            const int channel = std::max(std::abs(actualRgba[i * 4 + c] - expectedRgba[i * 4 + c]), alpha);
            difference[i * 4 + c] = static_cast<std::uint8_t>(channel * 255 / largest);
        }
        difference[i * 4 + 3] = 255;
    }

    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << name << ": " << differences.size() << " of " << count << " pixels differ";
    if (tolerance > 0) {
        failure << " by more than " << tolerance;
    }
    failure << ", by up to " << largest << "; the largest (x, y: actual / expected, RGBA):";
    std::stable_sort(differences.begin(), differences.end(),
                     [](const Difference& a, const Difference& b) { return a.largest > b.largest; });
    const std::size_t shown = std::min<std::size_t>(differences.size(), 8);
    for (std::size_t k = 0; k < shown; ++k) {
        const std::size_t i = static_cast<std::size_t>(differences[k].y) * width + differences[k].x;
        failure << "\n  " << differences[k].x << ", " << differences[k].y << ": ";
        for (const auto* image : {&actualRgba, &expectedRgba}) {
            for (int c = 0; c < 4; ++c) {
                failure << (c == 0 ? "" : ",") << int((*image)[i * 4 + c]);
            }
            failure << (image == &actualRgba ? " / " : "");
        }
    }
    if (differences.size() > shown) {
        failure << "\n  ... and " << differences.size() - shown << " more";
    }

    const fs::path folder = testOutputFolder();
    try {
        fs::create_directories(folder);
        const std::string stem = safeName(name);
        writePicture(folder / (stem + "-actual.png"), width, height, actualRgba);
        writePicture(folder / (stem + "-expected.png"), width, height, expectedRgba);
        writePicture(folder / (stem + "-difference.png"), width, height, difference);
        failure << "\n  actual, expected and difference: " << (folder / (stem + "-*.png")).string();
    } catch (const std::exception& e) {
        failure << "\n  (the pictures could not be written into " << folder.string() << ": " << e.what() << ")";
    }
    return failure;
}

::testing::AssertionResult sameImage(const std::string& name, const Cli::RgbaImage& actual,
                                     const Cli::RgbaImage& expected, int tolerance)
{
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure() << name << ": the actual image is " << actual.width << " x "
                                             << actual.height << ", the expected " << expected.width << " x "
                                             << expected.height;
    }
    return sameImage(name, actual.width, actual.height, actual.pixels, expected.pixels, PixelOrder::Rgba, tolerance);
}

::testing::AssertionResult sameImage(const std::string& name, const StandIn::HostWorld& actual,
                                     const std::vector<std::uint8_t>& expected, int tolerance)
{
    return sameImage(name, actual.width(), actual.height(), pixels(actual), expected, PixelOrder::Argb, tolerance);
}

::testing::AssertionResult nearImage(const std::string& name, const Cli::RgbaImage& actual,
                                     const Cli::RgbaImage& expected, int largest, double share)
{
    if (actual.width != expected.width || actual.height != expected.height ||
        actual.pixels.size() != expected.pixels.size()) {
        return sameImage(name, actual, expected);
    }
    const ::testing::AssertionResult within = sameImage(name, actual, expected, largest);
    if (!within) {
        return within;
    }
    std::size_t differing = 0;
    for (std::size_t i = 0; i + 3 < actual.pixels.size(); i += 4) {
        differing += std::equal(&actual.pixels[i], &actual.pixels[i] + 4, &expected.pixels[i]) ? 0 : 1;
    }
    const std::size_t count = actual.pixels.size() / 4;
    if (static_cast<double>(differing) <= share * static_cast<double>(count)) {
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult failure = sameImage(name, actual, expected);
    return ::testing::AssertionFailure() << "more than " << share * 100.0 << " % of the pixels differ: "
                                         << failure.message();
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
