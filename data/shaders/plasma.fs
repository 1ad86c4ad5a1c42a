#version 130
// A small plasma over the mapping ts/tb, moving with t, brightness r.
uniform float t;
uniform vec2 ts, tb;
uniform float r;
in vec2 vT;
void main() {
  vec2 p = vT * 6.0;
  float v = sin(p.x + t) + sin(p.y * 1.3 + t * 1.7) + sin((p.x + p.y) * 0.7 + t * 0.6)
          + sin(length(p - 3.0) * 1.5 - t * 1.2);
  vec3 col = 0.5 + 0.5 * cos(v * 1.5708 + vec3(0.0, 2.1, 4.2));
  gl_FragColor = vec4(col * (1.0 - 0.5 * r), 1.0);
}
