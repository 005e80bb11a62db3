#include "cli/PluginLines.h"

#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

// The lines of an identification block, as prefixes; the empty prefix stands for a blank line.
const char* const kBlock[] = {"", "OpenGL Version:", "OpenGL Vendor:", "OpenGL Renderer:", "OpenGL Revision:", ""};
constexpr std::size_t kBlockLines = sizeof kBlock / sizeof kBlock[0];

// A line without its line end ("\n", or "\r\n" where standard output is a text stream) fits the block's line.
bool fits(std::string line, std::size_t blockLine)
{
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    const std::string prefix = kBlock[blockLine];
    return prefix.empty() ? line.empty() : line.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::string PluginLines::add(const std::string& piece)
{
    pending_ += piece;
    // The complete lines, each with its line end.
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(pending_.substr(start, end + 1 - start));
    }
    const std::string unfinished = pending_.substr(start);

    std::string shown;
    std::size_t i = 0;
    while (i < lines.size()) {
        std::size_t matched = 0;
        while (matched < kBlockLines && i + matched < lines.size() &&
               fits(lines[i + matched].substr(0, lines[i + matched].size() - 1), matched)) {
            ++matched;
        }
        if (matched == kBlockLines) {
            for (std::size_t k = 0; k < kBlockLines; ++k) {
                identification_ += lines[i + k];
            }
            i += kBlockLines;
        } else if (i + matched == lines.size()) {
            // The lines so far begin a block (or may: a blank line at the end): wait for the rest.
            break;
        } else {
            shown += lines[i];
            ++i;
        }
    }
    std::string waiting;
    for (std::size_t k = i; k < lines.size(); ++k) {
        waiting += lines[k];
    }
    pending_ = waiting + unfinished;
    return shown;
}

std::string PluginLines::finish()
{
    std::string rest;
    rest.swap(pending_);
    return rest;
}

std::string PluginLines::takeIdentification()
{
    std::string held;
    held.swap(identification_);
    return held;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
