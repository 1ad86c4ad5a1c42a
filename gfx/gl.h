// The OpenGL entry points the program calls. Everything newer than OpenGL 1.1, plus the
// swap-interval control, is fetched at run time from ONE list (QUORL_GL_ENTRIES) that
// yields the function types, the pointers and the loader, so order, names and count
// cannot drift apart. The OpenGL 1.0/1.1 functions sit in a second, unchecked table filled
// from the linked library. Every GL call of the program goes through these pointers, so a
// test can install recording fakes.
#pragma once

#include <GL/glcorearb.h>  // types and constants only: no prototypes without GL_GLEXT_PROTOTYPES

// Compatibility-profile wrap mode, absent from the core header.
#ifndef GL_CLAMP
#define GL_CLAMP 0x2900
#endif

// The checked table, in the order it is fetched (the first missing name is reported).
#define QUORL_GL_ENTRIES(E)                                                                     \
  E(wglSwapIntervalEXT, int, (int interval))                                                    \
  E(glActiveTexture, void, (GLenum texture))                                                    \
  E(glBindBuffer, void, (GLenum target, GLuint buffer))                                         \
  E(glDeleteBuffers, void, (GLsizei n, const GLuint* buffers))                                  \
  E(glGenBuffers, void, (GLsizei n, GLuint * buffers))                                          \
  E(glBufferData, void, (GLenum target, GLsizeiptr size, const void* data, GLenum usage))       \
  E(glBufferSubData, void, (GLenum target, GLintptr offset, GLsizeiptr size, const void* data)) \
  E(glAttachShader, void, (GLuint program, GLuint shader))                                      \
  E(glCompileShader, void, (GLuint shader))                                                     \
  E(glCreateProgram, GLuint, (void))                                                            \
  E(glCreateShader, GLuint, (GLenum type))                                                      \
  E(glDeleteProgram, void, (GLuint program))                                                    \
  E(glDeleteShader, void, (GLuint shader))                                                      \
  E(glGetProgramiv, void, (GLuint program, GLenum pname, GLint * params))                       \
  E(glGetShaderiv, void, (GLuint shader, GLenum pname, GLint * params))                         \
  E(glGetUniformLocation, GLint, (GLuint program, const GLchar* name))                          \
  E(glLinkProgram, void, (GLuint program))                                                      \
  E(glShaderSource, void,                                                                       \
    (GLuint shader, GLsizei count, const GLchar* const* string, const GLint* length))           \
  E(glUseProgram, void, (GLuint program))                                                       \
  E(glUniform1f, void, (GLint location, GLfloat v0))                                            \
  E(glUniform2f, void, (GLint location, GLfloat v0, GLfloat v1))                                \
  E(glUniform3f, void, (GLint location, GLfloat v0, GLfloat v1, GLfloat v2))                    \
  E(glUniform4f, void, (GLint location, GLfloat v0, GLfloat v1, GLfloat v2, GLfloat v3))        \
  E(glUniform1i, void, (GLint location, GLint v0))                                              \
  E(glUniform1ui, void, (GLint location, GLuint v0))                                            \
  E(glUniform1fv, void, (GLint location, GLsizei count, const GLfloat* value))                  \
  E(glUniform2fv, void, (GLint location, GLsizei count, const GLfloat* value))                  \
  E(glUniform3fv, void, (GLint location, GLsizei count, const GLfloat* value))                  \
  E(glUniform4fv, void, (GLint location, GLsizei count, const GLfloat* value))                  \
  E(glUniformMatrix4fv, void,                                                                   \
    (GLint location, GLsizei count, GLboolean transpose, const GLfloat* value))                 \
  E(glGenFramebuffers, void, (GLsizei n, GLuint * framebuffers))                                \
  E(glBindFramebuffer, void, (GLenum target, GLuint framebuffer))                               \
  E(glBindRenderbuffer, void, (GLenum target, GLuint renderbuffer))                             \
  E(glGenRenderbuffers, void, (GLsizei n, GLuint * renderbuffers))                              \
  E(glRenderbufferStorage, void,                                                                \
    (GLenum target, GLenum internalformat, GLsizei width, GLsizei height))                      \
  E(glFramebufferTexture2D, void,                                                               \
    (GLenum target, GLenum attachment, GLenum textarget, GLuint texture, GLint level))          \
  E(glEnableVertexAttribArray, void, (GLuint index))                                            \
  E(glDisableVertexAttribArray, void, (GLuint index))                                           \
  E(glVertexAttribPointer, void,                                                                \
    (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,               \
     const void* pointer))                                                                      \
  E(glBindAttribLocation, void, (GLuint program, GLuint index, const GLchar* name))             \
  E(glCheckFramebufferStatus, GLenum, (GLenum target))                                          \
  E(glGetShaderInfoLog, void,                                                                   \
    (GLuint shader, GLsizei bufSize, GLsizei * length, GLchar * infoLog))                       \
  E(glGetProgramInfoLog, void,                                                                  \
    (GLuint program, GLsizei bufSize, GLsizei * length, GLchar * infoLog))                      \
  E(glBindVertexArray, void, (GLuint array))                                                    \
  E(glDeleteVertexArrays, void, (GLsizei n, const GLuint* arrays))                              \
  E(glGenVertexArrays, void, (GLsizei n, GLuint * arrays))                                      \
  E(glMapBuffer, void*, (GLenum target, GLenum access))                                         \
  E(glUnmapBuffer, GLboolean, (GLenum target))                                                  \
  E(glGetAttribLocation, GLint, (GLuint program, const GLchar* name))                           \
  E(glFramebufferRenderbuffer, void,                                                            \
    (GLenum target, GLenum attachment, GLenum renderbuffertarget, GLuint renderbuffer))         \
  E(glBindFragDataLocation, void, (GLuint program, GLuint color, const GLchar* name))           \
  E(glDeleteFramebuffers, void, (GLsizei n, const GLuint* framebuffers))

