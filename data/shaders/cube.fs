#version 130
// A lit, shaded cube. The film frame is shown turned over, so the light that the audience
// sees from above comes from -y in view space.
uniform float t;
in vec3 vView;
in vec3 vNormal;
in vec3 vModel;
in vec3 vModelNormal;
void main() {
  vec3 n = normalize(vNormal);
  vec3 l = normalize(vec3(-0.45, -0.75, 0.6));
  vec3 e = normalize(-vView);
  float diffuse = max(dot(n, l), 0.0);
  float shine = pow(max(dot(n, normalize(l + e)), 0.0), 28.0);
  // Dark seams along the edges: how close the point is to a face's border.
  vec3 a = abs(vModel) / max(max(abs(vModel.x), abs(vModel.y)), abs(vModel.z));
  vec3 mask = vec3(1.0) - step(0.5, abs(vModelNormal));  // the face's own two axes
  float border = max(max(a.x * mask.x, a.y * mask.y), a.z * mask.z);
  float seam = 1.0 - 0.55 * smoothstep(0.86, 0.94, border);
  vec3 col = vec3(0.92, 0.9, 0.86) * (0.22 + 0.78 * diffuse) * seam + 0.45 * shine;
  gl_FragColor = vec4(col, 1.0);
}
