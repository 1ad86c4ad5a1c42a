#include "gfx/mesh.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace gfx {
namespace {

constexpr size_t kGrowth = 1024;      // the lists' capacities grow this many entries at a time
constexpr size_t kLineBuffer = 1024;  // longer lines are read in pieces of 1023 characters
// UTF-8's byte-order mark, which editors on some systems write at the start of a text file
// (and which files joined together carry at the start of a line): a mark of the encoding,
// not text, so it is skipped before a line is read.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

struct MeshState {
  MeshRecord cube;
  size_t memory_limit = 0;  // test seam: 0 = none
} g_mesh;

// Appends one entry of `entry` floats to a list whose capacity counter grows by kGrowth
// entries when full. The storage behind it doubles, so loading stays linear in the file's
// size. False when memory runs out (the only place the parser allocates).
bool append(std::vector<float>& list, size_t& capacity, const float* values, size_t entry) {
  if (list.size() / entry == capacity) capacity += kGrowth;
  if (list.size() + entry > list.capacity()) {
    const size_t wanted = std::max(list.capacity() * 2, kGrowth * entry);
    if (g_mesh.memory_limit && wanted * sizeof(float) > g_mesh.memory_limit) return false;
    try {
      list.reserve(wanted);
    } catch (const std::exception&) {  // bad_alloc, or length_error beyond max_size()
      return false;
    }
  }
  list.insert(list.end(), values, values + entry);
  return true;
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One face index as the formatted scan's %u reads it: white space skipped, an optional
// sign, at least one digit. Unlike %u it does not wrap: a negative value, or one above
// 32 bits, comes back as 0, which no list entry answers to (indices start at 1).
bool scan_index(const char*& at, uint32_t* value) {
  while (is_space(*at)) ++at;
  bool negative = false;
  if (*at == '+' || *at == '-') negative = *at++ == '-';
  if (*at < '0' || *at > '9') return false;
  uint64_t v = 0;
  bool too_large = false;
  for (; *at >= '0' && *at <= '9'; ++at) {
    v = v * 10 + static_cast<uint64_t>(*at - '0');
    if (v > UINT32_MAX) {
      too_large = true;
      v = UINT32_MAX;  // keeps the product small; digits are still consumed
    }
  }
  *value = (negative && v != 0) || too_large ? 0 : static_cast<uint32_t>(v);
  return true;
}

// Matches `line` against a face pattern the way the formatted scan does ('%' takes an
// index, a blank skips any white space, other characters must match) and returns the
// number of indices taken before the first mismatch.
int scan_face(const char* line, const char* pattern, uint32_t* out) {
  int taken = 0;
  for (const char* p = pattern; *p; ++p) {
    if (*p == '%') {
      if (!scan_index(line, &out[taken])) break;
      ++taken;
    } else if (*p == ' ') {
      while (is_space(*line)) ++line;
    } else if (*line == *p) {
      ++line;
    } else {
      break;
    }
  }
  return taken;
}

// A plain decimal number at `at` (sign, digits with an optional fraction, an optional
// exponent with digits) followed by white space or the end of the line: a token that the
// formatted scan's %f and strtof read alike, to the same float. False for anything else.
bool plain_number(const char*& at, float* value) {
  const char* p = at;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  bool any = p != digits;
  if (*p == '.') {
    const char* fraction = ++p;
    while (*p >= '0' && *p <= '9') ++p;
    any = any || p != fraction;
  }
  if (!any) return false;
  if (*p == 'e' || *p == 'E') {
    ++p;
    if (*p == '+' || *p == '-') ++p;
    const char* exponent = p;
    while (*p >= '0' && *p <= '9') ++p;
    if (p == exponent) return false;
  }
  if (*p != '\0' && !is_space(*p)) return false;
  // from_chars rounds correctly like strtof and is several times faster; it takes no '+'
  // and leaves the value alone when out of range, where strtof gives ±inf or 0.
  const char* first = *at == '+' ? at + 1 : at;
#ifdef __cpp_lib_to_chars
  if (std::from_chars(first, p, *value).ec != std::errc()) *value = std::strtof(at, nullptr);
#else
  // A library without it for floats (the browser build's): strtof, the same value.
  (void)first;
  *value = std::strtof(at, nullptr);
#endif
  at = p;
  return true;
}

// `line` against "v %f %f %f" (or "vn %f %f %f" with prefix "vn"): true with three values
// when it matches. Plain numbers, nearly every line, are read directly; any other text goes
// to the formatted scan itself, whose rules define what matches.
bool scan_vector(const char* line, const char* prefix, const char* pattern, float* v) {
  const size_t length = std::strlen(prefix);
  if (std::strncmp(line, prefix, length) != 0) return false;
  const char* at = line + length;
  int taken = 0;
  for (; taken < 3; ++taken) {
    while (is_space(*at)) ++at;
    if (!plain_number(at, &v[taken])) break;
  }
  return taken == 3 || std::sscanf(line, pattern, &v[0], &v[1], &v[2]) == 3;
}

}  // namespace

void set_mesh_memory_limit(size_t bytes) { g_mesh.memory_limit = bytes; }

bool parse_obj(std::FILE* file, ParsedMesh* out) {
  std::vector<float> positions, normals;
  size_t triangle_capacity = 0;
  bool with_normals = false, without_normals = false;
  *out = ParsedMesh{};

  char buffer[kLineBuffer];
  bool line_start = true;  // false for the later pieces of a long line
  while (std::fgets(buffer, sizeof buffer, file)) {
    const char* line = buffer;
    if (line_start && std::strncmp(line, kByteOrderMark, 3) == 0) line += 3;
    const size_t piece = std::strlen(buffer);
    line_start = piece > 0 && buffer[piece - 1] == '\n';
    float v[3];
    if (scan_vector(line, "v", "v %f %f %f", v)) {
      if (!append(positions, out->position_capacity, v, 3)) return false;
      continue;
    }
    if (scan_vector(line, "vn", "vn %f %f %f", v)) {
      if (!append(normals, out->normal_capacity, v, 3)) return false;
      continue;
    }
    if (line[0] != 'f') continue;

    uint32_t i[6];  // with normals: p1 n1 p2 n2 p3 n3; without: p1 p2 p3
    bool has_normals;
    if (scan_face(line, "f %//% %//% %//%", i) == 6) {
      has_normals = true;
    } else if (scan_face(line, "f %// %// %//", i) >= 3) {
      has_normals = false;
    } else {
      return false;
    }
    (has_normals ? with_normals : without_normals) = true;
    // One stream holds one layout: a file mixing both would upload garbage.
    if (with_normals && without_normals) return false;
    if (out->triangle_count == INT32_MAX) return false;

    const size_t position_count = positions.size() / 3, normal_count = normals.size() / 3;
    float triangle[18];
    float* at = triangle;
    for (int c = 0; c < 3; ++c) {
      const uint32_t p = has_normals ? i[2 * c] : i[c];
      if (p < 1 || p > position_count) return false;
      std::memcpy(at, &positions[(p - 1) * size_t{3}], 3 * sizeof(float));
      at += 3;
      if (has_normals) {
        const uint32_t n = i[2 * c + 1];
        if (n < 1 || n > normal_count) return false;
        std::memcpy(at, &normals[(n - 1) * size_t{3}], 3 * sizeof(float));
        at += 3;
      }
    }
    if (!append(out->stream, triangle_capacity, triangle, has_normals ? 18 : 9)) return false;
    out->triangle_count += 1;
  }
  out->positions_only = without_normals;
  return true;
}
bool load_mesh(MeshRecord* record) {
  record->triangle_count = 0;
  record->positions_only = 0;
  std::FILE* file = std::fopen("3d/cube.obj", "r");
  if (!file) return false;
  ParsedMesh mesh;
  const bool ok = parse_obj(file, &mesh);
  std::fclose(file);
  if (!ok) return false;  // the record stays empty: the cube scenes draw their clear colour

  record->triangle_count = mesh.triangle_count;
  record->positions_only = mesh.positions_only ? 1 : 0;
  glGenVertexArrays(1, &record->vertex_array);
  glBindVertexArray(record->vertex_array);
  glGenBuffers(1, &record->vertex_buffer);
  glBindBuffer(GL_ARRAY_BUFFER, record->vertex_buffer);
  const GLsizeiptr per_triangle = mesh.positions_only ? 36 : 72;
  glBufferData(GL_ARRAY_BUFFER, per_triangle * mesh.triangle_count,
               mesh.stream.empty() ? nullptr : mesh.stream.data(), GL_STATIC_DRAW);
  if (mesh.positions_only) {
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
  } else {
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 24, nullptr);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 24, reinterpret_cast<const void*>(12));
    glEnableVertexAttribArray(1);
  }
  glBindVertexArray(0);
  return true;
}

MeshRecord& cube_mesh() { return g_mesh.cube; }

}  // namespace gfx
