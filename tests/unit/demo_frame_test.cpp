// The demo frame against recording GL fakes: what each display frame, advance, scene and
// the composite send to GL, in order and with their values. Programs and textures are set
// up through the fakes from the repository's data directory, so every program, texture and
// uniform location has its own number.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "demo/cube_scenes.h"
#include "demo/demo.h"
#include "demo/intertitles.h"
#include "demo/projector.h"
#include "demo/random.h"
#include "demo/state.h"
#include "demo/timeline.h"
#include "demo_setup.h"
#include "gfx/film.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "gl_recorder.h"
#include "platform/crt_rand.h"
#include "platform/events.h"
#include "platform/quit.h"

namespace {

using Strings = std::vector<std::string>;

std::string f(float v) { return gltest::format_arg(v); }
std::string n(long v) { return std::to_string(v); }
GLint loc(gfx::Program p, int place) { return gfx::uniform_location(p, place); }
std::string tex(int slot) { return n(gfx::texture(slot)); }

bool g_escape = false;  // what the platform tells the next frame

constexpr int kMeshArray = gltest::kFakeMeshArray;

class DemoFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gltest::set_up_demo(640, 480));
    g_escape = false;
    // The generators as the show will find them, for expected values.
    random_ = kDemoSeedForTests;
    library_ = platform::library_rand();
    gltest::calls().clear();
  }
  void TearDown() override { platform::reset_quit(); }

  void frame_at(double t) {
    demo::set_frame_clock(t);
    demo::frame(g_escape);
  }
  Strings frame_calls(double t) {
    gltest::calls().clear();
    frame_at(t);
    return gltest::call_strings();
  }

  // What the slot drew: the calls between the film frame's viewport and the unbind.
  static Strings scene_part(const Strings& calls) {
    Strings out;
    bool in = false;
    for (const std::string& c : calls) {
      if (c == "glBindFramebuffer(36160, 0)") break;
      if (in) out.push_back(c);
      if (c == "glViewport(0, 0, 160, 120)") in = true;
    }
    return out;
  }

  static Strings composite(const std::string& film, const std::string& scratch,
                           const demo::Vec2& qs, const demo::Vec2& qb, const demo::Vec2& us,
                           const demo::Vec2& ub, float r) {
    using namespace gfx::uniform;
    const gfx::Program p = gfx::kProjector;
    auto u2 = [&](int place, demo::Vec2 v) {
      return "glUniform2f(" + n(loc(p, place)) + ", " + f(v.x) + ", " + f(v.y) + ")";
    };
    return {"glActiveTexture(33984)",
            "glBindTexture(3553, " + tex(gfx::kTexFrame) + ")",
            "glActiveTexture(33985)",
            "glBindTexture(3553, " + film + ")",
            "glActiveTexture(33986)",
            "glBindTexture(3553, " + scratch + ")",
            "glUseProgram(" + n(gfx::program(p)) + ")",
            "glUniform1i(" + n(loc(p, kProjT)) + ", 0)",
            "glUniform1i(" + n(loc(p, kProjF)) + ", 1)",
            "glUniform1i(" + n(loc(p, kProjU)) + ", 2)",
            u2(kProjTs, {0.5f, 0.5f}),
            u2(kProjTb, {0.5f, 0.5f}),
            u2(kProjQs, qs),
            u2(kProjQb, qb),
            u2(kProjUs, us),
            u2(kProjUb, ub),
            "glUniform1f(" + n(loc(p, kProjR)) + ", " + f(r) + ")",
            "glBindVertexArray(" + n(gfx::screen_quad_vertex_array()) + ")",
            "glDrawArrays(5, 0, 4)"};
  }
  // What the composite bound on texture unit 1: the film frame or the still picture.
  static std::string unit1(const Strings& calls) {
    for (size_t i = 0; i + 1 < calls.size(); ++i)
      if (calls[i] == "glActiveTexture(33985)") return calls[i + 1];
    return "none";
  }
  float r_of(const Strings& calls) const {
    const std::string prefix =
        "glUniform1f(" + n(loc(gfx::kProjector, gfx::uniform::kProjR)) + ", ";
    for (const std::string& c : calls)
      if (c.rfind(prefix, 0) == 0) return std::stof(c.substr(prefix.size()));
    ADD_FAILURE() << "no r uploaded";
    return -1;
  }

  static constexpr uint32_t kDemoSeedForTests = 453946;
  uint32_t random_ = 0;
  platform::CrtRand library_;
};

