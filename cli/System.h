#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The operating-system calls of the solvane application, one definition for POSIX
// systems (SystemPosix.cpp) and one for Windows (SystemWindows.cpp); the rest of the
// application is the same source on both.
namespace System {

// ---- Files -----------------------------------------------------------------

// Creates a new, empty file beside `target`, exclusively, with the permissions that
// the finished file should have (those of the file it replaces, or a new file's
// under the umask). Null with errorText() set when it cannot.
std::FILE* createTemporaryBeside(const std::string& target, std::string& path);

// Pushes the stream's bytes to the storage device. False with errorText() set.
bool syncToDisk(std::FILE* file);

// Renames `from` over `to`, replacing it. False with errorText() set.
bool replaceFile(const std::string& from, const std::string& to);

// The system's text for the last failed call of this interface or of the C library.
std::string errorText();

// ---- Standard streams ------------------------------------------------------

bool stderrIsTerminal();

// ---- Text ------------------------------------------------------------------

// GBK (code page 936) bytes as UTF-8; bytes that do not convert become '?'.
std::string gbkToUtf8(const std::string& gbk);

// ---- Memory ----------------------------------------------------------------

// The resident set of this process now and at its highest; 0 where not known.
std::uint64_t residentBytes();
std::uint64_t peakResidentBytes();

// ---- Signals ---------------------------------------------------------------

// A reader that goes away makes a write fail with a reason instead of ending the
// process silently by signal.
void ignoreBrokenPipe();

} // namespace System

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
