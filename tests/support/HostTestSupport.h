#pragma once

#include <string>

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

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