TEST_F(DemoFrame, FirstFrameOnlyCompositesTheUntouchedFilmAtZeroBrightness) {
  const Strings calls = frame_calls(0.0);
  EXPECT_EQ(calls, composite(n(gfx::film_color_texture()), "0", {}, {}, {}, {}, 0.0f));
  EXPECT_EQ(demo::demo_random_state(), kDemoSeedForTests * demo::kDemoRandomMultiplier);
}

TEST_F(DemoFrame, FirstAdvanceIsTheWhiteFrameFadingIn) {
  frame_at(0.0);
  demo::frame_flicker(random_);
  const Strings calls = frame_calls(1.0 / 16);
  demo::frame_flicker(random_);
  const demo::AdvanceValues v = demo::advance_values(random_, library_, 4.0 / 3.0);
  const double g = std::sqrt(1 - (1.0 / 16 - 2) * 0.25 * (1.0 / 16 - 2));
  Strings expected = {"glBindFramebuffer(36160, " + n(gfx::film_framebuffer()) + ")",
                      "glViewport(0, 0, 160, 120)",
                      "glClearColor(1, 1, 1, 0)",
                      "glClear(16384)",
                      "glBindFramebuffer(36160, 0)",
                      "glViewport(0, 0, 640, 480)"};
  const Strings comp = composite(n(gfx::film_color_texture()), tex(v.scratch_slot), v.qs, v.qb,
                                 v.us, v.ub, static_cast<float>(v.flicker * g));
  expected.insert(expected.end(), comp.begin(), comp.end());
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(demo::demo_random_state(), random_);
  EXPECT_EQ(platform::library_rand().state, library_.state);
}

TEST_F(DemoFrame, BetweenAdvancesOnlyTheLampChanges) {
  frame_at(5.0);  // slot 3, an advance
  const demo::ProjectorParams p = demo::projector_params();
  for (double t : {5.01, 5.02, 5.03}) {
    const uint32_t before = demo::demo_random_state();
    const Strings calls = frame_calls(t);
    uint32_t s = before;
    const float d = static_cast<float>(demo::frame_flicker(s));
    EXPECT_EQ(calls,
              composite(tex(gfx::kTexPresent), n(p.scratch_texture), p.qs, p.qb, p.us, p.ub, d));
    EXPECT_EQ(demo::demo_random_state(), s) << "one draw per display frame";
  }
}

TEST_F(DemoFrame, StillSlotsShowTheirPictures) {
  const struct {
    double t;
    int slot;
  } stills[] = {{4.0, gfx::kTexPresent},    {9.0, gfx::kTexTitle},      {14.0, gfx::kTexVantrope},
                {19.0, gfx::kTexPlemk},     {24.0, gfx::kTexMus},       {29.0, gfx::kTexDefinition},
                {44.0, gfx::kTexDorlz},     {54.0, gfx::kTexDumDeeDum}, {64.0, gfx::kTexDorlz},
                {74.0, gfx::kTexGazillion}, {84.0, gfx::kTexLookCube},  {94.0, gfx::kTexMath},
                {104.0, gfx::kTexTMandel},  {114.0, gfx::kTexGreets1},  {119.0, gfx::kTexGreets2},
                {124.0, gfx::kTexTheEnd}};
  for (const auto& s : stills) {
    const Strings calls = frame_calls(s.t);
    EXPECT_TRUE(scene_part(calls).empty()) << s.t;  // nothing drawn into the film frame
    EXPECT_EQ(unit1(calls), "glBindTexture(3553, " + tex(s.slot) + ")") << s.t;
    // The next display frame of the slot keeps the picture.
    EXPECT_EQ(unit1(frame_calls(s.t + 0.01)), "glBindTexture(3553, " + tex(s.slot) + ")") << s.t;
  }
  // A scene slot shows the film frame again.
  EXPECT_EQ(unit1(frame_calls(34.0)), "glBindTexture(3553, " + n(gfx::film_color_texture()) + ")");
}

