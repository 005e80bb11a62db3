#include "HostTestSupport.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace Tamrin {
namespace Solvane {
namespace Test {

namespace {

#if defined(_WIN32)
// The command interpreter takes a leading "/" for a switch: programs are named with backslashes.
std::string commandPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}
const char* const kExecutableSuffix = ".exe";
#else
std::string commandPath(const std::string& path) { return path; }
const char* const kExecutableSuffix = "";
#endif

} // namespace

std::string pluginPath() { return std::string(SOLVANE_BINARY_DIR) + "/OstrelSolvane.aex"; }
std::string solvanePath() { return commandPath(std::string(SOLVANE_BINARY_DIR) + "/solvane" + kExecutableSuffix); }
std::string sourcePath(const std::string& relative) { return std::string(SOLVANE_SOURCE_DIR) + "/" + relative; }

int runCommand(const std::string& commandLine, std::string* output)
{
#if defined(_WIN32)
    FILE* pipe = _popen((commandLine + " 2>&1").c_str(), "r");
#else
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
#endif
    if (!pipe) {
        return -1;
    }
    std::string text;
    char buffer[4096];
    std::size_t length = 0;
    while ((length = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        text.append(buffer, length);
    }
#if defined(_WIN32)
    // The command interpreter hands back the program's exit code as it is.
    const int status = _pclose(pipe);
#else
    const int rawStatus = pclose(pipe);
    const int status = WIFEXITED(rawStatus) ? WEXITSTATUS(rawStatus) : -1;
#endif
    if (output) {
        *output = text;
    }
    return status;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file << bytes;
}

std::vector<std::uint8_t> pixels(const StandIn::HostWorld& world)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(world.width()) * world.height() * 4);
    for (int y = 0; y < world.height(); ++y) {
        bytes.insert(bytes.end(), world.row(y), world.row(y) + static_cast<std::size_t>(world.width()) * 4);
    }
    return bytes;
}

::testing::AssertionResult nearPixels(const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& expected)
{
    if (actual.size() != expected.size() || actual.size() % 4 != 0) {
        return sameBytes(actual, expected);
    }
    std::size_t differing = 0;
    int largest = 0;
    for (std::size_t i = 0; i < actual.size(); i += 4) {
        int pixelLargest = 0;
        for (std::size_t c = 0; c < 4; ++c) {
            pixelLargest = std::max(pixelLargest, std::abs(actual[i + c] - expected[i + c]));
        }
        largest = std::max(largest, pixelLargest);
        differing += pixelLargest > 0 ? 1 : 0;
    }
    const std::size_t count = actual.size() / 4;
    if (largest <= 1 && differing * 1000 <= count) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << differing << " of " << count << " pixels differ, by up to " << largest
                                         << " (allowed: one level, on 0.1 % of the pixels)";
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
