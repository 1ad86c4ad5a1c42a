#include "gfx/mesh.h"

#include <cstring>

namespace gfx {
namespace {

constexpr size_t kGrowth = 1024;     // working lists grow this many entries at a time
constexpr size_t kLineBuffer = 1024;  // longer lines are read in pieces of 1023 characters

// Appends to a list that grows by kGrowth entries when full, keeping its content.
template <typename T>
void append(std::vector<T>& list, size_t& capacity, const T* values, size_t count, size_t entry) {
  if (list.size() / entry == capacity) {
    capacity += kGrowth;
    list.reserve(capacity * entry);
  }
  list.insert(list.end(), values, values + count);
}

struct MeshState {
  MeshRecord cube;
} g_mesh;

}  // namespace

bool parse_obj(std::FILE* file, ParsedMesh* out) {
  std::vector<float> positions, normals;
  size_t triangle_capacity = 0;
  bool with_normals = false, without_normals = false;
  *out = ParsedMesh{};

  char line[kLineBuffer];
  while (std::fgets(line, sizeof line, file)) {
    float x, y, z;
    if (std::sscanf(line, "v %f %f %f", &x, &y, &z) == 3) {
      const float v[3] = {x, y, z};
      append(positions, out->position_capacity, v, 3, 3);
      continue;
    }
    if (std::sscanf(line, "vn %f %f %f", &x, &y, &z) == 3) {
      const float v[3] = {x, y, z};
      append(normals, out->normal_capacity, v, 3, 3);
      continue;
    }
    if (line[0] != 'f') continue;

    unsigned p[3], n[3];
    bool has_normals;
    if (std::sscanf(line, "f %u//%u %u//%u %u//%u", &p[0], &n[0], &p[1], &n[1], &p[2], &n[2]) == 6) {
      has_normals = true;
    } else if (std::sscanf(line, "f %u// %u// %u//", &p[0], &p[1], &p[2]) == 3) {
      has_normals = false;
    } else {
      return false;
    }
    (has_normals ? with_normals : without_normals) = true;
    // One stream holds one layout: a file mixing both would upload garbage.
    if (with_normals && without_normals) return false;

    const size_t position_count = positions.size() / 3, normal_count = normals.size() / 3;
    float triangle[18];
    float* at = triangle;
    for (int c = 0; c < 3; ++c) {
      if (p[c] < 1 || p[c] > position_count) return false;
      std::memcpy(at, &positions[(p[c] - 1) * 3], 3 * sizeof(float));
      at += 3;
      if (has_normals) {
        if (n[c] < 1 || n[c] > normal_count) return false;
        std::memcpy(at, &normals[(n[c] - 1) * 3], 3 * sizeof(float));
        at += 3;
      }
    }
    const size_t floats = has_normals ? 18 : 9;
    append(out->stream, triangle_capacity, triangle, floats, floats);
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
