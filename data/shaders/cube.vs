#version 130
// The cube mesh: position A0 and normal A1 in model space; m to clip space, nm to view
// space (nm carries the translation and the spin's stretch, so normals are renormalised).
in vec3 A0;
in vec3 A1;
uniform mat4 m;
uniform mat4 nm;
out vec3 vView;
out vec3 vNormal;
out vec3 vModel;
out vec3 vModelNormal;
void main() {
  vView = (nm * vec4(A0, 1.0)).xyz;
  vNormal = mat3(nm) * A1;
  vModel = A0;
  vModelNormal = A1;
  gl_Position = m * vec4(A0, 1.0);
}
