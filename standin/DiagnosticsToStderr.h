#pragma once

#include <cstdio>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// The plug-in writes its diagnostic lines (context identification, shader errors)
// to standard output, from inside this process. While an object of this class
// lives, the process's standard output descriptor is standard error, so that those
// lines stay out of whatever the real standard output carries: a listing, or a
// stream of frames, written through frameStream(). Restored when it ends.
//
// Asked to, it sends the lines to the system's null device instead (a quiet run).
class DiagnosticsToStderr {
public:
    enum class Destination { StandardError, NullDevice };

    explicit DiagnosticsToStderr(Destination destination = Destination::StandardError);
    ~DiagnosticsToStderr();

    DiagnosticsToStderr(const DiagnosticsToStderr&) = delete;
    DiagnosticsToStderr& operator=(const DiagnosticsToStderr&) = delete;

    // A new stream on the real standard output, in binary mode; the caller closes it.
    // Null when the descriptor cannot be duplicated.
    std::FILE* frameStream() const;

    // Puts standard input into binary mode (a no-op where there is no text mode).
    static void binaryStdin();

private:
    int saved_ = -1;
};

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
