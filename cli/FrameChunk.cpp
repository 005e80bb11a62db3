#include "cli/FrameChunk.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

constexpr long kMostChunks = 1000000;

long parseChunkNumber(const std::string& text, const std::string& whole)
{
    const std::string message = "--chunk: expected K/N with 1 <= K <= N <= " + std::to_string(kMostChunks) +
                                ", e.g. 3/8, got '" + whole + "'";
    if (text.empty() || text.size() > 7) {
        throw std::invalid_argument(message);
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            throw std::invalid_argument(message);
        }
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1 || value > kMostChunks) {
        throw std::invalid_argument(message);
    }
    return value;
}

} // namespace

FrameChunk parseFrameChunk(const std::string& text)
{
    const auto slash = text.find('/');
    if (slash == std::string::npos) {
        parseChunkNumber(std::string(), text); // throws the message
    }
    FrameChunk chunk;
    chunk.index = parseChunkNumber(text.substr(0, slash), text);
    chunk.count = parseChunkNumber(text.substr(slash + 1), text);
    if (chunk.index > chunk.count) {
        throw std::invalid_argument("--chunk: chunk " + std::to_string(chunk.index) + " of only " +
                                    std::to_string(chunk.count) + " in '" + text + "'");
    }
    return chunk;
}

std::optional<FrameRange> chunkOf(const FrameRange& range, const FrameChunk& chunk)
{
    // 64-bit products: a range of up to 10^9 frames times up to 10^6 chunks, where long
    // has 32 bits (Windows).
    const long long frames = range.count();
    const auto cut = [&](long long chunks) { return range.first + static_cast<long>(chunks * frames / chunk.count); };
    const long begin = cut(chunk.index - 1);
    const long end = cut(chunk.index);
    if (end == begin) {
        return std::nullopt;
    }
    return FrameRange{begin, end - 1};
}

bool outputIsComplete(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

std::vector<long> framesToRender(const FrameRange& range, const std::optional<FrameChunk>& chunk,
                                 bool skipExisting, const FramePattern& output,
                                 const std::function<bool(const std::string&)>& complete)
{
    const std::optional<FrameRange> wanted = chunk ? chunkOf(range, *chunk) : range;
    std::vector<long> frames;
    if (!wanted) {
        return frames;
    }
    for (long frame = wanted->first; frame <= wanted->last; ++frame) {
        if (!skipExisting || !complete(output.path(frame))) {
            frames.push_back(frame);
        }
    }
    return frames;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
