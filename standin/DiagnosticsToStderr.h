#pragma once

#include <cstdio>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// The plug-in writes its diagnostic lines (context identification, shader errors)
// to standard output, from inside this process. While an object of this class
// lives, the process's standard output descriptor is standard error, so that those
// lines stay out of whatever the real standard output carries: a listing, or a
// stream of frames, written through frameStream(). Restored when it ends. Asked to
// discard them, it points the descriptor at the null device instead, so that a user
// who wants a quiet run sees none of them.
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

    // Puts standard input into binary mode (a no-op where there is no text mode).
    static void binaryStdin();

    // The descriptor that now stands for the caller's standard output (1) or standard
    // error (2): while a redirection is in place, standard output's is the saved one,
    // not the diagnostics' descriptor 1. Other descriptors are given back as they are.
    static int callerDescriptor(int descriptor);

private:
    int saved_ = -1;
    bool outermost_ = false;
};

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
