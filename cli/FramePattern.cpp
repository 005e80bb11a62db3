#include "cli/FramePattern.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

long parseFrameNumber(const std::string& text, const std::string& whole)
{
    if (text.empty() || text.size() > 9) {
        throw std::invalid_argument("--frames: expected FIRST-LAST or N, got '" + whole + "'");
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            throw std::invalid_argument("--frames: expected FIRST-LAST or N, got '" + whole + "'");
        }
    }
    return std::strtol(text.c_str(), nullptr, 10);
}

} // namespace

FrameRange parseFrameRange(const std::string& text)
{
    FrameRange range;
    const auto dash = text.find('-');
    if (dash == std::string::npos) {
        range.first = range.last = parseFrameNumber(text, text);
        return range;
    }
    range.first = parseFrameNumber(text.substr(0, dash), text);
    range.last = parseFrameNumber(text.substr(dash + 1), text);
    if (range.last < range.first) {
        throw std::invalid_argument("--frames: the last frame comes before the first in '" + text + "'");
    }
    return range;
}

FramePattern::FramePattern(std::string pattern) : pattern_(std::move(pattern))
{
    std::string* part = &before_;
    for (std::size_t i = 0; i < pattern_.size(); ++i) {
        const char c = pattern_[i];
        if (c != '%') {
            part->push_back(c);
            continue;
        }
        if (i + 1 < pattern_.size() && pattern_[i + 1] == '%') {
            part->push_back('%');
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        int width = 0;
        if (j < pattern_.size() && pattern_[j] == '0') {
            ++j;
            if (j < pattern_.size() && pattern_[j] >= '1' && pattern_[j] <= '9') {
                width = pattern_[j] - '0';
                ++j;
            }
        }
        if (j >= pattern_.size() || pattern_[j] != 'd') {
            throw std::invalid_argument(pattern_ + ": a frame number is written %d or %0Nd (and a percent sign %%)");
        }
        if (numbered_) {
            throw std::invalid_argument(pattern_ + ": more than one frame number in the name");
        }
        numbered_ = true;
        width_ = width;
        part = &after_;
        i = j;
    }
    if (!numbered_ && pattern_.find('%') == std::string::npos) {
        takeSignRun();
    }
}

void FramePattern::takeSignRun()
{
    const std::size_t slash = pattern_.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t start = pattern_.find_first_of("#@", nameStart);
    if (start == std::string::npos) {
        return;
    }
    const char sign = pattern_[start];
    std::size_t end = start;
    while (end < pattern_.size() && pattern_[end] == sign) {
        ++end;
    }
    if (pattern_.find_first_of("#@", end) != std::string::npos) {
        throw std::invalid_argument(pattern_ + ": more than one frame number in the name");
    }
    const std::size_t run = end - start;
    if (run > 9) {
        throw std::invalid_argument(pattern_ + ": a frame number has at most 9 digits");
    }
    before_ = pattern_.substr(0, start);
    after_ = pattern_.substr(end);
    width_ = sign == '#' && run == 1 ? 4 : static_cast<int>(run);
    numbered_ = true;
}

std::string FramePattern::path(long frame) const
{
    if (!numbered_) {
        return before_;
    }
    std::string digits = std::to_string(frame < 0 ? -frame : frame);
    if (digits.size() < static_cast<std::size_t>(width_)) {
        digits.insert(0, static_cast<std::size_t>(width_) - digits.size(), '0');
    }
    return before_ + (frame < 0 ? "-" : "") + digits + after_;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
