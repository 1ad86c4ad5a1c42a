#include "gfx/shader_builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/shader_es.h"
#include "platform/file_reader.h"
#include "platform/message_box.h"
#include "platform/quit.h"

namespace gfx {
namespace {

const char* const kFragmentStems[] = {"tunnel", "projector", "metaballs",    "cube",
                                      "screen", "plasma",    "texturedcube", "planes"};
const char* const kVertexStems[] = {"tunnel", "projector", "cube"};
const char* const* const kGeometryStems = nullptr;  // no geometry shaders in this show

// Link table: per program a count, then shader references (bit 15: geometry, else bit 14:
// vertex, else fragment; low 14 bits: index into that stage's list); 0 ends it.
constexpr uint32_t kGeometryBit = 0x8000, kVertexBit = 0x4000, kIndexMask = 0x3FFF;
const uint32_t kLinkTable[] = {
    2, 0x0000, 0x4000,  // tunnel
    2, 0x0001, 0x4001,  // projector
    2, 0x0002, 0x4001,  // metaballs
    2, 0x0003, 0x4002,  // cube
    2, 0x0004, 0x4001,  // screen
    2, 0x0005, 0x4001,  // plasma
    2, 0x0006, 0x4002,  // texturedcube
    2, 0x0007, 0x4000,  // planes
    0,
};

// Attribute bindings: NUL-terminated name, then its index byte; an empty name ends it.
const unsigned char kAttributeTable[17] = {
    'A', '0', 0, 0, 'A', '1', 0, 1, 'A', '2', 0, 2, 'A', '3', 0, 3, 0,
};

constexpr size_t kPathBuffer = 32;  // "shaders/" + stem + ".xs" + NUL: stems up to 20 chars

bool compile_stage(const char* const* stems, uint32_t count, const char* suffix, GLenum type,
                   std::vector<GLuint>& names) {
  for (uint32_t i = 0; i < count; ++i) {
    char path[kPathBuffer];
    std::snprintf(path, sizeof path, "shaders/%s%s", stems[i], suffix);
    names[i] = compile_shader(path, type);
    if (names[i] == 0) return false;
  }
  return true;
}

// Fetches an info log of the reported length; an empty log gives an empty text.
template <typename GetIv, typename GetLog>
std::vector<char> info_log(GLuint object, GetIv get_iv, GetLog get_log) {
  GLint length = 0;
  get_iv(object, GL_INFO_LOG_LENGTH, &length);
  std::vector<char> log(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  if (length > 0) get_log(object, length, nullptr, log.data());
  return log;
}

}  // namespace

GLuint compile_shader(const char* path, GLenum type) {
  uint32_t length = 0;
  uint8_t* source = platform::read_whole_file(path, &length);
  if (!source) {
    platform::show_message_box("Could not open", path);
    platform::post_quit(0);
    return 0;
  }
  // A UTF-8 byte-order mark (some editors save one) marks the encoding and is no part of
  // the text; handed over, it would fail the compile with a message that never names it.
  const bool marked = length >= 3 && source[0] == 0xEF && source[1] == 0xBB && source[2] == 0xBF;
  const uint32_t skipped = marked ? 3 : 0;
  const GLuint shader = glCreateShader(type);
  const GLchar* text = reinterpret_cast<const GLchar*>(source + skipped);
  GLint text_length = static_cast<GLint>(length - skipped);
#ifdef QUORL_GLSL_ES
  // WebGL 2 compiles GLSL ES 3.00 only: the same file, rewritten for it.
  const std::string es =
      shader_to_es(text, static_cast<size_t>(text_length), type == GL_FRAGMENT_SHADER);
  text = es.c_str();
  text_length = static_cast<GLint>(es.size());
#endif
  glShaderSource(shader, 1, &text, &text_length);
  glCompileShader(shader);
  GLint status = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
  std::free(source);
  if (status == 1) return shader;
  std::vector<char> log = info_log(shader, glGetShaderiv, glGetShaderInfoLog);
  platform::show_message_box(log.data(), path);
  return 0;
}

bool link_program(GLuint program) {
  const unsigned char* entry = kAttributeTable;
  while (*entry) {
    const char* name = reinterpret_cast<const char*>(entry);
    const size_t len = std::strlen(name);
    const auto index = static_cast<signed char>(entry[len + 1]);
    glBindAttribLocation(program, static_cast<GLuint>(index), name);
    entry += len + 2;
  }
  glLinkProgram(program);
  GLint status = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &status);
  if (status == 1) return true;
  std::vector<char> log = info_log(program, glGetProgramiv, glGetProgramInfoLog);
  platform::show_message_box(log.data(), "Program Error");
  platform::post_quit(0);
  return false;
}

bool build_programs(uint32_t count_fs, uint32_t count_vs, uint32_t count_gs, GLuint* programs) {
  std::vector<GLuint> fragment(count_fs), vertex(count_vs), geometry(count_gs);
  if (!compile_stage(kFragmentStems, count_fs, ".fs", GL_FRAGMENT_SHADER, fragment)) return false;
  if (!compile_stage(kVertexStems, count_vs, ".vs", GL_VERTEX_SHADER, vertex)) return false;
  if (!compile_stage(kGeometryStems, count_gs, ".gs", GL_GEOMETRY_SHADER, geometry)) return false;

  const uint32_t* word = kLinkTable;
  for (int slot = 0; *word != 0; ++slot) {
    const uint32_t count = *word++;
    const GLuint program = glCreateProgram();
    programs[slot] = program;
    for (uint32_t i = 0; i < count; ++i, ++word) {
      const uint32_t ref = *word, index = ref & kIndexMask;
      const GLuint shader = (ref & kGeometryBit) ? geometry[index]
                            : (ref & kVertexBit) ? vertex[index]
                                                 : fragment[index];
      glAttachShader(program, shader);
    }
    if (!link_program(program)) return false;
  }
  for (GLuint s : fragment) glDeleteShader(s);
  for (GLuint s : vertex) glDeleteShader(s);
  for (GLuint s : geometry) glDeleteShader(s);
  return true;
}

}  // namespace gfx
