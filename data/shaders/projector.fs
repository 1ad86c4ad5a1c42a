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

float hash(vec2 p) {
  p = fract(p * vec2(443.897, 441.423));
  p += dot(p, p.yx + 19.19);
  return fract((p.x + p.y) * p.x);
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
  vec2 seed = vec2(r * 97.13 + ub.x * 31.7, ub.y * 57.3 + us.x * 11.1);
  float grain = hash(floor(gl_FragCoord.xy * 0.5) + seed * 113.0) - 0.5;
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
