#include "cli/RenderOptions.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <sstream>
#include <stdexcept>

#include "cli/ImageCodecs.h"
#include "host/ParameterIndex.h"
#include "standin/EffectValues.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

int parseCount(const std::string& option, const std::string& text, int low, int high)
{
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high) {
        throw std::invalid_argument(option + ": expected a whole number from " + std::to_string(low) + " to " +
                                    std::to_string(high) + ", got '" + text + "'");
    }
    return static_cast<int>(value);
}

double parseNumber(const std::string& option, const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value)) {
        throw std::invalid_argument(option + ": not a number: '" + text + "'");
    }
    return value;
}

// A numeric option: its parameter, how many numbers it takes and what they may be.
struct NumericOption {
    const char* name;
    PF_ParamIndex index;
    int components;
    double low, high;
    bool wholeNumbers;
};

// The centre is limited by the host's 16.16 fixed point.
const NumericOption kNumericOptions[] = {
    {"--threshold", kParamThreshold, 1, 0, 100, false},
    {"--threshold-smooth", kParamThresholdSmooth, 1, 0, 100, false},
    {"--center", kParamCenter, 2, -StandIn::kLargestCoordinate, StandIn::kLargestCoordinate, false},
    {"--shine-length", kParamShineLength, 1, 0, 2048, true},
    {"--exposure", kParamExposure, 1, 0, 100, false},
};

std::vector<double> parseValue(const NumericOption& option, const std::string& text)
{
    std::vector<double> value;
    if (option.components == 2) {
        const auto comma = text.find(',');
        if (comma == std::string::npos) {
            throw std::invalid_argument(std::string(option.name) + ": expected X,Y, got '" + text + "'");
        }
        value = {parseNumber(option.name, text.substr(0, comma)), parseNumber(option.name, text.substr(comma + 1))};
        const double largest = StandIn::kLargestCoordinate;
        if (!(std::fabs(value[0]) <= largest && std::fabs(value[1]) <= largest)) {
            throw std::invalid_argument(std::string(option.name) + ": coordinates must lie within +-32767 pixels");
        }
        return value;
    }
    const double number = parseNumber(option.name, text);
    if (number < option.low || number > option.high) {
        throw std::invalid_argument(std::string(option.name) + ": " + text + " is outside " +
                                    std::to_string(static_cast<int>(option.low)) + " to " +
                                    std::to_string(static_cast<int>(option.high)));
    }
    if (option.wholeNumbers && number != std::floor(number)) {
        throw std::invalid_argument(std::string(option.name) + ": expected whole pixels");
    }
    return {number};
}

