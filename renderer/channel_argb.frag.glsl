#version 330
in vec2 uv;
out vec4 colourOut;
uniform sampler2D videoTexture;
uniform float multiplier16bit;
void main()
{
    colourOut = texture(videoTexture, uv).argb;
}
