#version 130
// Sixteen soft blobs. Each ball adds 1 / (1 + t d^2) to the field, so t (70) sets the size
// of a ball (about 1/sqrt(t)); where the field passes 1 the surface is.
uniform vec2 p[16];
uniform float t;
uniform vec2 qs, qb;
in vec2 vF;  // x in [-4/3, 4/3], y in [-1, 1]
void main() {
  float f = 0.0;
  vec2 g = vec2(0.0);
  for (int i = 0; i < 16; ++i) {
    vec2 d = vF - p[i];
    float w = 1.0 / (1.0 + t * dot(d, d));
    f += w;
    g += d * w * w;  // the field's slope, for shading
  }
  float surface = smoothstep(0.85, 1.05, f);
  // Lit from the top left as seen on screen (the film frame is shown turned over).
  vec3 n = normalize(vec3(g * t * 0.9, 1.0));
  float lit = 0.45 + 0.55 * max(dot(n, normalize(vec3(-0.5, -0.6, 0.8))), 0.0);
  float core = smoothstep(1.0, 3.0, f);
  vec3 blob = vec3(lit * (0.75 + 0.25 * core));
  vec3 back = vec3(0.10 + 0.05 * (1.0 - vF.y)) + 0.28 * smoothstep(0.25, 0.85, f);
  gl_FragColor = vec4(mix(back, blob, surface), 1.0);
}
