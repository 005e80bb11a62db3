#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// The plug-in writes its diagnostic lines (context identification, shader errors)
// to standard output, from inside this process. While an object of this class
// lives, the process's standard output descriptor is a scratch file in memory, so
// that those lines stay out of whatever the real standard output carries: a listing,
// or a stream of frames, written through frameStream(). pass() sends what the
// plug-in wrote on to standard error, or drops it when asked to discard, so that a
// user who wants a quiet run sees none of it; takeLines() hands it to the caller
// instead, which can then say what the plug-in reported about a failure, quiet or
// not. Whatever is left is passed on, and the descriptor restored, when it ends.
// Where no scratch file can be made, the descriptor is standard error (or the null
// device) itself, and takeLines() has nothing.
class DiagnosticsToStderr {
public:
    enum class Target {
        StandardError, // the lines go to standard error
        Discard        // the lines go nowhere (standard error when the null device cannot be opened)
    };

    explicit DiagnosticsToStderr(Target target = Target::StandardError);
    ~DiagnosticsToStderr();

    DiagnosticsToStderr(const DiagnosticsToStderr&) = delete;
    DiagnosticsToStderr& operator=(const DiagnosticsToStderr&) = delete;

    // A new stream on the real standard output, in binary mode; the caller closes it.
    // Null when the descriptor cannot be duplicated.
    std::FILE* frameStream() const;

    // What the plug-in wrote since the last take, no longer passed on.
    std::string takeLines();
    // Sends the text on as the plug-in's lines (standard error, or nowhere when discarding).
    void forward(const std::string& lines) const;
    // Sends on what the plug-in wrote since the last take.
    void pass() { forward(takeLines()); }

    // Puts standard input into binary mode (a no-op where there is no text mode).
    static void binaryStdin();

    // The descriptor that now stands for the caller's standard output (1) or standard
    // error (2): while a redirection is in place, standard output's is the saved one,
    // not the diagnostics' descriptor 1. Other descriptors are given back as they are.
    static int callerDescriptor(int descriptor);

private:
    int saved_ = -1;
    int scratch_ = -1;
    bool discard_ = false;
    bool outermost_ = false;
    std::mutex mutex_;
};

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
