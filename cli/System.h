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

// Where the bytes written to an output name end up. A regular file (or a name that
// does not exist yet) is replaced as a whole by renaming a complete temporary file
// into place; a special file (a FIFO, a character or block device) cannot be
// replaced and is written to directly. A symbolic link is followed: the file it
// names is replaced, never the link.
struct OutputTarget {
    std::string path; // the name to write or replace, links resolved
    bool special = false;
};

// Throws std::runtime_error naming the output when its links cannot be followed.
OutputTarget resolveOutput(const std::string& name);

// Creates a new, empty file beside `target`, exclusively, under a name that fits the
// folder's limit on name length, with the permissions that the finished file should
// have (those of the file it replaces, or a new file's under the umask). Null with
// errorText() set when it cannot.
std::FILE* createTemporaryBeside(const std::string& target, std::string& path);

// The folder an output would go into, as the name gives it ("." for a bare name), when
// that folder does not exist or is not a folder; empty otherwise.
std::string missingFolderOf(const std::string& target);

// 1 when the name stands for this process's standard output (/dev/stdout, /dev/fd/1,
// /proc/self/fd/1, or a link to one of them), 2 for standard error; -1 otherwise.
// Such names reach whatever the descriptor is at the moment they are opened, so the
// caller maps them to the streams it was given.
int standardStreamNamed(const std::string& name);

// Opens a special file for writing as it is (no truncation or replacement beyond
// what the device does). Null with errorText() set when it cannot.
std::FILE* openForWriting(const std::string& path);

// Pushes the stream's bytes to the storage device. False with errorText() set.
bool syncToDisk(std::FILE* file);

// Renames `from` over `to`, replacing it. False with errorText() set.
bool replaceFile(const std::string& from, const std::string& to);

// The system's text for the last failed call of this interface or of the C library.
std::string errorText();

// What makes a file unfit to read as an image, in words ("is a directory", "is
// empty"); empty when nothing is known to be wrong.
std::string unreadableReason(const std::string& path);

// ---- Standard streams ------------------------------------------------------

bool stderrIsTerminal();

// Writes whatever standard output still holds; false, with errorText() set, when
// any of its writes failed (a closed pipe, a full disk).
bool flushStandardOutput();

// ---- Text ------------------------------------------------------------------

// GBK (code page 936) bytes as UTF-8; bytes that do not convert become '?'.
std::string gbkToUtf8(const std::string& gbk);

// ---- Memory ----------------------------------------------------------------

// The resident set of this process now and at its highest; 0 where not known.
std::uint64_t residentBytes();
std::uint64_t peakResidentBytes();

// ---- Signals ---------------------------------------------------------------

// From now on an interrupt, a termination request or a hang-up removes every file
// registered below and then ends the process by that signal, as it would have
// without the handler (so a shell sees 128 + the signal's number). A reader that
// goes away makes a write fail with a reason instead of ending the process silently
// by signal: the failed write is reported where it happens. Called once, early.
void removeFilesInFlightOnSignal();

// Registers a file that a signal must remove (a temporary file being written);
// returns a slot for releaseFileInFlight, or -1 when every slot is taken or the
// name is too long (the file is then left by a signal, as before). Safe to call
// from several threads.
int registerFileInFlight(const std::string& path);
void releaseFileInFlight(int slot);

// Calls `remove` with every registered name; only lock-free reads, so that a signal
// handler may call it. A file that another thread is making and registering meanwhile
// (see RegisteringFileInFlight) is waited for, so that it is removed as well.
void removeFilesInFlight(void (*remove)(const char* path));

// Held from just before a file that a signal must remove is made until it is
// registered. A file made and not yet registered would otherwise be left behind by a
// signal between the two steps. Signals are held back from this thread meanwhile (a
// held signal is delivered when the holder ends, and finds the file registered); a
// handler running on another thread waits for the holder to end.
// Counted by RegisteringFileInFlight on both systems.
void beginRegistering();
void endRegistering();

class RegisteringFileInFlight {
public:
    RegisteringFileInFlight();
    ~RegisteringFileInFlight();
    RegisteringFileInFlight(const RegisteringFileInFlight&) = delete;
    RegisteringFileInFlight& operator=(const RegisteringFileInFlight&) = delete;

private:
    alignas(8) unsigned char savedMask_[128]; // this thread's signal mask before, where the system has one
};

} // namespace System

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
