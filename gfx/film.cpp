#include "gfx/film.h"

namespace gfx {
namespace {
struct FilmState {
  GLuint quad_buffer = 0;
  GLuint quad_array = 0;
  GLuint color = 0;
  GLuint depth = 0;
  GLuint framebuffer = 0;
} g_film;

// Top left, bottom left, top right, bottom right: one strip covering the viewport.
const float kQuad[8] = {-1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f, -1.0f};

void set_film_texture(GLuint texture, GLint internal_format, GLenum format, int width, int height) {
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, internal_format, width, height, 0, format, GL_UNSIGNED_BYTE,
               nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}
}  // namespace

void create_screen_quad() {
  glGenBuffers(1, &g_film.quad_buffer);
  glGenVertexArrays(1, &g_film.quad_array);
  glBindBuffer(GL_ARRAY_BUFFER, g_film.quad_buffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
  glBindVertexArray(g_film.quad_array);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
  glEnableVertexAttribArray(0);
}

bool create_film_framebuffer(int width, int height) {
  glGenTextures(1, &g_film.color);
  glGenTextures(1, &g_film.depth);
  glGenFramebuffers(1, &g_film.framebuffer);
  set_film_texture(g_film.color, GL_RGBA8, GL_RGBA, width, height);
  set_film_texture(g_film.depth, GL_DEPTH_COMPONENT, GL_DEPTH_COMPONENT, width, height);
  glBindFramebuffer(GL_FRAMEBUFFER, g_film.framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, g_film.color, 0);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, g_film.depth, 0);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  return true;
}

GLuint screen_quad_vertex_array() { return g_film.quad_array; }
GLuint film_framebuffer() { return g_film.framebuffer; }
GLuint film_color_texture() { return g_film.color; }

void draw_screen_quad() {
  glBindVertexArray(g_film.quad_array);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

}  // namespace gfx
