// What the show's OpenGL 3.0 calls mean in WebGL 2, where the two differ. The GL 1.1
// table takes these two functions from the linked library, so they are defined here in
// front of the browser's own (which stay reachable under their emscripten_ names).
#include <GLES3/gl3.h>

// The desktop's compatibility-profile wrap mode.
#define QUORL_GL_CLAMP 0x2900

extern "C" {

void emscripten_glTexParameteri(GLenum target, GLenum pname, GLint param);
void emscripten_glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width,
                             GLsizei height, GLint border, GLenum format, GLenum type,
                             const void* pixels);

// GL_CLAMP does not exist in WebGL: its nearest, clamping to the edge texel. (The
// desktop's GL_CLAMP blends towards the border colour over the outermost half texel when
// filtering linearly; the pictures clamped so have black or near-black edges.)
void glTexParameteri(GLenum target, GLenum pname, GLint param) {
  if (param == QUORL_GL_CLAMP) param = GL_CLAMP_TO_EDGE;
  emscripten_glTexParameteri(target, pname, param);
}

// An unsized depth texture of bytes has no WebGL equivalent: the film frame's depth is
// asked for so. It becomes 24-bit depth, what desktop drivers give for it.
void glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const void* pixels) {
  if (format == GL_DEPTH_COMPONENT && type == GL_UNSIGNED_BYTE) {
    internal_format = GL_DEPTH_COMPONENT24;
    type = GL_UNSIGNED_INT;
  }
  emscripten_glTexImage2D(target, level, internal_format, width, height, border, format, type,
                          pixels);
}

}  // extern "C"
