#pragma once

#include <cstdio>
#include <string>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// The C runtime's descriptor calls that the redirection of the plug-in's
// diagnostics needs, under one name on every system (DescriptorsPosix.cpp,
// DescriptorsWindows.cpp). Each returns what its system call returns.
namespace Descriptors {

int duplicate(int descriptor);
int duplicateOnto(int from, int to);
int close(int descriptor);
// A descriptor open for writing on the null device; negative when it cannot be opened.
int openNullDevice();
// A binary write stream on the descriptor; null when none can be made.
std::FILE* binaryWriteStream(int descriptor);
// A descriptor on a new, nameless file in memory that every write appends to; negative
// where the system has none (the diagnostics then go straight to their target).
int openScratchFile();
// Everything the scratch file holds, which is then emptied.
std::string takeScratchFile(int descriptor);
// Writes all the bytes to the descriptor (as far as it takes them).
void writeAll(int descriptor, const std::string& bytes);
// Puts standard input into binary mode (a no-op where there is no text mode).
void binaryStdin();

} // namespace Descriptors

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