TEST_F(DemoFrame, WritingStripPlaysOneBandPerFilmFrameWithoutJitter) {
  for (int index = 32; index < 64; ++index) {
    const Strings calls = frame_calls(index / 16.0);
    const demo::ProjectorParams& p = demo::projector_params();
    EXPECT_EQ(demo::roll_start(), 32);
    EXPECT_EQ(p.qs.x, 0.5f);
    EXPECT_EQ(p.qs.y, -0.015625f);
    EXPECT_EQ(p.qb.x, 0.5f);
    EXPECT_EQ(p.qb.y, 0.015625f + 0.03125f * (index - 32));
    EXPECT_NE(p.us.x, 0.0f);  // the scratches of the advance stay
    EXPECT_NE(p.ub.y, 0.5f);
    EXPECT_EQ(unit1(calls), "glBindTexture(3553, " + tex(gfx::kTexFilmWriting) + ")");
  }
  frame_at(4.0);  // slot 3 brings back the jittered film mapping
  EXPECT_EQ(demo::projector_params().qs.y, -0.5f);
  EXPECT_NEAR(demo::projector_params().qb.y, 0.5, 0.0025 + 1e-7);
  EXPECT_EQ(demo::roll_start(), 32);
}

TEST_F(DemoFrame, LateWritingStripStartsAtItsFirstIndex) {
  frame_at(1.9);
  frame_at(2.07);  // index 33
  EXPECT_EQ(demo::roll_start(), 33);
  EXPECT_EQ(demo::projector_params().qb.y, 0.015625f);
  frame_at(3.99);  // index 63: band 30, the last this run shows
  EXPECT_EQ(demo::projector_params().qb.y, 0.953125f);
}

TEST_F(DemoFrame, TenFramesASecondAdvanceEveryFrame) {
  frame_at(0.0);
  int frames = 0, advances = 0;
  const std::string bind = "glBindFramebuffer(36160, " + n(gfx::film_framebuffer()) + ")";
  for (int k = 1; k < 1290; ++k) {
    const Strings calls = frame_calls(k * 0.1);
    ++frames;
    for (const std::string& c : calls) advances += c == bind;
  }
  EXPECT_EQ(advances, frames);
}

TEST_F(DemoFrame, FadeOutStepsTheIndexDownAndDims) {
  frame_at(128.99);
  frame_at(129.0005);
  EXPECT_EQ(demo::film_frame_index(), 2079);
  std::vector<int> indices = {2079};
  for (double t = 129.001; t <= 131.0; t += 0.001) {
    const Strings calls = frame_calls(t);
    const float r = r_of(calls);
    const double phi = std::sqrt(1 - (t - 129) * 0.25 * (t - 129));
    ASSERT_LE(r, 1.1 * phi + 1e-6) << t;
    if (indices.back() != demo::film_frame_index()) {
      indices.push_back(demo::film_frame_index());
      ASSERT_EQ(calls[2], "glClearColor(1, 1, 1, 0)") << t;  // slot 28: white
    }
  }
  EXPECT_EQ(indices.front(), 2079);
  EXPECT_EQ(indices.back(), 2064);
}

