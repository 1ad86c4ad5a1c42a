#version 130
// A picture through the mapping ts/tb (the Mandelbrot zoom).
uniform sampler2D T;
uniform vec2 ts, tb;
in vec2 vT;
void main() {
  gl_FragColor = vec4(texture(T, vT).rgb, 1.0);
}
