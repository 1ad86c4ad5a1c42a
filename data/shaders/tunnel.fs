#version 130
// A textured tunnel seen down its axis. t travels along it; u bends the far end away from
// the centre (0: straight), v swings the bend from side to side and twists the walls.
uniform sampler2D T;
uniform float t;
uniform vec2 c;
uniform float u;
uniform float v;
in vec2 vP;
void main() {
  vec2 p = vP + c;
  float near = clamp(length(p), 0.0, 1.0);
  // The bend moves the vanishing point; the walls near the viewer stay put.
  vec2 bend = u * vec2(2.2 * v, 0.9 * sin(t * 0.37 + 1.0));
  vec2 q = p - bend * (1.0 - near) * (1.0 - near);
  float d = max(length(q), 0.004);
  float depth = 0.42 / d;
  float angle = atan(q.y, q.x) * 0.31831;  // -1 .. 1 around the wall
  angle += u * v * depth * 0.06;           // the walls twist into the bend
  vec2 uv = vec2(angle * 2.0, depth * 0.8 + t * 0.45);
  vec3 col = texture(T, uv).rgb;
  // Darkening into the distance, and a little lamp light on the nearest walls.
  float fog = smoothstep(0.02, 0.75, d);
  col *= fog * (0.8 + 0.35 * near);
  gl_FragColor = vec4(col, 1.0);
}
