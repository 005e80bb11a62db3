#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/FrameChunk.h"
#include "cli/FramePattern.h"
#include "cli/ImageFile.h"
#include "cli/KeyframeTrack.h"
#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

// Parameter values a user sets for a render, in the host's units. Unset values
// keep what the plug-in declared.
struct RenderOptions {
    std::optional<double> threshold;       // per cent
    std::optional<double> thresholdSmooth; // per cent
    std::optional<double> centerX, centerY; // layer pixels
    std::optional<int> shineLength;        // pixels
    std::optional<double> exposure;        // per cent
    std::optional<int> quality;            // popup choice: 1 high, 2 medium, 3 low
    bool rayOnly = false;
    std::string language = "en_US";
    // Numeric options given as keyframes ("FRAME:VALUE ..."), by parameter index, in
    // the same units; they take the place of the option's constant value.
    std::map<PF_ParamIndex, KeyframeTrack> keyframes;
};

// How a render command takes its frames, beside the effect's parameter values.
struct RenderJobOptions {
    std::optional<FrameRange> frames; // numbers of a numbered sequence
    std::optional<FrameChunk> chunk;  // only this chunk of the frames
    bool skipExisting = false;        // leave out frames whose output is already there
    long firstFrame = 0;              // raw video: the number of the stream's first frame
    A_u_long timeScale = 24;          // host time base: frames of timeStep / timeScale seconds
    A_long timeStep = 1;
    int rawWidth = 0;                 // raw video frames of this size; 0: PNG files
    int rawHeight = 0;
    int hostThreads = 2;
    bool quiet = false;
    bool verbose = false;             // the plug-in's OpenGL identification too
    bool overlap = true;              // read and write on threads of their own while rendering
    ImageWriteOptions image;          // JPEG and WebP quality, TIFF compression
};

// "24", "29.97", "30000/1001": the time base as the host keeps it (time scale,
// time step). Throws std::invalid_argument.
void parseFrameRate(const std::string& text, A_u_long& timeScale, A_long& timeStep);

// The largest frame side the plug-in draws: the OpenGL texture, renderbuffer and
// viewport limit of the drivers it runs on (llvmpipe's, and the smallest that desktop
// drivers report); the plug-in refuses a frame beyond its context's own limits.
constexpr int kLargestFrameSide = 16384;

// "--name=value" as its name and value; any other argument as a name alone.
struct OptionArgument {
    std::string name;
    std::optional<std::string> value;
};
OptionArgument splitOption(const std::string& argument);

// A host language tag ("en_US"); throws std::invalid_argument naming the option.
std::string parseLanguageTag(const std::string& option, const std::string& text);

// Takes the option at args[i] (and its value) if it is a render option, or, given
// `job`, one of the render command's own; advances i. Every option takes its value
// as the next argument or after an equals sign ("--center=-40,30"). A numeric option takes either
// one value or keyframes: "FRAME:VALUE" arguments, as many as follow it (or several
// in one argument, separated by blanks). Returns false for an argument that is not
// an option. Throws std::invalid_argument with a message for a bad value.
bool parseRenderOption(const std::vector<std::string>& args, std::size_t& i, RenderOptions& options,
                       RenderJobOptions* job = nullptr);

// Sets the options' values on the host's declared parameters. Keyframed options are
// answered at every checkout with their value at the time asked for, the frame
// number being the time in units of the host's time step.
void applyRenderOptions(const RenderOptions& options, StandIn::SubstituteHost& host);

// The help text of the render options, the effect's and the render command's own, from the table the parser reads.
std::string renderOptionsHelp();

// One render option as the help text shows it: name, alias ("" for none), synopsis, description (lines separated by
// '\n'), and whether it is the render command's own rather than the effect's. The man page and the shell's
// completion are made from these at build time.
struct RenderOptionText {
    std::string name, alias, synopsis, help;
    bool job;
};
std::vector<RenderOptionText> renderOptionTexts();

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
