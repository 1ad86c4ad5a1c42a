// The eight shader programs and their uniform locations. Programs are addressed by slot and
// uniforms by their place in the program's list; nothing is looked up by name after start-up.
#pragma once

#include "gfx/gl.h"

namespace gfx {

// Program slots, named by their fragment shader.
enum Program : int {
  kTunnel = 0,
  kProjector = 1,
  kMetaballs = 2,
  kCube = 3,
  kScreen = 4,
  kPlasma = 5,
  kTexturedCube = 6,
  kPlanes = 7,
  kProgramCount = 8,
};

// Uniform places per program, in lookup order.
namespace uniform {
enum Tunnel : int { kTunnelT, kTunnelTime, kTunnelC, kTunnelU, kTunnelV };
enum Projector : int {
  kProjT,
  kProjTs,
  kProjTb,
  kProjR,
  kProjF,
  kProjQs,
  kProjQb,
  kProjU,
  kProjUs,
  kProjUb
};
enum Metaballs : int { kMetaP, kMetaTime, kMetaQs, kMetaQb };
enum Cube : int { kCubeM, kCubeNm, kCubeTime };
enum Screen : int { kScreenT, kScreenTs, kScreenTb };
enum Plasma : int { kPlasmaTime, kPlasmaTs, kPlasmaTb, kPlasmaR };
enum TexturedCube : int { kTexCubeM, kTexCubeNm, kTexCubeT };
enum Planes : int { kPlanesT, kPlanesTime, kPlanesC };
}  // namespace uniform

// Builds the programs from shaders/ and looks up every uniform. On false the failing step
// has shown its message and no location was looked up.
bool set_up_programs();

GLuint program(Program slot);
// The location of uniform `place` of program `slot` (-1 when the name is not active).
GLint uniform_location(Program slot, int place);
// The uniform names of a program in lookup order, and how many there are.
const char* const* uniform_names(Program slot, int* count);

// Overrides a program name (tests that draw with fakes).
void set_program_for_test(Program slot, GLuint name);

}  // namespace gfx