// "FRAME:..." with a whole, non-negative frame number.
bool isKeyframeText(const std::string& text)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    for (std::size_t i = 0; i < colon; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> words(const std::string& text)
{
    std::istringstream stream(text);
    std::vector<std::string> result;
    std::string word;
    while (stream >> word) {
        result.push_back(word);
    }
    return result;
}

void setConstant(RenderOptions& options, PF_ParamIndex index, const std::vector<double>& value)
{
    switch (index) {
    case kParamThreshold:
        options.threshold = value[0];
        break;
    case kParamThresholdSmooth:
        options.thresholdSmooth = value[0];
        break;
    case kParamCenter:
        options.centerX = value[0];
        options.centerY = value[1];
        break;
    case kParamShineLength:
        options.shineLength = static_cast<int>(value[0]);
        break;
    case kParamExposure:
        options.exposure = value[0];
        break;
    default:
        break;
    }
}

void clearConstant(RenderOptions& options, PF_ParamIndex index)
{
    switch (index) {
    case kParamThreshold:
        options.threshold.reset();
        break;
    case kParamThresholdSmooth:
        options.thresholdSmooth.reset();
        break;
    case kParamCenter:
        options.centerX.reset();
        options.centerY.reset();
        break;
    case kParamShineLength:
        options.shineLength.reset();
        break;
    case kParamExposure:
        options.exposure.reset();
        break;
    default:
        break;
    }
}

// `text` is the option's first value; further keyframes may follow it in args after i.
void parseNumericOption(const NumericOption& option, const std::string& text, const std::vector<std::string>& args,
                        std::size_t& i, RenderOptions& options)
{
    const std::vector<std::string> first = words(text);
    if (first.empty()) {
        throw std::invalid_argument(std::string(option.name) + " needs a value");
    }
    if (!isKeyframeText(first[0])) {
        if (first.size() != 1) {
            throw std::invalid_argument(std::string(option.name) + ": expected one value or FRAME:VALUE keyframes");
        }
        options.keyframes.erase(option.index);
        setConstant(options, option.index, parseValue(option, first[0]));
        return;
    }
    std::vector<std::string> keys = first;
    while (i + 1 < args.size() && isKeyframeText(args[i + 1])) {
        const std::vector<std::string> more = words(args[++i]);
        keys.insert(keys.end(), more.begin(), more.end());
    }
    KeyframeTrack track(option.components);
    for (const std::string& key : keys) {
        if (!isKeyframeText(key)) {
            throw std::invalid_argument(std::string(option.name) + ": expected FRAME:VALUE, got '" + key + "'");
        }
        const auto colon = key.find(':');
        errno = 0;
        const double frame = std::strtod(key.substr(0, colon).c_str(), nullptr);
        if (errno == ERANGE || frame > 2147483647.0) {
            throw std::invalid_argument(std::string(option.name) + ": frame number too large in '" + key + "'");
        }
        track.add(frame, parseValue(option, key.substr(colon + 1)));
    }
    clearConstant(options, option.index);
    options.keyframes[option.index] = track;
}

// Answers a checkout of a keyframed parameter with its value at the time asked for.
void animate(StandIn::HostParameter& parameter, const KeyframeTrack& track, const PF_InData* inData)
{
    parameter.pointInPercent = false;
    parameter.animate = [track, inData](PF_ParamDef& def, double seconds, int, int) {
        double frame = inData->time_step != 0
                           ? seconds * static_cast<double>(inData->time_scale) / inData->time_step
                           : 0.0;
        // Seconds are a quotient: a frame time comes back a hair off its whole frame.
        if (std::fabs(frame - std::round(frame)) < 1e-6) {
            frame = std::round(frame);
        }
        const std::vector<double> value = track.valueAt(frame);
        switch (def.param_type) {
        case PF_Param_FIX_SLIDER:
            def.u.fd.value = StandIn::fixedFromDouble(value[0]);
            break;
        case PF_Param_SLIDER:
            def.u.sd.value = static_cast<A_long>(std::lround(value[0]));
            break;
        case PF_Param_POINT:
            def.u.td.x_value = StandIn::fixedFromDouble(value[0]);
            def.u.td.y_value = StandIn::fixedFromDouble(value[1]);
            break;
        default:
            break;
        }
    };
}

} // namespace

void parseFrameRate(const std::string& text, A_u_long& timeScale, A_long& timeStep)
{
    const std::string message = "--fps: expected frames per second such as 24, 29.97 or 30000/1001, got '" + text + "'";
    const auto slash = text.find('/');
    long long scale = 0;
    long long step = 0;
    if (slash != std::string::npos) {
        scale = parseCount("--fps", text.substr(0, slash), 1, 1000000);
        step = parseCount("--fps", text.substr(slash + 1), 1, 1000000);
    } else {
        errno = 0;
        char* end = nullptr;
        const double fps = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || errno == ERANGE || !(fps >= 0.001 && fps <= 1000.0)) {
            throw std::invalid_argument(message);
        }
        scale = std::llround(fps * 1000.0);
        step = 1000;
    }
    const long long divisor = std::gcd(scale, step);
    scale /= divisor;
    step /= divisor;
    if (scale < 1 || static_cast<double>(scale) / step > 1000.0 || static_cast<double>(scale) / step < 0.001) {
        throw std::invalid_argument(message);
    }
    timeScale = static_cast<A_u_long>(scale);
    timeStep = static_cast<A_long>(step);
}

