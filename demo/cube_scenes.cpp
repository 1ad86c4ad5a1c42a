#include "demo/cube_scenes.h"

#include "demo/cube_math.h"
#include "demo/state.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"

namespace demo {
namespace {

void clear_to_grey() {
  gfx::glClearColor(0.5f, 0.5f, 0.5f, 0.0f);
  gfx::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void draw_mesh_with_depth() {
  const gfx::MeshRecord& mesh = gfx::cube_mesh();
  gfx::glEnable(GL_DEPTH_TEST);
  gfx::glEnable(GL_CULL_FACE);
  gfx::glBindVertexArray(mesh.vertex_array);
  gfx::glDrawArrays(GL_TRIANGLES, 0, 3 * mesh.triangle_count);
  gfx::glDisable(GL_CULL_FACE);
  gfx::glDisable(GL_DEPTH_TEST);
}

}  // namespace

void lit_cube() {
  using namespace gfx::uniform;
  clear_to_grey();
  const CubeMatrices mats = cube_matrices(inputs().clock);
  gfx::glUseProgram(gfx::program(gfx::kCube));
  gfx::glUniformMatrix4fv(gfx::uniform_location(gfx::kCube, kCubeM), 1, GL_FALSE, mats.m.e);
  gfx::glUniformMatrix4fv(gfx::uniform_location(gfx::kCube, kCubeNm), 1, GL_FALSE, mats.nm.e);
  draw_mesh_with_depth();
}

void textured_cube() {
  using namespace gfx::uniform;
  clear_to_grey();
  const CubeMatrices mats = cube_matrices(inputs().clock);
  auto loc = [](int place) { return gfx::uniform_location(gfx::kTexturedCube, place); };
  gfx::glActiveTexture(GL_TEXTURE4);
  gfx::glBindTexture(GL_TEXTURE_2D, gfx::texture(gfx::kTexBrick));
  gfx::glUseProgram(gfx::program(gfx::kTexturedCube));
  gfx::glUniformMatrix4fv(loc(kTexCubeM), 1, GL_FALSE, mats.m.e);
  gfx::glUniformMatrix4fv(loc(kTexCubeNm), 1, GL_FALSE, mats.nm.e);
  gfx::glUniform1i(loc(kTexCubeT), 4);
  draw_mesh_with_depth();
}

}  // namespace demo
