#include "demo/projector.h"

#include "demo/random.h"
#include "demo/state.h"
#include "gfx/film.h"
#include "gfx/programs.h"
#include "gfx/textures.h"

namespace demo {
namespace {

// Single-precision values used in double arithmetic, to the digits the show always used.
constexpr double kFrameFlickerSpan = 0.20000004768371582;   // float(1.1f - 0.9f)
constexpr double kFrameFlickerBase = 0.8999999761581421;    // float 0.9
constexpr double kAdvanceFlickerSpan = 0.3999999761581421;  // float(0.9f - 0.5f)
constexpr double kScratchSwayY = 0.20000000298023224;       // float 0.2
constexpr double kFilmJitter = 0.0024999999441206455;       // float 0.0025

struct ProjectorState {
  ProjectorParams params;
} g_projector;

double aspect_scale_signed(double aspect, double sign) { return aspect * 0.5 * 3 * 0.25 * sign; }

}  // namespace

float aspect_scale(double aspect) { return static_cast<float>(aspect_scale_signed(aspect, 1.0)); }

double frame_flicker(uint32_t& random_state) {
  const double u = unit_draw(random_state);
  return static_cast<float>(u * kFrameFlickerSpan + kFrameFlickerBase);
}

AdvanceValues advance_values(uint32_t& random_state, platform::CrtRand& library, double aspect) {
  AdvanceValues v;
  const double u = unit_draw(random_state);
  v.flicker = static_cast<float>(u * kAdvanceFlickerSpan + 0.5);
  v.scratch_slot = gfx::kTexScratch0 + library.next() % 4;
  v.us.x = static_cast<float>(aspect_scale_signed(aspect, (library.next() & 1) ? -1.0 : 1.0));
  v.us.y = (library.next() & 1) ? -0.5f : 0.5f;
  const double w0 = signed_draw(random_state);
  v.ub.x = static_cast<float>(w0 * 0.2 * 3 * 0.25 + 0.5);
  const double w1 = signed_draw(random_state);
  v.ub.y = static_cast<float>(w1 * kScratchSwayY + 0.5);
  const double w2 = signed_draw(random_state);
  v.qb.x = static_cast<float>(w2 * kFilmJitter / aspect + 0.5);
  const double w3 = signed_draw(random_state);
  v.qb.y = static_cast<float>(w3 * kFilmJitter + 0.5);
  v.qs = {aspect_scale(aspect), -0.5f};
  return v;
}

double advance_randomisation() {
  const AdvanceValues v =
      advance_values(demo_random_state(), platform::library_rand(), inputs().aspect);
  ProjectorParams& p = g_projector.params;
  p.scratch_texture = gfx::texture(v.scratch_slot);
  p.us = v.us;
  p.ub = v.ub;
  p.qs = v.qs;
  p.qb = v.qb;
  return v.flicker;
}

const ProjectorParams& projector_params() { return g_projector.params; }

void set_film_mapping(Vec2 qs, Vec2 qb) {
  g_projector.params.qs = qs;
  g_projector.params.qb = qb;
}

void reset_projector() { g_projector = ProjectorState{}; }

void composite(GLuint still, double flicker) {
  using namespace gfx::uniform;
  const ProjectorParams& p = g_projector.params;
  const float a = aspect_scale(inputs().aspect);
  auto loc = [](int place) { return gfx::uniform_location(gfx::kProjector, place); };

  gfx::glActiveTexture(GL_TEXTURE0);
  gfx::glBindTexture(GL_TEXTURE_2D, gfx::texture(gfx::kTexFrame));
  gfx::glActiveTexture(GL_TEXTURE1);
  gfx::glBindTexture(GL_TEXTURE_2D, still != 0 ? still : gfx::film_color_texture());
  gfx::glActiveTexture(GL_TEXTURE2);
  gfx::glBindTexture(GL_TEXTURE_2D, p.scratch_texture);
  gfx::glUseProgram(gfx::program(gfx::kProjector));
  gfx::glUniform1i(loc(kProjT), 0);
  gfx::glUniform1i(loc(kProjF), 1);
  gfx::glUniform1i(loc(kProjU), 2);
  gfx::glUniform2f(loc(kProjTs), a, 0.5f);
  gfx::glUniform2f(loc(kProjTb), 0.5f, 0.5f);
  gfx::glUniform2f(loc(kProjQs), p.qs.x, p.qs.y);
  gfx::glUniform2f(loc(kProjQb), p.qb.x, p.qb.y);
  gfx::glUniform2f(loc(kProjUs), p.us.x, p.us.y);
  gfx::glUniform2f(loc(kProjUb), p.ub.x, p.ub.y);
  gfx::glUniform1f(loc(kProjR), static_cast<float>(flicker));
  gfx::draw_screen_quad();
}

}  // namespace demo