OptionArgument splitOption(const std::string& argument)
{
    OptionArgument split;
    const auto equals = argument.find('=');
    if (argument.size() > 2 && argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
        split.name = argument.substr(0, equals);
        split.value = argument.substr(equals + 1);
    } else {
        split.name = argument;
    }
    return split;
}

std::string parseLanguageTag(const std::string& option, const std::string& text)
{
    if (text.size() != 5) {
        throw std::invalid_argument(option + ": expected a five-character tag such as en_US, got '" + text + "'");
    }
    return text;
}

namespace {

// One option being taken: its name, the value after '=' if any, and where the arguments stand.
struct OptionParse {
    const OptionArgument& split;
    const std::vector<std::string>& args;
    std::size_t& i;
    RenderOptions& options;
    RenderJobOptions* job;

    // The value: the rest of "--name=value" or the next argument.
    std::string value()
    {
        if (split.value) {
            return *split.value;
        }
        if (i + 1 >= args.size()) {
            throw std::invalid_argument(split.name + " needs a value");
        }
        return args[++i];
    }
    // An option that takes no value refuses one after '='.
    void noValue()
    {
        if (split.value) {
            throw std::invalid_argument(split.name + " takes no value");
        }
    }
};

void takeNumeric(OptionParse& p)
{
    for (const NumericOption& numeric : kNumericOptions) {
        if (p.split.name == numeric.name) {
            parseNumericOption(numeric, p.value(), p.args, p.i, p.options);
            return;
        }
    }
}

void takeQuality(OptionParse& p)
{
    const std::string text = p.value();
    if (text == "high") {
        p.options.quality = 1;
    } else if (text == "medium") {
        p.options.quality = 2;
    } else if (text == "low") {
        p.options.quality = 3;
    } else {
        throw std::invalid_argument(p.split.name + ": expected high, medium or low, got '" + text + "'");
    }
}

#ifdef SOLVANE_IMAGE_FORMATS
void takeWebpQuality(OptionParse& p)
{
    const std::string text = p.value();
    if (text == "lossless") {
        p.job->image.webpQuality.reset();
    } else {
        p.job->image.webpQuality = parseCount(p.split.name, text, 0, 100);
    }
}

void takeTiffCompression(OptionParse& p)
{
    const std::string text = p.value();
    if (!knownTiffCompression(text)) {
        throw std::invalid_argument(p.split.name + ": expected none, lzw, deflate or packbits, got '" + text + "'");
    }
    p.job->image.tiffCompression = text;
}
#endif

void takeRaw(OptionParse& p)
{
    const std::string text = p.value();
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos) {
        throw std::invalid_argument("--raw: expected WIDTHxHEIGHT such as 1920x1080, got '" + text + "'");
    }
    const int width = parseCount("--raw", text.substr(0, x), 1, INT_MAX);
    const int height = parseCount("--raw", text.substr(x + 1), 1, INT_MAX);
    if (width > kLargestFrameSide || height > kLargestFrameSide) {
        throw std::invalid_argument("--raw: " + std::to_string(width) + "x" + std::to_string(height) +
                                    " is larger than the plug-in draws: at most " +
                                    std::to_string(kLargestFrameSide) + " pixels a side");
    }
    p.job->rawWidth = width;
    p.job->rawHeight = height;
}

// The render options, from which both the parser and the help text come. `job` options are the render command's
// own (how it takes its frames); the others set the effect's parameters and the host's language, and `params`
// takes --language too. The help text gives each option's synopsis and description, lines separated by '\n'.
struct RenderOptionRow {
    const char* name;
    const char* alias; // "" for none
    const char* synopsis;
    const char* help;
    bool job;
    void (*take)(OptionParse& p);
};

