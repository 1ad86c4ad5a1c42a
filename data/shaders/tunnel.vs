#version 130
// The full-screen quad for the tunnel and planes scenes. The film frame reaches the screen
// upside down (row 0 of the film frame is shown at the top), so y is turned here: in the
// fragment shaders positive y is up as the audience sees it.
in vec2 A0;
out vec2 vP;
void main() {
  vP = vec2(A0.x * (4.0 / 3.0), -A0.y);
  gl_Position = vec4(A0, 0.0, 1.0);
}
