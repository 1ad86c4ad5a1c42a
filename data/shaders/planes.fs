#version 130
// A textured floor and ceiling receding to a horizon; t moves the viewer forward and
// c = (cos t, 0.25 sin t) sways the view: c.x turns it, c.y rolls and bobs it.
uniform sampler2D T;
uniform float t;
uniform vec2 c;
in vec2 vP;
void main() {
  float roll = c.y * 0.8;
  vec2 p = mat2(cos(roll), sin(roll), -sin(roll), cos(roll)) * vP;
  p.y += c.y * 0.25;
  float h = abs(p.y);
  float z = 0.45 / max(h, 0.004);              // distance to the plane along the view
  vec2 uv = vec2(p.x * z + c.x * 0.8, z + t * 0.8);
  vec3 col = texture(T, uv).rgb * 1.35;
  col *= p.y < 0.0 ? 1.0 : 0.72;               // the ceiling in the shade
  col *= smoothstep(0.0, 0.55, h);             // haze towards the horizon
  gl_FragColor = vec4(col, 1.0);
}