// The unchecked table: OpenGL 1.0/1.1 functions linked from the GL library.
// glPixelStorei sets the unpack alignment for pictures whose rows are not 4-byte multiples;
// glReadPixels and glFinish serve the capture tool and the pixel tests.
#define QUORL_GL11_ENTRIES(E)                                                                    \
  E(glClear, void, (GLbitfield mask))                                                            \
  E(glClearColor, void, (GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha))               \
  E(glBindTexture, void, (GLenum target, GLuint texture))                                        \
  E(glTexImage2D, void,                                                                          \
    (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,            \
     GLint border, GLenum format, GLenum type, const void* pixels))                              \
  E(glTexParameteri, void, (GLenum target, GLenum pname, GLint param))                           \
  E(glGenTextures, void, (GLsizei n, GLuint * textures))                                         \
  E(glEnable, void, (GLenum cap))                                                                \
  E(glDisable, void, (GLenum cap))                                                               \
  E(glViewport, void, (GLint x, GLint y, GLsizei width, GLsizei height))                         \
  E(glDrawArrays, void, (GLenum mode, GLint first, GLsizei count))                               \
  E(glPixelStorei, void, (GLenum pname, GLint param))                                            \
  E(glReadPixels, void,                                                                          \
    (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void* pixels)) \
  E(glFinish, void, (void))

namespace gfx {

#define QUORL_GL_DECLARE(name, ret, args) \
  using name##_fn = ret(*) args;          \
  extern name##_fn name;
QUORL_GL_ENTRIES(QUORL_GL_DECLARE)
QUORL_GL11_ENTRIES(QUORL_GL_DECLARE)
#undef QUORL_GL_DECLARE

constexpr int kGlEntryCount = 52;

// Looks an entry point up by name; null means missing.
using GlLookup = void* (*)(const char* name);

// Fills the checked table in order from `lookup`. On the first missing entry shows a box
// whose text is its name (default caption) and returns false; entries before it stay
// set, those after it stay null. True when all 52 are filled.
bool load_entry_points(GlLookup lookup);

// Fills the unchecked table from the linked GL library.
void load_gl11_functions();

// The name of checked entry i (0-based), for tests and messages.
const char* entry_point_name(int index);

}  // namespace gfx
