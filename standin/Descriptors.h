#pragma once

#include <cstdio>

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
// A new descriptor open for writing on the null device; -1 when it cannot be opened.
int openNullDevice();
// A binary write stream on the descriptor; null when none can be made.
std::FILE* binaryWriteStream(int descriptor);
// Puts standard input into binary mode (a no-op where there is no text mode).
void binaryStdin();

} // namespace Descriptors

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