TEST_F(DemoFrame, FadesScaleTheLampExactlyOnEveryFrame) {
  // r is d * g (fade-in) or d * phi (fade-out), rounded once, with d the frame's flicker or,
  // on an advance, the advance's new one: checked bit for bit on advances and between them.
  auto fade = [](double t) {
    if (t >= 129) return std::sqrt(1 - (t - 129) * 0.25 * (t - 129));
    return t < 2 ? std::sqrt(1 - (t - 2) * 0.25 * (t - 2)) : 1.0;
  };
  int advances = 0, steady = 0;
  auto check = [&](double t) {
    uint32_t s = demo::demo_random_state();
    platform::CrtRand lib = platform::library_rand();
    const int before = demo::film_frame_index();
    double d = demo::frame_flicker(s);
    const Strings calls = frame_calls(t);
    const bool advanced = demo::film_frame_index() != before;
    if (advanced) d = demo::advance_values(s, lib, 4.0 / 3.0).flicker;
    (advanced ? advances : steady)++;
    EXPECT_EQ(r_of(calls), static_cast<float>(d * fade(t))) << t;
  };
  for (double t = 0.0; t < 2.2; t += 0.013) check(t);
  frame_at(128.99);
  for (double t = 129.0; t <= 131.0; t += 0.0071) check(t);
  EXPECT_GT(advances, 40);
  EXPECT_GT(steady, 200);
}

TEST_F(DemoFrame, PastTheEndQuitsAndStillCompositesWithTheLampOut) {
  frame_at(130.9);
  int code = -1;
  EXPECT_FALSE(platform::take_quit(&code));
  for (double t : {131.02, 131.04, 131.06}) {
    const Strings calls = frame_calls(t);
    EXPECT_TRUE(scene_part(calls).empty());
    const float r = r_of(calls);
    if (t < 131.03) {
      // The advance that finds no slot: its new flicker value, unfaded.
      EXPECT_GE(r, 0.5f);
      EXPECT_LT(r, 0.9f);
    } else {
      EXPECT_EQ(r, 0.0f) << t;  // no fade-out value: the lamp is out, never NaN
    }
    EXPECT_EQ(calls.back(), "glDrawArrays(5, 0, 4)");
    EXPECT_EQ(demo::film_frame_index(), 0);
  }
  EXPECT_TRUE(platform::take_quit(&code));
  EXPECT_EQ(code, 0);
}

TEST_F(DemoFrame, ClockPastTheEndBeforeTheFirstAdvanceStillEndsTheShow) {
  // A process stopped in its first 62 ms and resumed after 131 s: the index is still 0, so
  // no frame ever advances into the fall-through.
  frame_at(0.01);
  int code = -1;
  EXPECT_FALSE(platform::take_quit(&code));
  const Strings calls = frame_calls(200.0);
  EXPECT_EQ(demo::film_frame_index(), 0);
  EXPECT_TRUE(scene_part(calls).empty());
  EXPECT_EQ(std::count(calls.begin(), calls.end(),
                       "glBindFramebuffer(36160, " + n(gfx::film_framebuffer()) + ")"),
            0);  // no advance
  EXPECT_EQ(r_of(calls), 0.0f);
  EXPECT_EQ(calls.back(), "glDrawArrays(5, 0, 4)");  // the frame still composites
  ASSERT_TRUE(platform::take_quit(&code));
  EXPECT_EQ(code, 0);
  // So does the pass the main loop runs after taking it.
  frame_at(200.01);
  EXPECT_TRUE(platform::take_quit(&code));
}

TEST_F(DemoFrame, EscapeQuitsButTheFrameGoesOn) {
  g_escape = true;
  const Strings calls = frame_calls(36.0);
  int code = -1;
  EXPECT_TRUE(platform::take_quit(&code));
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(scene_part(calls).empty());
  EXPECT_EQ(calls.back(), "glDrawArrays(5, 0, 4)");
}

