#pragma once

#include <optional>
#include <string>
#include <vector>

#include "standin/SubstituteHost.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// The host stores a point as 16.16 fixed point: whole pixels within +-32767 of the layer's corner.
constexpr double kLargestCoordinate = 32767.0;

// A coordinate in the layer's pixels as the host can hold it: brought within +-kLargestCoordinate, 0 for a value that
// is not a number.
double hostCoordinate(double pixels);

// The effect's seven values in the host's units: the per-cent sliders in per cent, the shine length in pixels, the
// quality as the popup's choice (1 High, 2 Medium, 3 Low) and Ray Only as a flag. The centre is in the client's own
// units (per cent of the layer as declared, a fraction of the frame, image pixels): each client turns it into the
// layer's pixels itself and hands those to EffectDeclaration::apply.
struct EffectValues {
    double threshold = 50.0;
    double thresholdSmooth = 0.0;
    double exposure = 10.0;
    int shineLength = 2048;
    int quality = 2;
    bool rayOnly = false;
    double centerX = 50.0;
    double centerY = 50.0;
};

// The range a value may take, both ends included.
struct ValueRange {
    double low;
    double high;
};

// What the plug-in declared of its seven values: the defaults (the centre in per cent of the layer) and the ranges of
// the sliders and the popup, read from the host's parameter store after parameter set-up. A definition that is
// missing or of another kind than expected keeps the built-in value, so that a client works before, and without, a
// loaded plug-in.
class EffectDeclaration {
public:
    EffectDeclaration();
    explicit EffectDeclaration(const std::vector<HostParameter>& declared);

    const EffectValues& defaults() const { return defaults_; }
    ValueRange threshold() const { return threshold_; }
    ValueRange thresholdSmooth() const { return thresholdSmooth_; }
    ValueRange exposure() const { return exposure_; }
    ValueRange shineLength() const { return shineLength_; }
    int qualityChoices() const { return static_cast<int>(qualityNames_.size()); }
    // The Quality popup's choices in order from choice 1, the plug-in's own words.
    const std::vector<std::string>& qualityNames() const { return qualityNames_; }

    // The values brought into the declared ranges at the nearest end, a value that is not a finite number counting as
    // the default; the centre is left as it is (its units are the client's).
    EffectValues bounded(const EffectValues& values) const;

    // Writes every value, bounded, into the host's store, with the centre given in the layer's pixels.
    void apply(SubstituteHost& host, const EffectValues& values, double centerXPixels, double centerYPixels) const;

private:
    EffectValues defaults_;
    ValueRange threshold_{0.0, 100.0};
    ValueRange thresholdSmooth_{0.0, 100.0};
    ValueRange exposure_{0.0, 100.0};
    ValueRange shineLength_{0.0, 2048.0};
    std::vector<std::string> qualityNames_{"High - Slow", "Medium", "Low - Fast"};
};

// A value a client did not make itself (a host's saved settings, a scene collection, kept values of an earlier
// run), settled: a number brought into `range` at its nearest end, a value that is missing, of the wrong type
// (std::nullopt) or not finite counting as `fallback`. When the value had to change, `note` receives one line naming
// the setting, what was found and what is used; else it is left alone.
double settledValue(const std::string& setting, const std::optional<double>& found, double fallback, ValueRange range,
                    std::string& note);

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
