// The shader files in the dialect a browser compiles. WebGL 2 takes GLSL ES 3.00 only; the
// files under shaders/ are GLSL 1.30 and stay the one source for both builds, so the web
// build rewrites each file as it is read.
#pragma once

#include <cstddef>
#include <string>

namespace gfx {

// The colour output a rewritten fragment shader declares in place of gl_FragColor.
constexpr const char* kEsColorOutput = "quorl_FragColor";

// Rewrites a GLSL 1.30 shader of `length` bytes for GLSL ES 3.00:
// - its "#version" line becomes "#version 300 es", followed by default precisions (highp
//   float and int: a fragment shader has no default float precision, and the uniforms a
//   vertex and a fragment shader share must agree on theirs);
// - in a fragment shader, every gl_FragColor token becomes kEsColorOutput, declared as
//   the shader's one output (ES 3.00 has no built-in colour output);
// - a "#line" directive after the inserted lines keeps the file's line numbers in the
//   compiler's messages.
// The language itself (in/out, texture(), flat, unsigned integers) is common to both. A
// source with no "#version" line at the start (blank lines and comments may come before)
// is returned unchanged: the compiler then says what is wrong with it.
std::string shader_to_es(const char* source, size_t length, bool fragment);

}  // namespace gfx
