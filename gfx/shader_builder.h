// Compiles the shader files under shaders/ and links the programs from the link table.
#pragma once

#include <cstdint>

#include "gfx/gl.h"

namespace gfx {

// Compiles `count_fs` fragment, `count_vs` vertex and `count_gs` geometry shaders from the
// stem lists, then links one program per link-table entry into programs[slot]. Stops at the
// first failure (after showing its box) and returns false.
bool build_programs(uint32_t count_fs, uint32_t count_vs, uint32_t count_gs, GLuint* programs);

// Compiles one shader file: its name, or 0 after the user was told.
GLuint compile_shader(const char* path, GLenum type);

// Binds the four attribute names and links: false after the user was told.
bool link_program(GLuint program);

}  // namespace gfx
