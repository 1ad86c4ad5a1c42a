#version 130
// The projected film: the film frame (or a still picture) in warm sepia, dirtied by the
// scratch overlay and grain, lit through the gate picture and flickering with the lamp.
// Runs for every screen pixel, so it keeps to three plain samples and a little arithmetic;
// whatever is the same for the whole screen comes from the vertex shader.
uniform sampler2D T;  // gate: grey, lit 4:3 window with rounded corners, black outside
uniform sampler2D F;  // the film frame, or a still picture in its place
uniform sampler2D U;  // scratches: .r mark brightness, .g coverage
in vec2 pT;
in vec2 pF;
in vec2 pU;
flat in float vLamp;
flat in uint vSeed;

// The lamp's warm light, half-way between grey and the cream of the old colour gate.
const vec3 kLampTint = vec3(0.978475, 0.955975, 0.903475);

void main() {
  // Orthochromatic film: monochrome with a little extra contrast.
  float lum = dot(texture(F, pF).rgb, vec3(0.30, 0.59, 0.11));
  lum = smoothstep(-0.04, 1.04, lum);

  vec2 scratch = texture(U, pU).rg;
  lum = mix(lum, scratch.r, scratch.g);

  // Grain in clumps of two screen pixels: one integer hash of the clump and the seed.
  uvec2 c = uvec2(ivec2(gl_FragCoord.xy) / 2 + 8192);
  uint h = c.x * 0x9e3779b1u + c.y * 0x85ebca77u + vSeed;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  float grain = float(int(h >> 8)) * (1.0 / 16777216.0) - 0.5;
  lum = clamp(lum + grain * 0.09, 0.0, 1.0);

  // Sepia: deep brown shadows, cream highlights.
  vec3 sepia = mix(vec3(0.09, 0.055, 0.03), vec3(1.0, 0.92, 0.76), lum) * mix(0.85, 1.0, lum);

  // Black outside the gate picture, whatever its border holds.
  vec2 inside = step(vec2(0.0), pT) * step(pT, vec2(1.0));
  float gate = texture(T, pT).r * inside.x * inside.y;

  gl_FragColor = vec4(sepia * (gate * vLamp) * kLampTint, 1.0);
}
