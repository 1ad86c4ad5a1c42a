#version 130
// The projected film: the film frame (or a still picture) in warm sepia, dirtied by the
// scratch overlay and grain, lit through the gate picture and flickering with the lamp.
uniform sampler2D T;  // gate: lit 4:3 window with rounded corners, black outside
uniform sampler2D F;  // the film frame, or a still picture in its place
uniform sampler2D U;  // scratches: .r mark brightness, .g coverage
uniform vec2 ts, tb, qs, qb, us, ub;
uniform float r;      // lamp brightness (0 when the lamp is out)
in vec2 vT;
in vec2 vF;
in vec2 vU;

uint mix_bits(uint x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

// White noise in [0, 1) per cell, a different pattern for every seed.
float noise(vec2 cell, vec2 seed) {
  uvec2 c = uvec2(ivec2(cell) + 8192);
  uint s = uint(abs(seed.x) * 65536.0) * 1664525u + uint(abs(seed.y) * 65536.0);
  return float(mix_bits(c.x + mix_bits(c.y + mix_bits(s))) >> 8) / 16777216.0;
}

float inside(vec2 c) {
  return step(0.0, c.x) * step(c.x, 1.0) * step(0.0, c.y) * step(c.y, 1.0);
}

void main() {
  // The mappings fit the 4:3 film to the screen width; on a screen narrower than 4:3 widen
  // every mapping about its centre so the whole film shows, letterboxed.
  float aspect = ts.x / 0.375;
  float k = aspect > 0.0 ? max(1.0, (4.0 / 3.0) / aspect) : 1.0;
  vec2 cT = tb + (vT - tb) * k;
  vec2 cF = qb + (vF - qb) * k;
  vec2 cU = ub + (vU - ub) * k;

  // Orthochromatic film: monochrome with a little extra contrast.
  float lum = dot(texture(F, cF).rgb, vec3(0.30, 0.59, 0.11));
  lum = smoothstep(-0.04, 1.04, lum);

  vec2 scratch = texture(U, cU).rg;
  lum = mix(lum, scratch.r, scratch.g);

  // Grain, in clumps of two screen pixels, new with every lamp value and every film jump.
  vec2 seed = vec2(r + ub.x, ub.y + us.x);
  float grain = noise(floor(gl_FragCoord.xy * 0.5), seed) - 0.5;
  lum = clamp(lum + grain * 0.09, 0.0, 1.0);

  // Sepia: deep brown shadows, cream highlights.
  vec3 sepia = mix(vec3(0.09, 0.055, 0.03), vec3(1.0, 0.92, 0.76), lum);
  sepia *= mix(0.85, 1.0, lum);

  vec3 gate = texture(T, cT).rgb * inside(cT);
  float gate_lum = dot(gate, vec3(0.30, 0.59, 0.11));
  vec3 light = mix(vec3(gate_lum), gate, 0.5) * 1.08;

  float lamp = pow(max(r, 0.0), 0.6);
  gl_FragColor = vec4(clamp(sepia * light * lamp, 0.0, 1.0), 1.0);
}