TEST_F(DemoFrame, FlatScenesDrawOneQuadWithTheirUniforms) {
  using namespace gfx::uniform;
  const std::string quad = "glBindVertexArray(" + n(gfx::screen_quad_vertex_array()) + ")";
  const std::string draw = "glDrawArrays(5, 0, 4)";
  const std::string tunnel = n(gfx::program(gfx::kTunnel));
  auto u1f = [](gfx::Program p, int place, float v) {
    return "glUniform1f(" + n(loc(p, place)) + ", " + f(v) + ")";
  };
  EXPECT_EQ(
      scene_part(frame_calls(36.0)),
      (Strings{
          "glActiveTexture(33986)", "glBindTexture(3553, " + tex(gfx::kTexStars) + ")",
          "glUseProgram(" + tunnel + ")", "glUniform1i(" + n(loc(gfx::kTunnel, kTunnelT)) + ", 2)",
          u1f(gfx::kTunnel, kTunnelTime, 36.0f), u1f(gfx::kTunnel, kTunnelU, 0.0f), quad, draw}));
  EXPECT_EQ(scene_part(frame_calls(40.0)),
            (Strings{"glActiveTexture(33986)", "glBindTexture(3553, " + tex(gfx::kTexBrick) + ")",
                     "glUseProgram(" + n(gfx::program(gfx::kPlanes)) + ")",
                     "glUniform1i(" + n(loc(gfx::kPlanes, kPlanesT)) + ", 2)",
                     u1f(gfx::kPlanes, kPlanesTime, 40.0f),
                     "glUniform2f(" + n(loc(gfx::kPlanes, kPlanesC)) + ", " +
                         f(static_cast<float>(std::cos(40.0))) + ", " +
                         f(static_cast<float>(0.25 * std::sin(40.0))) + ")",
                     quad, draw}));
  EXPECT_EQ(scene_part(frame_calls(50.5)),
            (Strings{"glActiveTexture(33986)", "glBindTexture(3553, " + tex(gfx::kTexBrick) + ")",
                     "glUseProgram(" + tunnel + ")",
                     "glUniform1i(" + n(loc(gfx::kTunnel, kTunnelT)) + ", 2)",
                     u1f(gfx::kTunnel, kTunnelTime, 50.5f), u1f(gfx::kTunnel, kTunnelU, 0.25f),
                     u1f(gfx::kTunnel, kTunnelV, 0.0f), quad, draw}));
  EXPECT_EQ(
      scene_part(frame_calls(90.5)),
      (Strings{"glActiveTexture(33986)", "glBindTexture(3553, " + tex(gfx::kTexBrick) + ")",
               "glUseProgram(" + tunnel + ")",
               "glUniform1i(" + n(loc(gfx::kTunnel, kTunnelT)) + ", 2)",
               u1f(gfx::kTunnel, kTunnelTime, -181.0f), u1f(gfx::kTunnel, kTunnelU, 0.25f),
               u1f(gfx::kTunnel, kTunnelV, static_cast<float>(std::sin(181.0))), quad, draw}));
  // Progress (101.25 - 99) / 5 = 0.45.
  const double q = std::sqrt(0.45);
  const float s = static_cast<float>((1 - q) * 0.5 + q * 0.08);
  EXPECT_EQ(
      scene_part(frame_calls(101.25)),
      (Strings{"glActiveTexture(33988)", "glBindTexture(3553, " + tex(gfx::kTexMandelbrot) + ")",
               "glUseProgram(" + n(gfx::program(gfx::kScreen)) + ")",
               "glUniform2f(" + n(loc(gfx::kScreen, kScreenTs)) + ", " + f(s) + ", " + f(s) + ")",
               "glUniform2f(" + n(loc(gfx::kScreen, kScreenTb)) + ", 0.5, " +
                   f(static_cast<float>(q * 0.25 + 0.5)) + ")",
               "glUniform1i(" + n(loc(gfx::kScreen, kScreenT)) + ", 4)", quad, draw}));
}

