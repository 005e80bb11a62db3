#pragma once

#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// Frames to render, by their numbers: first to last, both included.
struct FrameRange {
    long first = 0;
    long last = 0;
    long count() const { return last - first + 1; }
};

// "A-B" or a single frame number "N"; throws std::invalid_argument.
FrameRange parseFrameRange(const std::string& text);

// A file name for numbered frames, as ffmpeg and most tools write it: one "%d" or
// "%0Nd" (N from 1 to 9: at least N digits, zero-filled) where the number goes, and
// "%%" for a percent sign. Without a "%" directive, a run of "#" or "@" in the file's
// own name (not its folders) stands for the number as VFX tools write it: a digit for
// each sign ("####", "@@@"), and a lone "#" for four digits (oiiotool's). A name
// without either names one file. The name is never handed to printf.
class FramePattern {
public:
    // Throws std::invalid_argument for a name with more than one number or a directive
    // it does not know.
    explicit FramePattern(std::string pattern);

    bool numbered() const { return numbered_; }
    const std::string& pattern() const { return pattern_; }

    // The file name of a frame; for a name without a directive, the name itself.
    std::string path(long frame) const;

private:
    void takeSignRun();

    std::string pattern_;
    std::string before_, after_; // with "%%" already turned into "%"
    int width_ = 0;
    bool numbered_ = false;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
