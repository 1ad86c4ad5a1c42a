#version 130
// The cube mesh: position A0 and normal A1 in model space; m to clip space, nm to view
// space. nm's spin also stretches, so normals go through the cofactor of its upper 3x3
// (the inverse transpose times the determinant, which is positive here; GLSL 1.30 has no
// inverse) and are renormalised by the fragment shaders.
in vec3 A0;
in vec3 A1;
uniform mat4 m;
uniform mat4 nm;
out vec3 vView;
out vec3 vNormal;
out vec3 vModel;
out vec3 vModelNormal;
void main() {
  mat3 a = mat3(nm);
  mat3 cofactor = mat3(cross(a[1], a[2]), cross(a[2], a[0]), cross(a[0], a[1]));
  vView = (nm * vec4(A0, 1.0)).xyz;
  vNormal = cofactor * A1;
  vModel = A0;
  vModelNormal = A1;
  gl_Position = m * vec4(A0, 1.0);
}
