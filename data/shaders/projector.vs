#version 130
// The full-screen quad and its three texture mappings, coordinate = A0 * scale + bias:
// T with ts/tb, F with qs/qb (the film, or the metaballs' space), U with us/ub.
in vec2 A0;
uniform vec2 ts, tb, qs, qb, us, ub;
out vec2 vT;
out vec2 vF;
out vec2 vU;
void main() {
  vT = A0 * ts + tb;
  vF = A0 * qs + qb;
  vU = A0 * us + ub;
  gl_Position = vec4(A0, 0.0, 1.0);
}
