// The display frame on the screen the program would take (run it under a 1920 x 1080
// display): start-up as the program does it (without the music), then demo frames on an
// exact 60 Hz clock, each presented. Prints the median time of one display frame.
//   frame_bench [frames]            (run from data/; default 600 frames)
// Frames are taken in windows of one second spread over the show, so scenes, stills and
// the writing strip all count.
#include <SDL.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/window.h"
#include "demo/demo.h"
#include "gfx/film.h"
#include "gfx/gl.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"

namespace {

constexpr double kWindows[] = {3.0, 11.0, 36.0, 51.0, 61.0, 71.0, 81.0, 91.0, 101.5, 116.0};
constexpr int kFilm[2] = {160, 120};

double now_ms() {
  return 1000.0 * static_cast<double>(SDL_GetPerformanceCounter()) /
         static_cast<double>(SDL_GetPerformanceFrequency());
}

// Processor time of the whole process, llvmpipe's rendering threads included: steadier
// than the wall clock on a machine others share.
double cpu_ms() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 600;
  if (!app::create_window_and_context()) return 1;
  demo::seed_random();
  if (!gfx::set_up_programs() || !gfx::load_texture_catalogue()) return 1;
  gfx::create_screen_quad();
  gfx::load_mesh(&gfx::cube_mesh());
  app::switch_to_fullscreen();
  demo::set_film_size(kFilm[0], kFilm[1]);
  demo::fill_ball_tables();
  if (!gfx::create_film_framebuffer(kFilm[0], kFilm[1])) return 1;

  const int windows = static_cast<int>(sizeof kWindows / sizeof kWindows[0]);
  const int per_window = std::max(1, frames / windows);
  std::vector<double> wall, cpu;
  wall.reserve(static_cast<size_t>(per_window * windows));
  cpu.reserve(static_cast<size_t>(per_window * windows));
  for (int w = 0; w < windows; ++w) {
    for (int k = 0; k < per_window; ++k) {
      SDL_PumpEvents();
      const double start = now_ms(), start_cpu = cpu_ms();
      demo::set_frame_clock(kWindows[w] + k / 60.0);
      demo::frame();
      app::present();
      gfx::glFinish();
      wall.push_back(now_ms() - start);
      cpu.push_back(cpu_ms() - start_cpu);
    }
  }
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(SDL_GL_GetCurrentWindow(), &w, &h);
  std::printf("frame_ms %.3f cpu_ms %.3f frames %zu size %dx%d\n", median(wall), median(cpu),
              wall.size(), w, h);
  return 0;
}
