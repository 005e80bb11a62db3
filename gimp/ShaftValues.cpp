#include "gimp/ShaftValues.h"

#include <cmath>
#include <sstream>

namespace Tamrin {
namespace Solvane {
namespace Gimp {

namespace {

using StandIn::kLargestCoordinate;

std::string rangeProblem(const char* name, double value, double low, double high, const char* unit)
{
    if (std::isfinite(value) && value >= low && value <= high) {
        return "";
    }
    std::ostringstream text;
    text << name << " must be from " << low << " to " << high << unit << ", not " << value;
    return text.str();
}

} // namespace

ShaftValues ShaftValues::declaredDefaults(const std::vector<StandIn::HostParameter>& declared, const LayerPlace& layer)
{
    const StandIn::EffectDeclaration declaration(declared);
    ShaftValues values;
    static_cast<StandIn::EffectValues&>(values) = declaration.defaults();
    // The declared point is in per cent of the layer.
    values.centerFromLayerFraction(layer, declaration.defaults().centerX / 100.0,
                                   declaration.defaults().centerY / 100.0);
    return values;
}

void ShaftValues::settle(const std::vector<StandIn::HostParameter>& declared, const LayerPlace& layer,
                         std::vector<std::string>& notes)
{
    const StandIn::EffectDeclaration declaration(declared);
    const ShaftValues defaults = declaredDefaults(declared, layer);
    auto settled = [&](const char* name, double value, double fallback, StandIn::ValueRange range) {
        std::string note;
        const double result = StandIn::settledValue(name, value, fallback, range, note);
        if (!note.empty()) {
            notes.push_back(note);
        }
        return result;
    };
    threshold = settled("threshold", threshold, defaults.threshold, declaration.threshold());
    thresholdSmooth = settled("threshold-smoothness", thresholdSmooth, defaults.thresholdSmooth,
                              declaration.thresholdSmooth());
    exposure = settled("exposure", exposure, defaults.exposure, declaration.exposure());
    shineLength =
        static_cast<int>(settled("shine-length", shineLength, defaults.shineLength, declaration.shineLength()));
    quality =
        static_cast<int>(settled("quality", quality, defaults.quality, {1.0, double(declaration.qualityChoices())}));
    centerX = layer.offsetX + settled("center-x", centerX - layer.offsetX, defaults.centerX - layer.offsetX,
                                      {-kLargestCoordinate, kLargestCoordinate});
    centerY = layer.offsetY + settled("center-y", centerY - layer.offsetY, defaults.centerY - layer.offsetY,
                                      {-kLargestCoordinate, kLargestCoordinate});
}

std::string ShaftValues::problem(const std::vector<StandIn::HostParameter>& declared, const LayerPlace& layer) const
{
    const StandIn::EffectDeclaration declaration(declared);
    std::string found;
    auto check = [&](const char* name, double value, StandIn::ValueRange range, const char* unit) {
        if (found.empty()) {
            found = rangeProblem(name, value, range.low, range.high, unit);
        }
    };
    check("the threshold", threshold, declaration.threshold(), " per cent");
    check("the threshold's smoothness", thresholdSmooth, declaration.thresholdSmooth(), " per cent");
    check("the exposure", exposure, declaration.exposure(), " per cent");
    check("the shine length", shineLength, declaration.shineLength(), " pixels");
    check("the quality", quality, {1.0, double(declaration.qualityChoices())}, " (1 is the highest)");
    check("the centre's x", centerX - layer.offsetX, {-kLargestCoordinate, kLargestCoordinate},
          " pixels from the layer's left edge");
    check("the centre's y", centerY - layer.offsetY, {-kLargestCoordinate, kLargestCoordinate},
          " pixels from the layer's top edge");
    return found;
}

void ShaftValues::applyTo(StandIn::SubstituteHost& host, const LayerPlace& layer, double scale) const
{
    StandIn::EffectValues scaled = *this;
    scaled.shineLength = static_cast<int>(std::lround(shineLength * scale));
    // A pixel's centre is at +0.5 in both the layer and its reduced copy.
    StandIn::EffectDeclaration(host.parameters())
        .apply(host, scaled, (centerX - layer.offsetX) * scale, (centerY - layer.offsetY) * scale);
}

void ShaftValues::centerToLayerFraction(const LayerPlace& layer, double& fx, double& fy) const
{
    fx = layer.width > 0 ? (centerX - layer.offsetX) / layer.width : 0.5;
    fy = layer.height > 0 ? (centerY - layer.offsetY) / layer.height : 0.5;
}

void ShaftValues::centerFromLayerFraction(const LayerPlace& layer, double fx, double fy)
{
    centerX = layer.offsetX + fx * layer.width;
    centerY = layer.offsetY + fy * layer.height;
}

void ShaftValues::centerAtLayerPixel(const LayerPlace& layer, int x, int y)
{
    centerX = layer.offsetX + x + 0.5;
    centerY = layer.offsetY + y + 0.5;
}

std::vector<std::string> qualityChoices(const std::vector<StandIn::HostParameter>& declared)
{
    std::vector<std::string> choices = StandIn::EffectDeclaration(declared).qualityNames();
    if (choices.size() != 3) {
        choices = StandIn::EffectDeclaration().qualityNames();
    }
    return choices;
}

} // namespace Gimp
} // namespace Solvane
} // namespace Tamrin
