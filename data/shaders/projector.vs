#version 130
// The full-screen quad and its three texture mappings, coordinate = A0 * scale + bias:
// T with ts/tb, F with qs/qb (the film, or the metaballs' space), U with us/ub. Shared by
// projector, metaballs, screen and plasma; each fragment shader takes what it reads and the
// linker drops the rest.
// For the projector, everything that is the same for the whole screen is worked out here,
// once per corner rather than once per pixel: on a software rasteriser that matters.
in vec2 A0;
uniform vec2 ts, tb, qs, qb, us, ub;
uniform float r;      // lamp brightness (0 when the lamp is out)
out vec2 vT;
out vec2 vF;
out vec2 vU;
out vec2 pT;           // the projector's mappings, letterboxed (below)
out vec2 pF;
out vec2 pU;
flat out float vLamp;  // brightness curve of the lamp, with the gate's gain
flat out uint vSeed;   // grain pattern: new with every lamp value and every film jump

uint mix_bits(uint x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

void main() {
  // The mappings fit the 4:3 film to the screen width; on a screen narrower than 4:3 widen
  // every mapping about its centre so the whole film shows, letterboxed. The mappings are
  // affine, so widening them at the corners is exact.
  vT = A0 * ts + tb;
  vF = A0 * qs + qb;
  vU = A0 * us + ub;
  float aspect = ts.x / 0.375;
  float k = aspect > 0.0 ? max(1.0, (4.0 / 3.0) / aspect) : 1.0;
  pT = A0 * ts * k + tb;
  pF = A0 * qs * k + qb;
  pU = A0 * us * k + ub;

  vLamp = pow(max(r, 0.0), 0.6) * 1.08;
  vec2 seed = abs(vec2(r + ub.x, ub.y + us.x));
  vSeed = mix_bits(uint(seed.x * 65536.0) * 1664525u + uint(seed.y * 65536.0));
  gl_Position = vec4(A0, 0.0, 1.0);
}
