// Baselines for the show's figures: small SDL + OpenGL 3.0 programs on the same display.
//   baseline_gl first-frame [borderless]
//                                process start to the first presented frame of an empty
//                                fullscreen program (prints first_frame_ms); borderless:
//                                a borderless window of the screen's size instead, with no
//                                fullscreen request (which, with no window manager to answer
//                                it, SDL waits 100 ms for)
//   baseline_gl quad3 [frames]   a full-screen quad multiplying three textures of the
//                                projector's kinds and sizes through three mappings
//   baseline_gl constant [frames]  the same quad in one constant colour
// The frame modes print the same line as frame_bench: medians per frame.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame_timer.h"

#ifndef GL_CLAMP
#define GL_CLAMP 0x2900
#endif

namespace {

double g_start_ms;
__attribute__((constructor(101))) void note_start() {
  g_start_ms = bench::clock_ms(CLOCK_MONOTONIC);
}

const char* const kVertex = R"(#version 130
in vec2 A0;
out vec2 vT, vF, vU;
void main() {
  vT = A0 * vec2(0.6666667, 0.5) + 0.5;
  vF = A0 * vec2(0.6666667, -0.5) + vec2(0.501, 0.499);
  vU = A0 * vec2(-0.6666667, 0.5) + vec2(0.43, 0.61);
  gl_Position = vec4(A0, 0.0, 1.0);
})";
const char* const kThreeTextures = R"(#version 130
uniform sampler2D T, F, U;
in vec2 vT, vF, vU;
void main() { gl_FragColor = texture(T, vT).rrrr * texture(F, vF) * texture(U, vU).rrrg; })";
const char* const kConstant = R"(#version 130
in vec2 vT, vF, vU;
void main() { gl_FragColor = vec4(0.8, 0.7, 0.5, 1.0); })";

SDL_Window* open_window(bool fullscreen = true) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return nullptr;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  // Made at the screen's size: without a window manager (Xvfb) nothing would resize a
  // smaller window, and the frames would cover only part of the screen.
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return nullptr;
  SDL_Window* window = SDL_CreateWindow(
      "baseline", 0, 0, mode.w, mode.h,
      SDL_WINDOW_OPENGL | (fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_BORDERLESS));
  if (!window || !SDL_GL_CreateContext(window)) return nullptr;
  SDL_GL_SetSwapInterval(1);  // fails under Xvfb, as for the show
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(window, &w, &h);
  glViewport(0, 0, w, h);
  return window;
}

GLuint compile(GLenum type, const char* source) {
  GLuint s = glCreateShader(type);
  glShaderSource(s, 1, &source, nullptr);
  glCompileShader(s);
  return s;
}

GLuint texture(int unit, GLint internal_format, GLenum format, int w, int h, int components,
               GLint filter, GLint wrap) {
  std::vector<unsigned char> px(static_cast<size_t>(w) * h * components);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>(i * 2654435761u >> 24);
  GLuint name = 0;
  glGenTextures(1, &name);
  glActiveTexture(GL_TEXTURE0 + unit);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, internal_format, w, h, 0, format, GL_UNSIGNED_BYTE, px.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  return name;
}

int first_frame(bool fullscreen) {
  SDL_Window* window = open_window(fullscreen);
  if (!window) return 1;
  glClear(GL_COLOR_BUFFER_BIT);
  SDL_GL_SwapWindow(window);
  std::printf("first_frame_ms %.1f\n", bench::clock_ms(CLOCK_MONOTONIC) - g_start_ms);
  return 0;
}

int frames(const char* mode, int count) {
  SDL_Window* window = open_window();
  if (!window) return 1;
  const bool three = std::strcmp(mode, "quad3") == 0;
  GLuint program = glCreateProgram();
  glAttachShader(program, compile(GL_VERTEX_SHADER, kVertex));
  glAttachShader(program, compile(GL_FRAGMENT_SHADER, three ? kThreeTextures : kConstant));
  glBindAttribLocation(program, 0, "A0");
  glLinkProgram(program);
  glUseProgram(program);
  // The projector's kinds: the grey gate, the film frame, the scratch overlay.
  texture(0, GL_R8, GL_RED, 1024, 768, 1, GL_LINEAR, GL_CLAMP);
  texture(1, GL_RGBA8, GL_RGBA, 160, 120, 4, GL_NEAREST, GL_CLAMP_TO_EDGE);
  texture(2, GL_RG8, GL_RG, 512, 512, 2, GL_NEAREST, GL_REPEAT);
  glUniform1i(glGetUniformLocation(program, "T"), 0);
  glUniform1i(glGetUniformLocation(program, "F"), 1);
  glUniform1i(glGetUniformLocation(program, "U"), 2);
  const float corners[] = {-1, -1, 1, -1, -1, 1, 1, 1};
  GLuint vao = 0, vbo = 0;
  glGenVertexArrays(1, &vao);
  glBindVertexArray(vao);
  glGenBuffers(1, &vbo);
  glBindBuffer(GL_ARRAY_BUFFER, vbo);
  glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);

  bench::FrameTimer timer(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    timer.begin();
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
    }
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    SDL_GL_SwapWindow(window);
    glFinish();
    timer.end();
  }
  timer.print(mode);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (std::strcmp(mode, "first-frame") == 0) {
    return first_frame(!(argc > 2 && std::strcmp(argv[2], "borderless") == 0));
  }
  if (std::strcmp(mode, "quad3") == 0 || std::strcmp(mode, "constant") == 0) {
    return frames(mode, argc > 2 ? std::max(1, std::atoi(argv[2])) : 600);
  }
  std::fprintf(
      stderr, "usage: baseline_gl first-frame [borderless] | quad3 [frames] | constant [frames]\n");
  return 2;
}
