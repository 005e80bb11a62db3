#include "cli/RenderOptions.h"

#include <cerrno>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <sstream>
#include <stdexcept>

#include "host/ParameterIndex.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

const char* const kRenderOptionsHelp =
    "  --threshold PCT          brightness above which pixels shine, 0-100 (default 50)\n"
    "  --threshold-smooth PCT   softness of the threshold, 0-100 (default 0)\n"
    "  --center X,Y             ray centre in layer pixels (default: the layer's centre)\n"
    "  --shine-length PX        length of the shafts, 0-2048 (default 2048)\n"
    "  --exposure PCT           brightness of the shafts, 0-100 (default 10)\n"
    "  --quality high|medium|low  (default medium)\n"
    "  --ray-only               output the shafts alone\n"
    "  --language TAG           host language tag, e.g. en_US or zh_CN (default en_US)\n"
    "  The numeric options take keyframes instead of one value: FRAME:VALUE ..., e.g.\n"
    "  --center 0:200,300 120:1700,800 (linear between keys, held before the first and\n"
    "  after the last key).\n";

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
    {"--center", kParamCenter, 2, -32767, 32767, false},
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
        if (!(std::fabs(value[0]) <= 32767.0 && std::fabs(value[1]) <= 32767.0)) {
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

bool parseRenderOption(const std::vector<std::string>& args, std::size_t& i, RenderOptions& options,
                       RenderJobOptions* job)
{
    const OptionArgument split = splitOption(args[i]);
    const std::string& option = split.name;
    // The value is the rest of "--name=value" or the next argument.
    auto value = [&]() -> std::string {
        if (split.value) {
            return *split.value;
        }
        if (i + 1 >= args.size()) {
            throw std::invalid_argument(option + " needs a value");
        }
        return args[++i];
    };
    auto flag = [&]() {
        if (split.value) {
            throw std::invalid_argument(option + " takes no value");
        }
    };
    for (const NumericOption& numeric : kNumericOptions) {
        if (option == numeric.name) {
            parseNumericOption(numeric, value(), args, i, options);
            return true;
        }
    }
    if (option == "--quality") {
        const std::string text = value();
        if (text == "high") {
            options.quality = 1;
        } else if (text == "medium") {
            options.quality = 2;
        } else if (text == "low") {
            options.quality = 3;
        } else {
            throw std::invalid_argument(option + ": expected high, medium or low, got '" + text + "'");
        }
    } else if (option == "--ray-only") {
        flag();
        options.rayOnly = true;
    } else if (option == "--language") {
        options.language = parseLanguageTag(option, value());
    } else if (job && option == "--frames") {
        job->frames = parseFrameRange(value());
    } else if (job && option == "--chunk") {
        job->chunk = parseFrameChunk(value());
    } else if (job && option == "--skip-existing") {
        job->skipExisting = true;
    } else if (job && option == "--first-frame") {
        job->firstFrame = parseCount(option, value(), 0, 999999999);
    } else if (job && option == "--fps") {
        parseFrameRate(value(), job->timeScale, job->timeStep);
    } else if (job && option == "--raw") {
        const std::string text = value();
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
        job->rawWidth = width;
        job->rawHeight = height;
    } else if (job && option == "--host-threads") {
        job->hostThreads = parseCount(option, value(), 1, 64);
    } else if (job && (option == "--quiet" || option == "-q")) {
        flag();
        job->quiet = true;
    } else if (job && option == "--no-overlap") {
        flag();
        job->overlap = false;
    } else {
        return false;
    }
    return true;
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