const RenderOptionRow kRenderOptionRows[] = {
    {"--threshold", "", "--threshold PCT",
     "how much shines: pixels brighter than 100-PCT % shine, 0-100 (default 50)", false, takeNumeric},
    {"--threshold-smooth", "", "--threshold-smooth PCT", "softness of the threshold, 0-100 (default 0)", false,
     takeNumeric},
    {"--center", "", "--center X,Y", "ray centre in layer pixels (default: the layer's centre)", false, takeNumeric},
    {"--shine-length", "", "--shine-length PX", "length of the shafts, 0-2048 (default 2048)", false, takeNumeric},
    {"--exposure", "", "--exposure PCT", "brightness of the shafts, 0-100 (default 10)", false, takeNumeric},
    {"--quality", "", "--quality high|medium|low", "quality of the shafts; high is the slowest (default medium)", false,
     takeQuality},
    {"--ray-only", "", "--ray-only", "output the shafts alone", false,
     [](OptionParse& p) {
         p.noValue();
         p.options.rayOnly = true;
     }},
    {"--language", "", "--language TAG", "host language tag, e.g. en_US or zh_CN (default en_US)", false,
     [](OptionParse& p) { p.options.language = parseLanguageTag(p.split.name, p.value()); }},
    {"--frames", "", "--frames FIRST-LAST",
     "frame numbers of a numbered sequence: IN and OUT name their\nframes with %d or %04d (and %% for a percent sign), or\nwith #### or @@@@ as VFX tools do (a digit a sign; a lone #\nstands for four digits)",
     true, [](OptionParse& p) { p.job->frames = parseFrameRange(p.value()); }},
    {"--chunk", "", "--chunk K/N",
     "only the K-th of N equal, contiguous chunks of --frames\n(K from 1 to N: a render farm's array task index)", true,
     [](OptionParse& p) { p.job->chunk = parseFrameChunk(p.value()); }},
    {"--skip-existing", "", "--skip-existing", "leave out frames whose output file is already there", true,
     [](OptionParse& p) { p.job->skipExisting = true; }},
    {"--fps", "", "--fps RATE",
     "frames per second of the host's time base, e.g. 24, 25,\n30000/1001 (default 24)", true,
     [](OptionParse& p) { parseFrameRate(p.value(), p.job->timeScale, p.job->timeStep); }},
    {"--raw", "", "--raw WxH",
     "raw video: frames of W x H pixels, 4 bytes each in the order\nalpha, red, green, blue (ffmpeg's -f rawvideo "
     "-pix_fmt argb);\nIN and OUT may be - for standard input and output",
     true, takeRaw},
#ifdef SOLVANE_IMAGE_FORMATS
    {"--jpeg-quality", "", "--jpeg-quality N",
     "JPEG outputs: compression quality, 1-100 (default 92); JPEG\nholds no alpha, so frames are composed over black",
     true, [](OptionParse& p) { p.job->image.jpegQuality = parseCount(p.split.name, p.value(), 1, 100); }},
    {"--webp-quality", "", "--webp-quality N|lossless",
     "WebP outputs: lossy at quality 0-100, or lossless (the default)", true, takeWebpQuality},
    {"--tiff-compression", "", "--tiff-compression NAME",
     "TIFF outputs: none, lzw, deflate (the default) or packbits", true, takeTiffCompression},
#endif
    {"--first-frame", "", "--first-frame N",
     "raw video: the number of the stream's first frame (default 0),\nfor a piece cut from a longer video", true,
     [](OptionParse& p) { p.job->firstFrame = parseCount(p.split.name, p.value(), 0, 999999999); }},
    {"--host-threads", "", "--host-threads N", "host threads that send the renders, one at a time (default 2)", true,
     [](OptionParse& p) { p.job->hostThreads = parseCount(p.split.name, p.value(), 1, 64); }},
    {"--no-overlap", "", "--no-overlap",
     "read, render and write each frame in turn instead of reading\nahead and writing behind on threads of their own",
     true,
     [](OptionParse& p) {
         p.noValue();
         p.job->overlap = false;
     }},
    {"--quiet", "-q", "--quiet",
     "no progress line (it shows only when standard error is a terminal)\nand none of the plug-in's OpenGL lines", true,
     [](OptionParse& p) {
         p.noValue();
         p.job->quiet = true;
     }},
    {"--verbose", "-v", "--verbose",
     "the plug-in's identification of each OpenGL context it makes\n(shown with every failure even without it)", true,
     [](OptionParse& p) {
         p.noValue();
         p.job->verbose = true;
     }},
};

