#include "support/LightShaftReference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace Tamrin {
namespace Solvane {
namespace Test {

namespace {

using Colour = std::array<double, 4>;

// Shader uniforms are 32-bit floats: the reference uses the values the GPU gets.
double asFloat(double value)
{
    return static_cast<double>(static_cast<float>(value));
}

Vec2 asFloat(Vec2 value)
{
    return Vec2(asFloat(value.x), asFloat(value.y));
}

Colour add(const Colour& a, const Colour& b)
{
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2], a[3] + b[3]};
}

Colour scale(const Colour& a, double s)
{
    return {a[0] * s, a[1] * s, a[2] * s, a[3] * s};
}

double length(double x, double y)
{
    return std::sqrt(x * x + y * y);
}

double smoothstep(double low, double high, double x)
{
    const double t = std::clamp((x - low) / (high - low), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// The smallest k >= 1 with 2^k >= reach, at most 11.
int levelsFor(double reach)
{
    int k = 1;
    while (std::ldexp(1.0, k) < reach && k < 11) {
        ++k;
    }
    return k;
}

// The uploaded layer: r, g, b, a hold the host's alpha, red, green, blue.
FloatImage uploaded(const std::vector<std::uint8_t>& argb, int width, int height)
{
    FloatImage image(width, height);
    for (std::size_t i = 0; i < image.texels.size(); ++i) {
        image.texels[i] = static_cast<float>(argb[i]) / 255.0f;
    }
    return image;
}

// The ".gbar" read of the uploaded layer: red, green, blue, alpha.
Colour layerColour(const FloatImage& layer, double u, double v)
{
    const Colour raw = layer.sample(u, v);
    return {raw[1], raw[2], raw[3], raw[0]};
}

std::uint8_t toByte(double value)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

// The four texels of a linear-filtered read at normalised coordinates on a
// `width` × `height` texture, clamped to its edge, and the read's weights.
struct Footprint {
    int x0, x1, y0, y1;
    double fx, fy;
};

Footprint footprintOf(double u, double v, int width, int height)
{
    const double x = u * width - 0.5;
    const double y = v * height - 0.5;
    const double x0 = std::floor(x);
    const double y0 = std::floor(y);
    const auto column = [&](double i) { return static_cast<int>(std::clamp(i, 0.0, width - 1.0)); };
    const auto row = [&](double j) { return static_cast<int>(std::clamp(j, 0.0, height - 1.0)); };
    return Footprint{column(x0), column(x0 + 1), row(y0), row(y0 + 1), x - x0, y - y0};
}

template <class Texel>
Colour bilinear(const Footprint& f, const Texel& texel)
{
    const float* a = texel(f.x0, f.y0);
    const float* b = texel(f.x1, f.y0);
    const float* c = texel(f.x0, f.y1);
    const float* d = texel(f.x1, f.y1);
    Colour out;
    for (int k = 0; k < 4; ++k) {
        const double top = a[k] + (b[k] - a[k]) * f.fx;
        const double bottom = c[k] + (d[k] - c[k]) * f.fx;
        out[k] = top + (bottom - top) * f.fy;
    }
    return out;
}

// The whole ray box of a frame: the layer grown to contain the centre, downscaled by f.
struct WholeBox {
    double factor;
    Vec2 boxSize;
    Vec2 offset;
    Vec2 radialCenter;
    Vec2 chainCenter;
    Vec2i textureSize;
    int maxLevel;
};

WholeBox wholeBoxOf(int width, int height, const RenderSettings& settings)
{
    WholeBox box;
    const double f = settings.quality + 1.0;
    box.factor = f;
    const double cx = settings.center.x;
    const double cy = settings.center.y;
    const double boxX = std::min(cx, 0.0);
    const double boxY = std::min(cy, 0.0);
    box.boxSize = Vec2((std::max<double>(width, cx) - boxX) / f, (std::max<double>(height, cy) - boxY) / f);
    box.offset = Vec2(std::fabs(boxX) / f, std::fabs(boxY) / f);
    box.radialCenter = Vec2(std::floor(cx / f) + 0.5, std::floor(cy / f) + 0.5);
    box.chainCenter = box.radialCenter + box.offset;
    box.textureSize = Vec2i(static_cast<int>(std::ceil(box.boxSize.x)), static_cast<int>(std::ceil(box.boxSize.y)));
    box.maxLevel = levelsFor(std::ceil(2048.0 / f));
    return box;
}

// The prefilter of texel (i, j) of the box: the soft luminance threshold, edge
// pixels repeated outside the layer.
void prefilterTexel(const FloatImage& layer, int i, int j, const WholeBox& box, const RenderSettings& settings,
                    float* out)
{
    const Vec2 offset = asFloat(box.offset);
    const Vec2 srcSize = asFloat(Vec2(layer.width / box.factor, layer.height / box.factor));
    const double threshold = asFloat(settings.threshold);
    const double smooth = asFloat(settings.thresholdSmooth);
    const double px = i + 0.5 - offset.x;
    const double py = j + 0.5 - offset.y;
    Colour col = layerColour(layer, std::clamp(px / srcSize.x, 0.0, 1.0), std::clamp(py / srcSize.y, 0.0, 1.0));
    const double luma = col[0] * 0.2125 + col[1] * 0.7154 + col[2] * 0.0721;
    const double t = 1.0 - threshold;
    const double low = (1.0 - smooth) * t;
    const double high = t + (1.0 - t) * smooth;
    col[3] *= smoothstep(low, high, luma);
    for (int c = 0; c < 3; ++c) {
        out[c] = static_cast<float>(col[c] * col[3] * 0.001);
    }
    out[3] = static_cast<float>(col[3] * 0.001);
}

// The read of texel (i, j) at a doubling level: S(j+1)(p) = S(j)(p) + S(j)(p − 2^j · nor(p))
// where 2^j <= |p − centre|. False where the texel reads nothing.
bool levelRead(int i, int j, Vec2 center, double stepWidth, Vec2i size, double& u, double& v)
{
    const double dx = i + 0.5 - center.x;
    const double dy = j + 0.5 - center.y;
    const double dist = length(dx, dy);
    if (stepWidth > dist) {
        return false;
    }
    u = (i + 0.5 - dx / dist * stepWidth) / size.x;
    v = (j + 0.5 - dy / dist * stepWidth) / size.y;
    return true;
}

struct CompositeInputs {
    Vec2 offset;
    Vec2 sSize;
    Vec2 radialCenter;
    double shadowLength;
    double step;
};

// `sample` reads the ray sums at normalised coordinates.
template <class Sample>
Colour shineAt(const CompositeInputs& in, double qx, double qy, const Sample& sample)
{
    const double dx = qx - in.radialCenter.x;
    const double dy = qy - in.radialCenter.y;
    const double y = length(dx, dy);
    const auto read = [&](double x, double yy) {
        return sample((x + in.offset.x) / in.sSize.x, (yy + in.offset.y) / in.sSize.y);
    };
    if (y < 0.5) {
        return scale(read(qx, qy), 1000.0);
    }
    const double yf = std::sin(std::atan(y / (800.0 * in.step)));
    const double r = std::min(y, in.shadowLength * yf);
    const double nx = dx / y * r;
    const double ny = dy / y * r;
    const Colour here = read(qx, qy);
    const Colour back = read(qx - nx, qy - ny);
    Colour shine;
    for (int c = 0; c < 4; ++c) {
        shine[c] = std::fabs(here[c] - back[c]) / std::max(1.0, r) * 1000.0;
    }
    return shine;
}

Colour normalScreen(const Colour& base, const Colour& colour)
{
    const double alpha = colour[3] + base[3] * (1.0 - colour[3]);
    if (alpha <= 0.0) {
        return {0.0, 0.0, 0.0, 0.0};
    }
    const double w = colour[3] / alpha;
    Colour out;
    for (int c = 0; c < 3; ++c) {
        const double screen = 1.0 - (1.0 - base[c]) * (1.0 - colour[c]);
        out[c] = (1.0 - w) * base[c] + w * ((1.0 - base[3]) * colour[c] + base[3] * screen);
    }
    out[3] = alpha;
    return out;
}

// The composite of every output pixel into `argb` (host byte order), the ray
// sums read through `sample`.
template <class Sample>
void compositeFrame(const CompositeInputs& in, const FloatImage& layer, const RenderSettings& settings,
                    const Sample& sample, std::vector<std::uint8_t>& argb)
{
    const int width = layer.width;
    const int height = layer.height;
    const double exposure = std::exp2(asFloat(settings.exposure));
    argb.resize(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double px = (x + 0.5) * in.step;
            const double py = (y + 0.5) * in.step;
            const Colour base = layerColour(layer, (x + 0.5) / width, (y + 0.5) / height);
            double dx = px - in.radialCenter.x;
            double dy = py - in.radialCenter.y;
            const double len = length(dx, dy);
            Colour shine = base;
            if (len > 0.5) {
                dx /= len;
                dy /= len;
                const double outer = len + in.step;
                const double inner = len - in.step;
                Colour sum = shineAt(in, px, py, sample);
                sum = add(sum, shineAt(in, in.radialCenter.x + outer * dx, in.radialCenter.y + outer * dy, sample));
                sum = add(sum, shineAt(in, in.radialCenter.x + inner * dx, in.radialCenter.y + inner * dy, sample));
                shine = scale(sum, 0.33333);
            }
            for (double& channel : shine) {
                channel = std::clamp(channel * exposure, 0.0, 1.0);
            }
            const Colour out = settings.rayOnly ? shine : normalScreen(base, shine);
            std::uint8_t* bytes = &argb[(static_cast<std::size_t>(y) * width + x) * 4];
            bytes[0] = toByte(out[3]);
            bytes[1] = toByte(out[0]);
            bytes[2] = toByte(out[1]);
            bytes[3] = toByte(out[2]);
        }
    }
}

CompositeInputs compositeInputsOf(const WholeBox& box, const RenderSettings& settings)
{
    CompositeInputs in;
    in.offset = asFloat(box.offset);
    in.sSize = asFloat(box.boxSize);
    in.radialCenter = asFloat(box.radialCenter);
    in.shadowLength = asFloat(settings.shineLength / box.factor);
    in.step = asFloat(1.0 / box.factor);
    return in;
}

// Ray sums kept only at the texels of some spans of the whole box; a read of any
// other texel is a fault of the spans, and throws.
class SpanImage {
public:
    SpanImage(const TexelSpans& kept, Vec2i boxSize) : spans(&kept), size(boxSize), rowStart(kept.first.size() + 1, 0)
    {
        for (std::size_t r = 0; r < kept.first.size(); ++r) {
            const int count = std::max(0, kept.last[r] - kept.first[r] + 1);
            rowStart[r + 1] = rowStart[r] + static_cast<std::size_t>(count) * 4;
        }
        texels.assign(rowStart.back(), 0.0f);
    }

    float* at(int x, int y) { return &texels[index(x, y)]; }
    const float* at(int x, int y) const { return &texels[index(x, y)]; }

    Colour sample(double u, double v) const
    {
        return bilinear(footprintOf(u, v, size.x, size.y), [this](int x, int y) { return at(x, y); });
    }

    template <class Visit>
    void forEach(const TexelSpans& within, const Visit& visit) const
    {
        for (std::size_t r = 0; r < within.first.size(); ++r) {
            for (int x = within.first[r]; x <= within.last[r]; ++x) {
                visit(x, within.top + static_cast<int>(r));
            }
        }
    }

private:
    std::size_t index(int x, int y) const
    {
        if (!spans->contains(x, y)) {
            throw std::logic_error("read of texel (" + std::to_string(x) + ", " + std::to_string(y) +
                                   ") outside the spans");
        }
        const std::size_t r = static_cast<std::size_t>(y - spans->top);
        return rowStart[r] + static_cast<std::size_t>(x - spans->first[r]) * 4;
    }

    const TexelSpans* spans;
    Vec2i size;
    std::vector<std::size_t> rowStart;
    std::vector<float> texels;
};

// Spans over every row of the whole box, each row empty.
TexelSpans emptySpans(Vec2i size)
{
    return TexelSpans(size.y);
}

void addFootprint(TexelSpans& spans, const Footprint& f)
{
    spans.add(f.x0, f.y0);
    spans.add(f.x1, f.y0);
    spans.add(f.x0, f.y1);
    spans.add(f.x1, f.y1);
}

// The texels read at each level, from the composite's (last) down to the
// prefilter's (first); each level's spans hold the next level's.
std::vector<TexelSpans> readSpansOf(const WholeBox& box, int width, int height, const RenderSettings& settings)
{
    std::vector<TexelSpans> levels(static_cast<std::size_t>(box.maxLevel) + 1, emptySpans(box.textureSize));
    const CompositeInputs in = compositeInputsOf(box, settings);
    TexelSpans& composite = levels.back();
    const auto record = [&](double u, double v) {
        addFootprint(composite, footprintOf(u, v, box.textureSize.x, box.textureSize.y));
        return Colour{0.0, 0.0, 0.0, 0.0};
    };
    std::vector<std::uint8_t> unused;
    compositeFrame(in, FloatImage(width, height), settings, record, unused);

    const Vec2 center = asFloat(box.chainCenter);
    for (int level = box.maxLevel - 1; level >= 0; --level) {
        const TexelSpans& after = levels[static_cast<std::size_t>(level) + 1];
        TexelSpans& before = levels[static_cast<std::size_t>(level)];
        before = after;
        for (std::size_t r = 0; r < after.first.size(); ++r) {
            const int j = after.top + static_cast<int>(r);
            for (int i = after.first[r]; i <= after.last[r]; ++i) {
                double u = 0.0;
                double v = 0.0;
                if (levelRead(i, j, center, std::ldexp(1.0, level), box.textureSize, u, v)) {
                    addFootprint(before, footprintOf(u, v, box.textureSize.x, box.textureSize.y));
                }
            }
        }
    }
    return levels;
}

} // namespace

void TexelSpans::add(int x, int y)
{
    const std::size_t r = static_cast<std::size_t>(y - top);
    first[r] = std::min(first[r], x);
    last[r] = std::max(last[r], x);
}

bool TexelSpans::contains(int x, int y) const
{
    const long r = static_cast<long>(y) - top;
    return r >= 0 && r < static_cast<long>(first.size()) && x >= first[r] && x <= last[r];
}

bool TexelSpans::empty() const
{
    return minRow() > maxRow();
}

int TexelSpans::minColumn() const
{
    int column = 1 << 30;
    for (std::size_t r = 0; r < first.size(); ++r) {
        column = first[r] <= last[r] ? std::min(column, first[r]) : column;
    }
    return column;
}

int TexelSpans::maxColumn() const
{
    int column = -1;
    for (std::size_t r = 0; r < first.size(); ++r) {
        column = first[r] <= last[r] ? std::max(column, last[r]) : column;
    }
    return column;
}

int TexelSpans::minRow() const
{
    for (std::size_t r = 0; r < first.size(); ++r) {
        if (first[r] <= last[r]) {
            return top + static_cast<int>(r);
        }
    }
    return 1 << 30;
}

int TexelSpans::maxRow() const
{
    for (std::size_t r = first.size(); r-- > 0;) {
        if (first[r] <= last[r]) {
            return top + static_cast<int>(r);
        }
    }
    return -1;
}

std::array<double, 4> FloatImage::sample(double u, double v) const
{
    return bilinear(footprintOf(u, v, width, height), [this](int x, int y) { return at(x, y); });
}

ReferenceFrame referenceLightShafts(const std::vector<std::uint8_t>& argb, int width, int height,
                                    const RenderSettings& settings)
{
    ReferenceFrame frame = referenceRaySums(argb, width, height, settings);
    referenceComposite(frame, argb, width, height, settings);
    return frame;
}

ReferenceFrame referenceRaySums(const std::vector<std::uint8_t>& argb, int width, int height,
                                const RenderSettings& settings)
{
    ReferenceFrame frame;
    const FloatImage layer = uploaded(argb, width, height);
    const WholeBox box = wholeBoxOf(width, height, settings);
    frame.factor = box.factor;
    frame.boxSize = box.boxSize;
    frame.offset = box.offset;
    frame.radialCenter = box.radialCenter;
    frame.chainCenter = box.chainCenter;
    frame.textureSize = box.textureSize;
    frame.maxLevel = box.maxLevel;
    const int tw = frame.textureSize.x;
    const int th = frame.textureSize.y;

    frame.prefiltered = FloatImage(tw, th);
    for (int j = 0; j < th; ++j) {
        for (int i = 0; i < tw; ++i) {
            prefilterTexel(layer, i, j, box, settings, frame.prefiltered.at(i, j));
        }
    }

    const Vec2 center = asFloat(frame.chainCenter);
    FloatImage sums = frame.prefiltered;
    for (int level = 0; level < frame.maxLevel; ++level) {
        FloatImage next = sums;
        for (int j = 0; j < th; ++j) {
            for (int i = 0; i < tw; ++i) {
                double u = 0.0;
                double v = 0.0;
                if (!levelRead(i, j, center, std::ldexp(1.0, level), frame.textureSize, u, v)) {
                    continue;
                }
                const Colour far = sums.sample(u, v);
                float* out = next.at(i, j);
                const float* here = sums.at(i, j);
                for (int c = 0; c < 4; ++c) {
                    out[c] = static_cast<float>(here[c] + far[c]);
                }
            }
        }
        sums = std::move(next);
    }
    frame.raySums = std::move(sums);
    return frame;
}

void referenceComposite(ReferenceFrame& frame, const std::vector<std::uint8_t>& argb, int width, int height,
                        const RenderSettings& settings)
{
    const FloatImage layer = uploaded(argb, width, height);
    WholeBox box;
    box.factor = frame.factor;
    box.boxSize = frame.boxSize;
    box.offset = frame.offset;
    box.radialCenter = frame.radialCenter;
    const CompositeInputs in = compositeInputsOf(box, settings);
    compositeFrame(in, layer, settings, [&](double u, double v) { return frame.raySums.sample(u, v); }, frame.argb);
}

ReadRegion referenceReadRegion(int width, int height, const RenderSettings& settings)
{
    const WholeBox box = wholeBoxOf(width, height, settings);
    ReadRegion region;
    region.boxSize = box.boxSize;
    region.offset = box.offset;
    region.textureSize = box.textureSize;
    region.texels = readSpansOf(box, width, height, settings).front();
    return region;
}

std::vector<std::uint8_t> referenceFarLightShafts(const std::vector<std::uint8_t>& argb, int width, int height,
                                                  const RenderSettings& settings, ReadRegion* region)
{
    const FloatImage layer = uploaded(argb, width, height);
    const WholeBox box = wholeBoxOf(width, height, settings);
    const std::vector<TexelSpans> levels = readSpansOf(box, width, height, settings);

    // Level j is right wherever level j + 1 reads it: those texels are in the
    // spans of level j, which hold the spans of j + 1.
    SpanImage sums(levels.front(), box.textureSize);
    sums.forEach(levels.front(), [&](int i, int j) { prefilterTexel(layer, i, j, box, settings, sums.at(i, j)); });
    const Vec2 center = asFloat(box.chainCenter);
    for (int level = 0; level < box.maxLevel; ++level) {
        SpanImage next = sums;
        next.forEach(levels[static_cast<std::size_t>(level) + 1], [&](int i, int j) {
            double u = 0.0;
            double v = 0.0;
            if (!levelRead(i, j, center, std::ldexp(1.0, level), box.textureSize, u, v)) {
                return;
            }
            const Colour far = sums.sample(u, v);
            float* out = next.at(i, j);
            const float* here = sums.at(i, j);
            for (int c = 0; c < 4; ++c) {
                out[c] = static_cast<float>(here[c] + far[c]);
            }
        });
        sums = std::move(next);
    }

    std::vector<std::uint8_t> out;
    compositeFrame(compositeInputsOf(box, settings), layer, settings,
                   [&](double u, double v) { return sums.sample(u, v); }, out);
    if (region != nullptr) {
        region->boxSize = box.boxSize;
        region->offset = box.offset;
        region->textureSize = box.textureSize;
        region->texels = levels.front();
    }
    return out;
}

std::vector<std::uint8_t> makeTestLayer(int width, int height)
{
    std::vector<std::uint8_t> argb(static_cast<std::size_t>(width) * height * 4);
    const double discX = width * 0.62;
    const double discY = height * 0.4;
    const double discRadius = std::min(width, height) * 0.18;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &argb[(static_cast<std::size_t>(y) * width + x) * 4];
            // Ground: opaque, dark, a gradient that crosses the threshold towards the right.
            p[0] = 255;
            p[1] = static_cast<std::uint8_t>(20 + 200 * x / std::max(1, width - 1));
            p[2] = static_cast<std::uint8_t>(30 + 60 * y / std::max(1, height - 1));
            p[3] = 90;
            if (length(x + 0.5 - discX, y + 0.5 - discY) < discRadius) {
                p[1] = p[2] = p[3] = 255;
            }
            if (y >= height / 6 && y < height / 6 + 3 && x >= width / 8 && x < width / 2) {
                p[1] = 255;
                p[2] = 190;
                p[3] = 40;
            }
            if (x >= width / 5 && x < width / 3 && y >= height * 2 / 3 && y < height * 5 / 6) {
                p[0] = 128;
                p[1] = 240;
                p[2] = 250;
                p[3] = 255;
            }
            if (x < width / 6 && y >= height * 3 / 4) {
                p[0] = 0;
                p[1] = p[2] = p[3] = 255;
            }
        }
    }
    return argb;
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
