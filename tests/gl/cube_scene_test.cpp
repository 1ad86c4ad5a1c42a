// The cube scenes on real GL: the GL state during their one draw (for a single convex cube
// the pixels alone cannot tell whether depth testing and culling were on), the normals the
// cube vertex shader hands on, the bricks at 160 x 120, and the empty mesh's grey frame.
#include <gtest/gtest.h>
#include "platform/window.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "demo/cube_math.h"
#include "demo_show.h"
#include "gfx/shader_builder.h"

namespace {

using showtest::DemoShow;
using showtest::Rgba;

// ---- GL state at each draw ----

struct DrawState {
  GLenum mode = 0;
  GLboolean depth_test = 0, cull_face = 0, depth_writes = 0;
  GLint depth_func = 0, cull_mode = 0, front_face = 0, framebuffer = -1, depth_attachment = 0;
};

struct StateQueries {
  PFNGLISENABLEDPROC is_enabled = nullptr;
  PFNGLGETINTEGERVPROC get_integer = nullptr;
  PFNGLGETBOOLEANVPROC get_boolean = nullptr;
  PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC get_attachment = nullptr;
  gfx::glDrawArrays_fn draw = nullptr;  // the real one
  std::vector<DrawState> seen;
} g_queries;

void draw_and_note_state(GLenum mode, GLint first, GLsizei count) {
  StateQueries& q = g_queries;
  DrawState s;
  s.mode = mode;
  s.depth_test = q.is_enabled(GL_DEPTH_TEST);
  s.cull_face = q.is_enabled(GL_CULL_FACE);
  q.get_boolean(GL_DEPTH_WRITEMASK, &s.depth_writes);
  q.get_integer(GL_DEPTH_FUNC, &s.depth_func);
  q.get_integer(GL_CULL_FACE_MODE, &s.cull_mode);
  q.get_integer(GL_FRONT_FACE, &s.front_face);
  q.get_integer(GL_DRAW_FRAMEBUFFER_BINDING, &s.framebuffer);
  if (s.framebuffer != 0) {
    q.get_attachment(GL_DRAW_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                     GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &s.depth_attachment);
  }
  q.seen.push_back(s);
  q.draw(mode, first, count);
}

template <typename F>
F proc(const char* name) {
  return reinterpret_cast<F>(platform::gl_entry(name));
}

TEST_F(DemoShow, CubesDrawWithDepthTestAndCullingOnAndFlatScenesWithout) {
  use_show_mesh();
  start_show(320, 240);
  g_queries = StateQueries{};
  g_queries.is_enabled = proc<PFNGLISENABLEDPROC>("glIsEnabled");
  g_queries.get_integer = proc<PFNGLGETINTEGERVPROC>("glGetIntegerv");
  g_queries.get_boolean = proc<PFNGLGETBOOLEANVPROC>("glGetBooleanv");
  g_queries.get_attachment =
      proc<PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC>("glGetFramebufferAttachmentParameteriv");
  g_queries.draw = gfx::glDrawArrays;
  gfx::glDrawArrays = draw_and_note_state;
  for (double t : {70.0, 80.0, 90.5}) frame_at(t);  // lit cube, textured cube, brick tunnel
  gfx::glDrawArrays = g_queries.draw;

  int cube_draws = 0, quads = 0;
  for (const DrawState& s : g_queries.seen) {
    if (s.mode == GL_TRIANGLES) {
      ++cube_draws;
      EXPECT_TRUE(s.depth_test);
      EXPECT_TRUE(s.cull_face);
      EXPECT_TRUE(s.depth_writes);
      EXPECT_EQ(s.depth_func, GL_LESS);
      EXPECT_EQ(s.cull_mode, GL_BACK);
      EXPECT_EQ(s.front_face, GL_CCW);
      EXPECT_EQ(static_cast<GLuint>(s.framebuffer), gfx::film_framebuffer());
      EXPECT_EQ(s.depth_attachment, GL_TEXTURE) << "the film frame has its depth texture";
    } else {
      ++quads;  // composites and the flat scene: nothing left switched on
      EXPECT_FALSE(s.depth_test);
      EXPECT_FALSE(s.cull_face);
    }
  }
  EXPECT_EQ(cube_draws, 2);
  EXPECT_EQ(quads, 4);
}

// ---- normals ----

// Angle in degrees between two directions.
double angle(const double a[3], const double b[3]) {
  const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
  return std::acos(std::max(-1.0, std::min(1.0, dot / (la * lb)))) * 180 / M_PI;
}

TEST_F(DemoShow, CubeNormalsAreTrueNormalsOfTheStretchedCube) {
  // The cube's vertex shader with a fragment shader that writes the normal as a colour.
  std::ofstream(dir_ + "/normal.fs")
      << "#version 130\nin vec3 vNormal;\n"
         "void main() { gl_FragColor = vec4(normalize(vNormal) * 0.5 + 0.5, 1.0); }\n";
  start_show(320, 240);
  const GLuint fs = gfx::compile_shader("normal.fs", GL_FRAGMENT_SHADER);
  const GLuint vs = gfx::compile_shader("shaders/cube.vs", GL_VERTEX_SHADER);
  ASSERT_NE(fs, 0u);
  ASSERT_NE(vs, 0u);
  const GLuint program = gfx::glCreateProgram();
  gfx::glAttachShader(program, fs);
  gfx::glAttachShader(program, vs);
  ASSERT_TRUE(gfx::link_program(program));

  // Near theta = 23 pi the spin stretches most: the model-view matrix turns the faces'
  // normals up to 23 degrees away from the faces.
  const double t = 72.25;
  const demo::CubeMatrices mats = demo::cube_matrices(t);
  gfx::glBindFramebuffer(GL_FRAMEBUFFER, gfx::film_framebuffer());
  gfx::glViewport(0, 0, 160, 120);
  gfx::glClearColor(0, 0, 0, 0);
  gfx::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gfx::glUseProgram(program);
  gfx::glUniformMatrix4fv(gfx::glGetUniformLocation(program, "m"), 1, GL_FALSE, mats.m.e);
  gfx::glUniformMatrix4fv(gfx::glGetUniformLocation(program, "nm"), 1, GL_FALSE, mats.nm.e);
  gfx::glEnable(GL_DEPTH_TEST);
  gfx::glEnable(GL_CULL_FACE);
  gfx::glBindVertexArray(gfx::cube_mesh().vertex_array);
  gfx::glDrawArrays(GL_TRIANGLES, 0, 3 * gfx::cube_mesh().triangle_count);
  gfx::glDisable(GL_CULL_FACE);
  gfx::glDisable(GL_DEPTH_TEST);
  const Rgba f = film();

  // The true normal of each face is across two of its edges as the matrix moves them (the
  // matrix keeps handedness). Per face: its model normal, then two edge directions whose
  // cross product is that normal.
  const double faces[6][3][3] = {
      {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
      {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
      {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}};
  auto moved = [&](const double v[3], double out[3]) {
    for (int r = 0; r < 3; ++r)
      out[r] = mats.nm.at(r, 0) * v[0] + mats.nm.at(r, 1) * v[1] + mats.nm.at(r, 2) * v[2];
  };
  double truth[6][3], naive[6][3];
  double worst_naive = 0;
  for (int i = 0; i < 6; ++i) {
    double a[3], b[3];
    moved(faces[i][1], a);
    moved(faces[i][2], b);
    truth[i][0] = a[1] * b[2] - a[2] * b[1];
    truth[i][1] = a[2] * b[0] - a[0] * b[2];
    truth[i][2] = a[0] * b[1] - a[1] * b[0];
    moved(faces[i][0], naive[i]);
    if (truth[i][2] > 0) worst_naive = std::max(worst_naive, angle(truth[i], naive[i]));
  }
  ASSERT_GT(worst_naive, 15.0) << "the clock must be one where the stretch shows";

  int covered = 0;
  double worst = 0;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      const unsigned char* p = f.at(x, y);
      if (p[3] != 255) continue;
      ++covered;
      const double n[3] = {p[0] / 127.5 - 1, p[1] / 127.5 - 1, p[2] / 127.5 - 1};
      double nearest = 180;
      for (const auto& tn : truth) nearest = std::min(nearest, angle(n, tn));
      worst = std::max(worst, nearest);
    }
  }
  EXPECT_GT(covered, 1000);
  EXPECT_LT(worst, 2.0) << "a pixel's normal is no face's true normal";
}

// ---- bricks ----

// How far each value stands above the median of its neighbourhood (4 either side): the
// pale mortar against the bricks, whatever the brick's own shade.
std::vector<double> prominence(const std::vector<double>& v) {
  std::vector<double> out;
  for (int i = 0; i < static_cast<int>(v.size()); ++i) {
    std::vector<double> near;
    for (int k = std::max(0, i - 4); k <= std::min<int>(v.size() - 1, i + 4); ++k)
      near.push_back(v[k]);
    std::nth_element(near.begin(), near.begin() + near.size() / 2, near.end());
    out.push_back(v[i] - near[near.size() / 2]);
  }
  return out;
}

// Runs of consecutive indices whose value is above `level`: where each starts and its length.
std::vector<std::pair<int, int>> runs_above(const std::vector<double>& v, double level) {
  std::vector<std::pair<int, int>> runs;
  for (int i = 0; i < static_cast<int>(v.size()); ++i) {
    if (v[i] <= level) continue;
    if (!runs.empty() && runs.back().first + runs.back().second == i) {
      ++runs.back().second;
    } else {
      runs.push_back({i, 1});
    }
  }
  return runs;
}

// Mean brightness of the rows (or columns) of a box of the film.
std::vector<double> means(const Rgba& f, int x0, int x1, int y0, int y1, bool of_rows) {
  std::vector<double> out;
  for (int a = of_rows ? y0 : x0; a < (of_rows ? y1 : x1); ++a) {
    double sum = 0;
    for (int b = of_rows ? x0 : y0; b < (of_rows ? x1 : y1); ++b)
      sum += of_rows ? f.lum(b, a) : f.lum(a, b);
    out.push_back(sum / (of_rows ? x1 - x0 : y1 - y0));
  }
  return out;
}

TEST_F(DemoShow, TexturedCubeShowsCoursesOfBricksAt160By120) {
  use_show_mesh();
  start_show(320, 240);
  frame_at(26 * M_PI);  // 81.68 s: the spin is back at the start, one face square to the camera
  const Rgba f = film();
  // The face is about 40 pixels square about the film's centre; look at its inner 32 x 32.
  constexpr int kX0 = 64, kX1 = 96, kY0 = 44, kY1 = 76;
  // Mortar between courses: pale rows a course apart. Four courses a face put them 10
  // pixels apart; the whole picture on a face would make them 5 and lose half of them.
  const auto joints = runs_above(prominence(means(f, kX0, kX1, kY0, kY1, true)), 8.0);
  ASSERT_EQ(joints.size(), 3u) << "mortar lines between the courses";
  for (size_t i = 0; i + 1 < joints.size(); ++i) {
    EXPECT_NEAR(joints[i + 1].first - joints[i].first, 10, 1);
    EXPECT_LE(joints[i].second, 2);
  }
  // Within each course whole in view, the pale end joints of its bricks; the next course's
  // are offset by half a brick (10 pixels), as bricks are laid.
  std::vector<std::vector<std::pair<int, int>>> ends;
  for (size_t i = 0; i + 1 < joints.size(); ++i) {
    const int y0 = kY0 + joints[i].first + joints[i].second + 1;
    const int y1 = kY0 + joints[i + 1].first - 1;
    ends.push_back(runs_above(prominence(means(f, kX0, kX1, y0, y1, false)), 25.0));
    ASSERT_FALSE(ends.back().empty()) << "course " << i << " shows no brick end";
  }
  for (const auto& a : ends[0])
    for (const auto& b : ends[1]) EXPECT_GE(std::abs(a.first - b.first), 6);
}

// ---- empty mesh ----

TEST_F(DemoShow, EmptyMeshLeavesBothCubeFramesPlainGrey) {
  use_mesh("v 0 0 0\nvn 0 0 1\n");  // no faces: triangle count 0
  start_show(320, 240);
  ASSERT_EQ(gfx::cube_mesh().triangle_count, 0);
  for (double t : {70.0, 80.0}) {
    frame_at(t);
    const Rgba f = film();
    const unsigned char* first = f.at(0, 0);
    EXPECT_NEAR(first[0], 128, 1) << t;
    EXPECT_EQ(first[0], first[1]);
    EXPECT_EQ(first[0], first[2]);
    EXPECT_EQ(first[3], 0) << t;
    int differing = 0;
    for (size_t i = 0; i < f.px.size(); ++i) differing += f.px[i] != first[i % 4];
    EXPECT_EQ(differing, 0) << t;
  }
}

}  // namespace
