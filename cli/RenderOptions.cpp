#include "cli/RenderOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "host/Parameters.h"

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
    "  --language TAG           host language tag, e.g. en_US or zh_CN (default en_US)\n";

namespace {

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

double parseInRange(const std::string& option, const std::string& text, double low, double high)
{
    const double value = parseNumber(option, text);
    if (value < low || value > high) {
        throw std::invalid_argument(option + ": " + text + " is outside " + std::to_string(static_cast<int>(low)) +
                                    " to " + std::to_string(static_cast<int>(high)));
    }
    return value;
}

} // namespace

bool parseRenderOption(const std::vector<std::string>& args, std::size_t& i, RenderOptions& options)
{
    const std::string& option = args[i];
    auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) {
            throw std::invalid_argument(option + " needs a value");
        }
        return args[++i];
    };
    if (option == "--threshold") {
        options.threshold = parseInRange(option, value(), 0, 100);
    } else if (option == "--threshold-smooth") {
        options.thresholdSmooth = parseInRange(option, value(), 0, 100);
    } else if (option == "--center") {
        const std::string& text = value();
        const auto comma = text.find(',');
        if (comma == std::string::npos) {
            throw std::invalid_argument(option + ": expected X,Y, got '" + text + "'");
        }
        const double x = parseNumber(option, text.substr(0, comma));
        const double y = parseNumber(option, text.substr(comma + 1));
        // The host stores a point as 16.16 fixed point.
        if (std::fabs(x) >= 32767.0 || std::fabs(y) >= 32767.0) {
            throw std::invalid_argument(option + ": coordinates must lie within +-32767 pixels");
        }
        options.centerX = x;
        options.centerY = y;
    } else if (option == "--shine-length") {
        const double length = parseInRange(option, value(), 0, 2048);
        if (length != std::floor(length)) {
            throw std::invalid_argument(option + ": expected whole pixels");
        }
        options.shineLength = static_cast<int>(length);
    } else if (option == "--exposure") {
        options.exposure = parseInRange(option, value(), 0, 100);
    } else if (option == "--quality") {
        const std::string& text = value();
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
        options.rayOnly = true;
    } else if (option == "--language") {
        const std::string& text = value();
        if (text.size() != 5) {
            throw std::invalid_argument(option + ": expected a five-character tag such as en_US");
        }
        options.language = text;
    } else {
        return false;
    }
    return true;
}

void applyRenderOptions(const RenderOptions& options, SubstituteHost& host)
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
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
