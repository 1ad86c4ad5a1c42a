#include "gfx/programs.h"

#include "gfx/shader_builder.h"

namespace gfx {
namespace {

const char* const kTunnelNames[] = {"T", "t", "c", "u", "v"};
const char* const kProjectorNames[] = {"T", "ts", "tb", "r", "F", "qs", "qb", "U", "us", "ub"};
const char* const kMetaballsNames[] = {"p", "t", "qs", "qb"};
const char* const kCubeNames[] = {"m", "nm", "t"};
const char* const kScreenNames[] = {"T", "ts", "tb"};
const char* const kPlasmaNames[] = {"t", "ts", "tb", "r"};
const char* const kTexturedCubeNames[] = {"m", "nm", "T"};
const char* const kPlanesNames[] = {"T", "t", "c"};

struct UniformList {
  const char* const* names;
  int count;
};
#define QUORL_LIST(a) \
  { a, static_cast<int>(sizeof a / sizeof a[0]) }
const UniformList kUniformLists[kProgramCount] = {
    QUORL_LIST(kTunnelNames),       QUORL_LIST(kProjectorNames), QUORL_LIST(kMetaballsNames),
    QUORL_LIST(kCubeNames),         QUORL_LIST(kScreenNames),    QUORL_LIST(kPlasmaNames),
    QUORL_LIST(kTexturedCubeNames), QUORL_LIST(kPlanesNames),
};
#undef QUORL_LIST

constexpr int kMaxUniforms = 10;

struct ProgramState {
  GLuint programs[kProgramCount] = {};
  GLint locations[kProgramCount][kMaxUniforms] = {};
} g_programs;

}  // namespace

bool set_up_programs() {
  if (!build_programs(8, 3, 0, g_programs.programs)) return false;
  for (int slot = 0; slot < kProgramCount; ++slot) {
    const UniformList& list = kUniformLists[slot];
    for (int i = 0; i < list.count; ++i) {
      g_programs.locations[slot][i] =
          glGetUniformLocation(g_programs.programs[slot], list.names[i]);
    }
  }
  return true;
}

GLuint program(Program slot) { return g_programs.programs[slot]; }

GLint uniform_location(Program slot, int place) { return g_programs.locations[slot][place]; }

const char* const* uniform_names(Program slot, int* count) {
  if (count) *count = kUniformLists[slot].count;
  return kUniformLists[slot].names;
}

void set_program_for_test(Program slot, GLuint name) { g_programs.programs[slot] = name; }

}  // namespace gfx
