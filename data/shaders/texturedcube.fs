#version 130
// The brick picture on the cube without texture coordinates: each face takes the picture
// projected along its dominant axis from the model-space position. Lit like the plain
// cube, from above as seen on screen.
uniform sampler2D T;
in vec3 vView;
in vec3 vNormal;
in vec3 vModel;
in vec3 vModelNormal;
void main() {
  vec3 a = abs(vModelNormal);
  vec3 s = vModel / max(max(abs(vModel.x), abs(vModel.y)), abs(vModel.z));  // -1..1 on a face
  vec2 uv = a.x >= a.y && a.x >= a.z ? s.zy : (a.y >= a.z ? s.xz : s.xy);
  // Half the picture per face (four courses, two bricks across): at 160x120 a face is
  // about 40 pixels wide, and the whole picture would skip six texels a pixel and lose
  // the mortar. Turned over, so the bricks stand the right way up on screen.
  vec3 brick = texture(T, vec2(uv.x, -uv.y) * 0.25 + 0.5).rgb;
  vec3 n = normalize(vNormal);
  vec3 l = normalize(vec3(-0.45, -0.75, 0.6));
  vec3 e = normalize(-vView);
  float diffuse = max(dot(n, l), 0.0);
  float shine = pow(max(dot(n, normalize(l + e)), 0.0), 20.0);
  gl_FragColor = vec4(brick * (0.45 + 1.1 * diffuse) + 0.2 * shine, 1.0);
}
