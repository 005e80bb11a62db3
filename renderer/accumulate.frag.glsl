#version 330
// One doubling level of the ray sums: every texel adds the value 2^level texels
// further towards the centre, unless the centre is closer than that, so no sum
// runs past it. The pass with level == maxLevel copies its input.
uniform sampler2D t0;
uniform vec2 viewSize;
uniform vec2 center;
uniform float level;
uniform float maxLevel;

in vec2 uv;
out vec4 colourOut;

void main()
{
    vec2 p = gl_FragCoord.xy;
    vec4 d = texture(t0, uv);
    if (level < maxLevel) {
        vec2 dir = p - center;
        vec2 nor = normalize(dir);
        float dist = length(dir);
        float stepwidth = float(1 << int(level));
        if (stepwidth <= dist) {
            d = d + texture(t0, (p - nor * stepwidth) / viewSize);
        }
    }
    colourOut = d;
}