// The column where the descriptions start in the help text.
constexpr std::size_t kHelpColumn = 27;

void appendRows(std::string& text, bool job)
{
    for (const RenderOptionRow& row : kRenderOptionRows) {
        if (row.job != job) {
            continue;
        }
        std::string line = std::string("  ") + row.synopsis;
        line.resize(std::max(kHelpColumn, line.size() + 2), ' ');
        std::string help = row.help;
        bool first = true;
        for (std::size_t start = 0; start <= help.size();) {
            const std::size_t end = std::min(help.find('\n', start), help.size());
            text += (first ? line : std::string(kHelpColumn, ' ')) + help.substr(start, end - start) + "\n";
            first = false;
            start = end + 1;
        }
    }
}

} // namespace

bool parseRenderOption(const std::vector<std::string>& args, std::size_t& i, RenderOptions& options,
                       RenderJobOptions* job)
{
    const OptionArgument split = splitOption(args[i]);
    for (const RenderOptionRow& row : kRenderOptionRows) {
        if ((row.job && job == nullptr) || (split.name != row.name && split.name != row.alias) ||
            split.name.empty()) {
            continue;
        }
        OptionParse parse{split, args, i, options, job};
        row.take(parse);
        return true;
    }
    return false;
}

std::string renderOptionsHelp()
{
    std::string text;
    appendRows(text, false);
    text += "  The numeric options take keyframes instead of one value: FRAME:VALUE ..., e.g.\n"
            "  --center 0:200,300 120:1700,800 (linear between keys, held before the first and\n"
            "  after the last key).\n"
            "\nsequence and video options:\n";
    appendRows(text, true);
    text += "  Keyframes count frames from 0 (or --first-frame) in raw video and by the file numbers\n"
            "  in a sequence.\n";
    return text;
}

std::vector<RenderOptionText> renderOptionTexts()
{
    std::vector<RenderOptionText> texts;
    for (const RenderOptionRow& row : kRenderOptionRows) {
        texts.push_back({row.name, row.alias, row.synopsis, row.help, row.job});
    }
    return texts;
}

void applyRenderOptions(const RenderOptions& options, StandIn::SubstituteHost& host)
{
    if (options.threshold) {
        host.setFixedSlider(kParamThreshold, *options.threshold);
    }
    if (options.thresholdSmooth) {
        host.setFixedSlider(kParamThresholdSmooth, *options.thresholdSmooth);
    }
    if (options.centerX && options.centerY) {
        host.setPoint(kParamCenter, *options.centerX, *options.centerY);
    }
    if (options.shineLength) {
        host.setSlider(kParamShineLength, *options.shineLength);
    }
    if (options.exposure) {
        host.setFixedSlider(kParamExposure, *options.exposure);
    }
    if (options.quality) {
        host.setPopup(kParamQuality, *options.quality);
    }
    if (options.rayOnly) {
        host.setCheckbox(kParamRayOnly, true);
    }
    for (const auto& [index, track] : options.keyframes) {
        animate(host.parameter(index), track, &host.inData());
    }
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