TEST_F(DemoFrame, MetaballsUploadSixteenPositionsAndTheFieldConstant) {
  using namespace gfx::uniform;
  for (double t : {60.03, 110.5}) {
    const Strings calls = scene_part(frame_calls(t));
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[0], "glUseProgram(" + n(gfx::program(gfx::kMetaballs)) + ")");
    EXPECT_EQ(calls[1], "glUniform1f(" + n(loc(gfx::kMetaballs, kMetaTime)) + ", 70)");
    const gltest::Call* upload = nullptr;
    for (const gltest::Call& c : gltest::calls())
      if (c.name == "glUniform2fv") upload = &c;
    ASSERT_NE(upload, nullptr);
    ASSERT_EQ(upload->args.size(), 2u + 32u);
    EXPECT_EQ(upload->args[0], n(loc(gfx::kMetaballs, kMetaP)));
    EXPECT_EQ(upload->args[1], "16");
    const float* table = demo::ball_table();
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(upload->args[2 + 2 * i],
                f(static_cast<float>(std::cos(static_cast<double>(table[4 * i]) + t) *
                                     table[4 * i + 1])));
      EXPECT_EQ(upload->args[3 + 2 * i],
                f(static_cast<float>(std::sin(static_cast<double>(table[4 * i + 2]) + t) *
                                     table[4 * i + 3])));
    }
    EXPECT_EQ(calls[3], "glUniform2f(" + n(loc(gfx::kMetaballs, kMetaQs)) + ", 1.33333337, 1)");
    EXPECT_EQ(calls[4], "glUniform2f(" + n(loc(gfx::kMetaballs, kMetaQb)) + ", 0, 0)");
    EXPECT_EQ(calls[5], "glBindVertexArray(" + n(gfx::screen_quad_vertex_array()) + ")");
    EXPECT_EQ(calls[6], "glDrawArrays(5, 0, 4)");
  }
}

TEST_F(DemoFrame, CubeScenesDrawWithDepthAndCullingAroundTheirOneDraw) {
  using namespace gfx::uniform;
  const Strings lit = scene_part(frame_calls(69.0));
  const Strings textured = scene_part(frame_calls(79.0));
  const std::string cube = n(gfx::program(gfx::kCube));
  ASSERT_EQ(lit.size(), 11u);
  EXPECT_EQ(
      Strings(lit.begin(), lit.begin() + 3),
      (Strings{"glClearColor(0.5, 0.5, 0.5, 0)", "glClear(16640)", "glUseProgram(" + cube + ")"}));
  EXPECT_EQ(lit[3].rfind("glUniformMatrix4fv(" + n(loc(gfx::kCube, kCubeM)) + ", 1, 0, ", 0), 0u);
  EXPECT_EQ(lit[4].rfind("glUniformMatrix4fv(" + n(loc(gfx::kCube, kCubeNm)) + ", 1, 0, ", 0), 0u);
  const Strings depth_draw = {
      "glEnable(2929)",         "glEnable(2884)",  "glBindVertexArray(" + n(kMeshArray) + ")",
      "glDrawArrays(4, 0, 36)", "glDisable(2884)", "glDisable(2929)"};
  EXPECT_EQ(Strings(lit.begin() + 5, lit.begin() + 11), depth_draw);

  ASSERT_EQ(textured.size(), 14u);
  EXPECT_EQ(Strings(textured.begin(), textured.begin() + 5),
            (Strings{"glClearColor(0.5, 0.5, 0.5, 0)", "glClear(16640)", "glActiveTexture(33988)",
                     "glBindTexture(3553, " + tex(gfx::kTexBrick) + ")",
                     "glUseProgram(" + n(gfx::program(gfx::kTexturedCube)) + ")"}));
  EXPECT_EQ(textured[7], "glUniform1i(" + n(loc(gfx::kTexturedCube, kTexCubeT)) + ", 4)");
  EXPECT_EQ(Strings(textured.begin() + 8, textured.end()), depth_draw);
}

