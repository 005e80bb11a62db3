#version 330
// Keeps the bright parts of the layer for the rays: a soft luminance threshold,
// premultiplied by alpha and scaled down by 1000 so that sums of up to 2048 of
// them stay small. Drawn over the downscaled ray box; texels outside the layer
// repeat its nearest edge pixel.
uniform sampler2D sourceTexture;
uniform vec2 srcSize;
uniform vec2 offset;
uniform float threshold;
uniform float thresholdSmooth;

in vec2 uv;
out vec4 colourOut;

void main()
{
    vec2 p = gl_FragCoord.xy - offset;
    vec2 ruv = clamp(p / srcSize, 0.0, 1.0);
    // The layer's texture holds the host's alpha, red, green, blue.
    vec4 col = texture(sourceTexture, ruv).gbar;
    float luma = dot(col.rgb, vec3(0.2125, 0.7154, 0.0721));

    float t = 1.0 - threshold;
    float maxRange = 1.0 - t;
    float low = (1.0 - thresholdSmooth) * t;
    float high = t + maxRange * thresholdSmooth;
    float w = smoothstep(low, high, luma);

    col.a = col.a * w;
    col.rgb = col.rgb * col.a;
    colourOut = col * 0.001;
}
