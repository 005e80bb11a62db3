#include "support/LightShaftReference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

struct CompositeInputs {
    const FloatImage* raySums;
    Vec2 offset;
    Vec2 sSize;
    Vec2 radialCenter;
    double shadowLength;
    double step;
};

Colour shineAt(const CompositeInputs& in, double qx, double qy)
{
    const double dx = qx - in.radialCenter.x;
    const double dy = qy - in.radialCenter.y;
    const double y = length(dx, dy);
    const auto read = [&](double x, double yy) {
        return in.raySums->sample((x + in.offset.x) / in.sSize.x, (yy + in.offset.y) / in.sSize.y);
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

} // namespace

std::array<double, 4> FloatImage::sample(double u, double v) const
{
    const double x = u * width - 0.5;
    const double y = v * height - 0.5;
    const double x0 = std::floor(x);
    const double y0 = std::floor(y);
    const double fx = x - x0;
    const double fy = y - y0;
    const auto column = [&](double i) { return static_cast<int>(std::clamp(i, 0.0, width - 1.0)); };
    const auto row = [&](double j) { return static_cast<int>(std::clamp(j, 0.0, height - 1.0)); };
    const float* a = at(column(x0), row(y0));
    const float* b = at(column(x0 + 1), row(y0));
    const float* c = at(column(x0), row(y0 + 1));
    const float* d = at(column(x0 + 1), row(y0 + 1));
    std::array<double, 4> out;
    for (int k = 0; k < 4; ++k) {
        const double top = a[k] + (b[k] - a[k]) * fx;
        const double bottom = c[k] + (d[k] - c[k]) * fx;
        out[k] = top + (bottom - top) * fy;
    }
    return out;
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
    const double f = settings.quality + 1.0;
    frame.factor = f;

    // The ray box: the layer grown to contain the centre, downscaled by f.
    const double cx = settings.center.x;
    const double cy = settings.center.y;
    const double boxX = std::min(cx, 0.0);
    const double boxY = std::min(cy, 0.0);
    frame.boxSize = Vec2((std::max<double>(width, cx) - boxX) / f, (std::max<double>(height, cy) - boxY) / f);
    frame.offset = Vec2(std::fabs(boxX) / f, std::fabs(boxY) / f);
    frame.radialCenter = Vec2(std::floor(cx / f) + 0.5, std::floor(cy / f) + 0.5);
    frame.chainCenter = frame.radialCenter + frame.offset;
    frame.textureSize =
        Vec2i(static_cast<int>(std::ceil(frame.boxSize.x)), static_cast<int>(std::ceil(frame.boxSize.y)));
    const int tw = frame.textureSize.x;
    const int th = frame.textureSize.y;

    // Prefilter: the soft luminance threshold over the box, edge pixels repeated outside the layer.
    const Vec2 offset = asFloat(frame.offset);
    const Vec2 srcSize = asFloat(Vec2(width / f, height / f));
    const double threshold = asFloat(settings.threshold);
    const double smooth = asFloat(settings.thresholdSmooth);
    frame.prefiltered = FloatImage(tw, th);
    for (int j = 0; j < th; ++j) {
        for (int i = 0; i < tw; ++i) {
            const double px = i + 0.5 - offset.x;
            const double py = j + 0.5 - offset.y;
            Colour col = layerColour(layer, std::clamp(px / srcSize.x, 0.0, 1.0), std::clamp(py / srcSize.y, 0.0, 1.0));
            const double luma = col[0] * 0.2125 + col[1] * 0.7154 + col[2] * 0.0721;
            const double t = 1.0 - threshold;
            const double low = (1.0 - smooth) * t;
            const double high = t + (1.0 - t) * smooth;
            col[3] *= smoothstep(low, high, luma);
            float* out = frame.prefiltered.at(i, j);
            for (int c = 0; c < 3; ++c) {
                out[c] = static_cast<float>(col[c] * col[3] * 0.001);
            }
            out[3] = static_cast<float>(col[3] * 0.001);
        }
    }

    // Doubling: S(j+1)(p) = S(j)(p) + S(j)(p − 2^j · nor(p)) where 2^j <= |p − centre|.
    frame.maxLevel = levelsFor(std::ceil(2048.0 / f));
    const Vec2 center = asFloat(frame.chainCenter);
    FloatImage sums = frame.prefiltered;
    for (int level = 0; level < frame.maxLevel; ++level) {
        const double stepWidth = std::ldexp(1.0, level);
        FloatImage next = sums;
        for (int j = 0; j < th; ++j) {
            for (int i = 0; i < tw; ++i) {
                const double dx = i + 0.5 - center.x;
                const double dy = j + 0.5 - center.y;
                const double dist = length(dx, dy);
                if (stepWidth > dist) {
                    continue;
                }
                const Colour far = sums.sample((i + 0.5 - dx / dist * stepWidth) / tw,
                                               (j + 0.5 - dy / dist * stepWidth) / th);
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
    const double f = frame.factor;
    const Vec2 offset = asFloat(frame.offset);
    CompositeInputs in;
    in.raySums = &frame.raySums;
    in.offset = offset;
    in.sSize = asFloat(frame.boxSize);
    in.radialCenter = asFloat(frame.radialCenter);
    in.shadowLength = asFloat(settings.shineLength / f);
    in.step = asFloat(1.0 / f);
    const double exposure = std::exp2(asFloat(settings.exposure));
    frame.argb.resize(static_cast<std::size_t>(width) * height * 4);
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
                Colour sum = shineAt(in, px, py);
                sum = add(sum, shineAt(in, in.radialCenter.x + outer * dx, in.radialCenter.y + outer * dy));
                sum = add(sum, shineAt(in, in.radialCenter.x + inner * dx, in.radialCenter.y + inner * dy));
                shine = scale(sum, 0.33333);
            }
            for (double& channel : shine) {
                channel = std::clamp(channel * exposure, 0.0, 1.0);
            }
            const Colour out = settings.rayOnly ? shine : normalScreen(base, shine);
            std::uint8_t* bytes = &frame.argb[(static_cast<std::size_t>(y) * width + x) * 4];
            bytes[0] = toByte(out[3]);
            bytes[1] = toByte(out[0]);
            bytes[2] = toByte(out[1]);
            bytes[3] = toByte(out[2]);
        }
    }
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

ByteDifference compareBytes(const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& expected,
                            int tolerance)
{
    ByteDifference difference;
    if (actual.size() != expected.size()) {
        difference.largest = 256;
        difference.over = std::max(actual.size(), expected.size());
        return difference;
    }
    double total = 0.0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const int d = std::abs(static_cast<int>(actual[i]) - static_cast<int>(expected[i]));
        total += d;
        if (d > tolerance) {
            if (difference.over == 0) {
                difference.firstOver = i;
            }
            ++difference.over;
        }
        difference.largest = std::max(difference.largest, d);
    }
    difference.mean = actual.empty() ? 0.0 : total / static_cast<double>(actual.size());
    return difference;
}

bool writeArgbAsPpm(const std::string& path, const std::vector<std::uint8_t>& argb, int width, int height)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    std::fprintf(file, "P6\n%d %d\n255\n", width, height);
    for (std::size_t i = 0; i + 3 < argb.size(); i += 4) {
        std::fwrite(&argb[i + 1], 1, 3, file);
    }
    return std::fclose(file) == 0;
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
