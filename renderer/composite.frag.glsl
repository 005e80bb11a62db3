#version 330
// The light shafts at full resolution: the mean brightness along each ray is the
// difference of two running sums of the ray texture; three neighbouring samples
// along the ray are averaged, exposed, and screened over the layer or shown alone.
uniform sampler2D videoTexture;
uniform sampler2D shadowTexture;
uniform vec2 offset;
uniform vec2 sSize;
uniform vec2 radialCenter;
uniform float shadowLength;
uniform float exposure;
uniform float step;
uniform float shadowOnly;

in vec2 uv;
out vec4 colourOut;

// The mean of the prefiltered brightness over the ray segment from q towards the
// centre (q in downscaled layer pixels), at full scale again.
vec4 getShine(vec2 q)
{
    vec2 dir = q - radialCenter;
    float y = length(dir);
    if (y < 0.5) {
        return texture(shadowTexture, (q + offset) / sSize) * 1000.0;
    }
    // Segments shorten near the centre.
    float aa = atan(y / (800.0 * step));
    float yf = sin(aa);
    float r = min(y, shadowLength * yf);
    vec2 nor = normalize(dir) * r;
    vec4 here = texture(shadowTexture, (q + offset) / sSize);
    vec4 back = texture(shadowTexture, (q + offset - nor) / sSize);
    return abs(here - back) / max(1.0, r) * 1000.0;
}

vec3 screen(vec3 b, vec3 c)
{
    return 1.0 - (1.0 - b) * (1.0 - c);
}

vec4 normalScreen(vec4 baseColor, vec4 color)
{
    float fragAlpha = color.a + baseColor.a * (1.0 - color.a);
    // Both fully transparent: nothing to blend, and the weights below would be 0 / 0.
    if (fragAlpha <= 0.0) {
        return vec4(0.0);
    }
    float weight = color.a / fragAlpha;
    vec3 rgb = (1.0 - weight) * baseColor.rgb +
               weight * ((1.0 - baseColor.a) * color.rgb + baseColor.a * screen(baseColor.rgb, color.rgb));
    return vec4(rgb, fragAlpha);
}

vec4 applyExposure(vec4 src)
{
    return clamp(src * exp2(exposure), 0.0, 1.0);
}

void main()
{
    vec2 p = gl_FragCoord.xy * step;
    vec2 dir = p - radialCenter;
    float len = length(dir);
    vec4 baseColor = texture(videoTexture, uv).gbar;

    vec4 shine;
    if (len <= 0.5) {
        shine = baseColor;
    } else {
        dir = normalize(dir);
        // One layer pixel further out and further in along the ray. Written from p
        // rather than from the centre, which keeps its precision when the centre
        // lies far away.
        vec4 col = getShine(p) + getShine(p + step * dir) + getShine(p - step * dir);
        shine = col * 0.33333;
    }
    shine = applyExposure(shine);

    if (shadowOnly < 0.5) {
        colourOut = normalScreen(baseColor, shine);
    } else {
        colourOut = shine;
    }
}
