#pragma once

#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// A parameter's keyframes as a user sets them in the host: values of one or more
// components (two for a point) at frame numbers. Between two keys the value moves
// linearly; before the first key and after the last it holds.
class KeyframeTrack {
public:
    struct Key {
        double frame;
        std::vector<double> value;
    };

    explicit KeyframeTrack(int components = 1);

    // Adds a key; a key already at that frame is replaced. Throws std::invalid_argument
    // for a value with the wrong number of components or a frame that is not finite.
    void add(double frame, std::vector<double> value);

    // The value at a frame, which may lie between whole frames. Empty for a track without keys.
    std::vector<double> valueAt(double frame) const;

    int components() const { return components_; }
    bool empty() const { return keys_.empty(); }
    const std::vector<Key>& keys() const { return keys_; }

private:
    int components_;
    std::vector<Key> keys_; // in frame order
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
