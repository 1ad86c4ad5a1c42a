// Recording fakes for every GL entry point: install() points the whole GL table at functions
// that append each call, with its arguments as text, to calls(). Names handed out by
// glGen*/glCreate* count up from 1; compile and link report success; the framebuffer is
// complete; uniform locations count up from 0 per lookup. Tests override single pointers
// after install() for other behaviour. Not thread-safe; main thread only.
#pragma once

#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "gfx/gl.h"

namespace gltest {

struct Call {
  std::string name;
  std::vector<std::string> args;
  std::string str() const {
    std::string s = name + "(";
    for (size_t i = 0; i < args.size(); ++i) s += (i ? ", " : "") + args[i];
    return s + ")";
  }
};

inline std::vector<Call>& calls() {
  static std::vector<Call> c;
  return c;
}
inline GLuint& next_name() {
  static GLuint n = 0;
  return n;
}
inline GLint& next_location() {
  static GLint n = 0;
  return n;
}

template <typename T>
std::string format_arg(T v) {
  std::ostringstream o;
  if constexpr (std::is_same_v<T, const char*> || std::is_same_v<T, const GLchar*>) {
    o << '"' << (v ? v : "") << '"';
  } else if constexpr (std::is_floating_point_v<T>) {
    o << std::setprecision(9) << v;
  } else if constexpr (std::is_pointer_v<T>) {
    o << reinterpret_cast<uintptr_t>(v);
  } else if constexpr (std::is_same_v<T, unsigned char> || std::is_same_v<T, signed char>) {
    o << static_cast<int>(v);
  } else {
    o << v;
  }
  return o.str();
}

template <const char* Name, typename R, typename... A>
R record(A... a) {
  calls().push_back({Name, {format_arg(a)...}});
  if constexpr (std::is_same_v<R, GLuint>) {
    return ++next_name();
  } else if constexpr (std::is_same_v<R, GLint>) {
    return next_location()++;
  } else if constexpr (!std::is_void_v<R>) {
    return R{};
  }
}

namespace names {
#define QUORL_GLTEST_NAME(name, ret, args) inline constexpr char name[] = #name;
QUORL_GL_ENTRIES(QUORL_GLTEST_NAME)
QUORL_GL11_ENTRIES(QUORL_GLTEST_NAME)
#undef QUORL_GLTEST_NAME
}  // namespace names

template <const char* Name, typename F>
struct Recorder;
template <const char* Name, typename R, typename... A>
struct Recorder<Name, R (*)(A...)> {
  static constexpr R (*fn)(A...) = &record<Name, R, A...>;
};

// glGen*: record the count, fill the names.
template <const char* Name>
void gen_names(GLsizei n, GLuint* out) {
  calls().push_back({Name, {format_arg(n)}});
  for (GLsizei i = 0; i < n; ++i) out[i] = ++next_name();
}
inline void get_iv(GLuint object, GLenum pname, GLint* params, const char* name) {
  calls().push_back({name, {format_arg(object), format_arg(pname)}});
  *params = (pname == GL_COMPILE_STATUS || pname == GL_LINK_STATUS) ? 1 : 0;
}
inline void get_shader_iv(GLuint s, GLenum p, GLint* v) { get_iv(s, p, v, "glGetShaderiv"); }
inline void get_program_iv(GLuint s, GLenum p, GLint* v) { get_iv(s, p, v, "glGetProgramiv"); }

// GLenum and GLuint are one type, so the status query gets its own fake.
inline GLenum check_framebuffer_status(GLenum target) {
  calls().push_back({"glCheckFramebufferStatus", {format_arg(target)}});
  return GL_FRAMEBUFFER_COMPLETE;
}

// Arrays of floats are recorded by value.
inline void uniform2fv(GLint location, GLsizei count, const GLfloat* v) {
  Call c{"glUniform2fv", {format_arg(location), format_arg(count)}};
  for (GLsizei i = 0; i < 2 * count; ++i) c.args.push_back(format_arg(v[i]));
  calls().push_back(c);
}
inline void uniform_matrix4fv(GLint location, GLsizei count, GLboolean transpose,
                              const GLfloat* v) {
  Call c{"glUniformMatrix4fv", {format_arg(location), format_arg(count), format_arg(transpose)}};
  for (GLsizei i = 0; i < 16 * count; ++i) c.args.push_back(format_arg(v[i]));
  calls().push_back(c);
}

inline void install() {
  calls().clear();
  next_name() = 0;
  next_location() = 0;
#define QUORL_GLTEST_INSTALL(name, ret, args) gfx::name = Recorder<names::name, gfx::name##_fn>::fn;
  QUORL_GL_ENTRIES(QUORL_GLTEST_INSTALL)
  QUORL_GL11_ENTRIES(QUORL_GLTEST_INSTALL)
#undef QUORL_GLTEST_INSTALL
  gfx::glGenTextures = gen_names<names::glGenTextures>;
  gfx::glGenBuffers = gen_names<names::glGenBuffers>;
  gfx::glGenVertexArrays = gen_names<names::glGenVertexArrays>;
  gfx::glGenFramebuffers = gen_names<names::glGenFramebuffers>;
  gfx::glGenRenderbuffers = gen_names<names::glGenRenderbuffers>;
  gfx::glGetShaderiv = get_shader_iv;
  gfx::glGetProgramiv = get_program_iv;
  gfx::glCheckFramebufferStatus = check_framebuffer_status;
  gfx::glUniform2fv = uniform2fv;
  gfx::glUniformMatrix4fv = uniform_matrix4fv;
}

// The recorded calls as "name(arg, arg)" strings, optionally only those named in `only`.
inline std::vector<std::string> call_strings(const std::vector<std::string>& only = {}) {
  std::vector<std::string> out;
  for (const Call& c : calls()) {
    bool keep = only.empty();
    for (const std::string& n : only) keep = keep || c.name == n;
    if (keep) out.push_back(c.str());
  }
  return out;
}

}  // namespace gltest
