#include "cli/KeyframeTrack.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace Cli {

KeyframeTrack::KeyframeTrack(int components) : components_(components)
{
    if (components < 1) {
        throw std::invalid_argument("a keyframe track needs at least one component");
    }
}

void KeyframeTrack::add(double frame, std::vector<double> value)
{
    if (!std::isfinite(frame)) {
        throw std::invalid_argument("a keyframe needs a finite frame number");
    }
    if (value.size() != static_cast<std::size_t>(components_)) {
        throw std::invalid_argument("a keyframe needs " + std::to_string(components_) + " value(s)");
    }
    const auto at = std::lower_bound(keys_.begin(), keys_.end(), frame,
                                     [](const Key& key, double f) { return key.frame < f; });
    if (at != keys_.end() && at->frame == frame) {
        at->value = std::move(value);
        return;
    }
    keys_.insert(at, Key{frame, std::move(value)});
}

std::vector<double> KeyframeTrack::valueAt(double frame) const
{
    if (keys_.empty()) {
        return {};
    }
    if (!(frame > keys_.front().frame)) { // also a frame that is not a number
        return keys_.front().value;
    }
    if (frame >= keys_.back().frame) {
        return keys_.back().value;
    }
    const auto next = std::upper_bound(keys_.begin(), keys_.end(), frame,
                                       [](double f, const Key& key) { return f < key.frame; });
    const Key& b = *next;
    const Key& a = *(next - 1);
    const double t = (frame - a.frame) / (b.frame - a.frame);
    std::vector<double> value(a.value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        // Written so that t = 0 and t = 1 give the keys' values exactly.
        value[i] = t == 1.0 ? b.value[i] : a.value[i] + (b.value[i] - a.value[i]) * t;
    }
    return value;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