TEST_F(DemoFrame, BothCubeScenesUploadBitIdenticalMatrices) {
  auto matrices = [](void (*scene)()) {
    gltest::calls().clear();
    scene();
    std::vector<std::vector<std::string>> out;
    for (const gltest::Call& c : gltest::calls())
      if (c.name == "glUniformMatrix4fv") out.emplace_back(c.args.begin() + 1, c.args.end());
    return out;
  };
  for (double t : {69.0, 71.37, 83.9}) {
    demo::set_frame_clock(t);
    const auto lit = matrices(&demo::lit_cube);
    const auto textured = matrices(&demo::textured_cube);
    ASSERT_EQ(lit.size(), 2u);
    EXPECT_EQ(lit, textured) << t;
  }
}

// Seeking captures run frames without drawing: every draw, advance, still picture, strip
// mapping and quit must happen exactly as in a drawing run, with no GL call at all; a
// film-only frame renders the scene but not the screen.
TEST_F(DemoFrame, FramesWithoutDrawingKeepEveryRandomDrawAndTheQuit) {
  struct Snapshot {
    uint32_t random, library;
    int index;
    GLuint still;
    demo::ProjectorParams params;
    bool quit;
  };
  auto run = [&](demo::Drawing drawing, size_t* gl_calls) {
    demo::reset_show_for_test();
    platform::library_rand().state = 1;
    demo::fill_ball_tables();
    platform::reset_quit();
    std::vector<Snapshot> out;
    *gl_calls = 0;
    // 10 fps: every display frame an advance, through every slot kind and past the end.
    for (int k = 0; k <= 1312; ++k) {
      gltest::calls().clear();
      demo::set_drawing(drawing);
      frame_at(k / 10.0);
      *gl_calls += gltest::calls().size();
      const demo::ProjectorParams& p = demo::projector_params();
      out.push_back({demo::demo_random_state(), platform::library_rand().state,
                     demo::film_frame_index(), demo::still_picture(), p,
                     platform::take_quit(nullptr)});
    }
    demo::set_drawing(demo::Drawing::kAll);
    return out;
  };
  size_t all_calls = 0, no_calls = 0;
  const std::vector<Snapshot> drawn = run(demo::Drawing::kAll, &all_calls);
  const std::vector<Snapshot> logic = run(demo::Drawing::kNone, &no_calls);
  EXPECT_GT(all_calls, 0u);
  EXPECT_EQ(no_calls, 0u);
  ASSERT_EQ(drawn.size(), logic.size());
  int quits = 0;
  for (size_t k = 0; k < drawn.size(); ++k) {
    const Snapshot& a = drawn[k];
    const Snapshot& b = logic[k];
    ASSERT_EQ(a.random, b.random) << k;
    ASSERT_EQ(a.library, b.library) << k;
    ASSERT_EQ(a.index, b.index) << k;
    ASSERT_EQ(a.still, b.still) << k;
    ASSERT_EQ(a.params.scratch_texture, b.params.scratch_texture) << k;
    ASSERT_EQ(a.params.qb.y, b.params.qb.y) << k;  // the writing strip's band, among others
    ASSERT_EQ(a.params.ub.x, b.params.ub.x) << k;
    ASSERT_EQ(a.quit, b.quit) << k;
    quits += a.quit;
  }
  EXPECT_EQ(quits, 2);  // 131.1 s and 131.2 s: every frame past the end posts it
  EXPECT_TRUE(drawn[1311].quit && drawn[1312].quit);

  // Film only: the scene between the framebuffer binds, and no composite.
  demo::reset_show_for_test();
  frame_at(60.0);  // jumps straight to the metaballs
  demo::set_drawing(demo::Drawing::kFilmOnly);
  const Strings film_only = frame_calls(61.0);
  demo::set_drawing(demo::Drawing::kAll);
  ASSERT_FALSE(film_only.empty());
  EXPECT_EQ(film_only.front(), "glBindFramebuffer(36160, " + n(gfx::film_framebuffer()) + ")");
  EXPECT_EQ(film_only.back(), "glViewport(0, 0, 640, 480)");
  EXPECT_FALSE(scene_part(film_only).empty());
  EXPECT_EQ(unit1(film_only), "none");
}

}  // namespace
