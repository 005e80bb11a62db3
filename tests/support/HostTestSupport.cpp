#include "HostTestSupport.h"

#include <sys/wait.h>

#include <cstdio>

namespace Tamrin {
namespace Solvane {
namespace Test {

std::string pluginPath() { return std::string(SOLVANE_BINARY_DIR) + "/OstrelSolvane.aex"; }
std::string solvanePath() { return std::string(SOLVANE_BINARY_DIR) + "/solvane"; }
std::string sourcePath(const std::string& relative) { return std::string(SOLVANE_SOURCE_DIR) + "/" + relative; }

int runCommand(const std::string& commandLine, std::string* output)
{
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe) {
        return -1;
    }
    std::string text;
    char buffer[4096];
    std::size_t length = 0;
    while ((length = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        text.append(buffer, length);
    }
    const int status = pclose(pipe);
    if (output) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
