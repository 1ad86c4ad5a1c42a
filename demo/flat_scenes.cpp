#include "demo/flat_scenes.h"

#include <cmath>

#include "demo/state.h"
#include "gfx/film.h"
#include "gfx/programs.h"
#include "gfx/textures.h"

namespace demo {
namespace {

void bind_scene_picture(GLenum unit, int slot) {
  gfx::glActiveTexture(unit);
  gfx::glBindTexture(GL_TEXTURE_2D, gfx::texture(slot));
}

GLint tunnel_loc(int place) { return gfx::uniform_location(gfx::kTunnel, place); }

}  // namespace

TunnelValues brick_tunnel_values(float time_factor, float sine_factor, double t) {
  TunnelValues v;
  v.time = static_cast<float>(static_cast<double>(time_factor) * t);
  v.bend = static_cast<float>(std::sin(static_cast<double>(sine_factor) * t));
  return v;
}

PlanesValues planes_values(double t) {
  PlanesValues v;
  v.time = static_cast<float>(t);
  v.cx = static_cast<float>(std::cos(t));
  v.cy = static_cast<float>(0.25 * std::sin(t));
  return v;
}

ZoomValues mandelbrot_values(double progress) {
  const double q = std::sqrt(progress);
  ZoomValues v;
  v.scale = static_cast<float>((1.0 - q) * 0.5 + q * 0.08);
  v.bias_x = 0.5f;
  v.bias_y = static_cast<float>(q * 0.25 + 0.5);
  return v;
}

void star_tunnel() {
  using namespace gfx::uniform;
  bind_scene_picture(GL_TEXTURE2, gfx::kTexStars);
  gfx::glUseProgram(gfx::program(gfx::kTunnel));
  gfx::glUniform1i(tunnel_loc(kTunnelT), 2);
  gfx::glUniform1f(tunnel_loc(kTunnelTime), static_cast<float>(inputs().clock));
  gfx::glUniform1f(tunnel_loc(kTunnelU), 0.0f);
  gfx::draw_screen_quad();
}

void brick_tunnel(float time_factor, float sine_factor) {
  using namespace gfx::uniform;
  const TunnelValues v = brick_tunnel_values(time_factor, sine_factor, inputs().clock);
  bind_scene_picture(GL_TEXTURE2, gfx::kTexBrick);
  gfx::glUseProgram(gfx::program(gfx::kTunnel));
  gfx::glUniform1i(tunnel_loc(kTunnelT), 2);
  gfx::glUniform1f(tunnel_loc(kTunnelTime), v.time);
  gfx::glUniform1f(tunnel_loc(kTunnelU), 0.25f);
  gfx::glUniform1f(tunnel_loc(kTunnelV), v.bend);
  gfx::draw_screen_quad();
}

void planes() {
  using namespace gfx::uniform;
  const PlanesValues v = planes_values(inputs().clock);
  auto loc = [](int place) { return gfx::uniform_location(gfx::kPlanes, place); };
  bind_scene_picture(GL_TEXTURE2, gfx::kTexBrick);
  gfx::glUseProgram(gfx::program(gfx::kPlanes));
  gfx::glUniform1i(loc(kPlanesT), 2);
  gfx::glUniform1f(loc(kPlanesTime), v.time);
  gfx::glUniform2f(loc(kPlanesC), v.cx, v.cy);
  gfx::draw_screen_quad();
}

void mandelbrot_zoom(double progress) {
  using namespace gfx::uniform;
  const ZoomValues v = mandelbrot_values(progress);
  auto loc = [](int place) { return gfx::uniform_location(gfx::kScreen, place); };
  bind_scene_picture(GL_TEXTURE4, gfx::kTexMandelbrot);
  gfx::glUseProgram(gfx::program(gfx::kScreen));
  gfx::glUniform2f(loc(kScreenTs), v.scale, v.scale);
  gfx::glUniform2f(loc(kScreenTb), v.bias_x, v.bias_y);
  gfx::glUniform1i(loc(kScreenT), 4);
  gfx::draw_screen_quad();
}

}  // namespace demo
