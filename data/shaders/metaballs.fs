#version 130
// Sixteen soft blobs. Each ball adds (1 - t d^2 / 4)^3 to the field within its reach, so t
// (70) sets how far a ball reaches (2 / sqrt(t), about a quarter of the frame's height);
// the surface lies where the field passes 0.3, and close balls flow into each other.
uniform vec2 p[16];
uniform float t;
uniform vec2 qs, qb;
in vec2 vF;  // x in [-4/3, 4/3], y in [-1, 1]
void main() {
  float f = 0.0;
  vec2 g = vec2(0.0);
  for (int i = 0; i < 16; ++i) {
    vec2 d = vF - p[i];
    float x = clamp(1.0 - 0.25 * t * dot(d, d), 0.0, 1.0);
    f += x * x * x;
    g += d * (x * x);  // the field falls along d: its slope, for shading
  }
  float surface = smoothstep(0.26, 0.34, f);
  // A rounded body: the slope tilts the normal. Lit from the top left as seen on screen
  // (the film frame is shown turned over, so screen-up is -y here).
  vec3 n = normalize(vec3(g * 6.0, max(f, 0.05)));
  vec3 l = normalize(vec3(-0.5, -0.6, 0.7));
  float lit = 0.25 + 0.75 * max(dot(n, l), 0.0);
  float shine = pow(max(dot(n, normalize(l + vec3(0.0, 0.0, 1.0))), 0.0), 16.0);
  vec3 blob = vec3(lit) + 0.35 * shine;
  // Dark stage with a faint glow around the blobs.
  vec3 back = vec3(0.06 + 0.06 * (1.0 + vF.y)) + 0.22 * smoothstep(0.02, 0.3, f);
  gl_FragColor = vec4(mix(back, blob, surface), 1.0);
}
