// The cube mesh: a small subset of Wavefront OBJ (v, vn, triangular faces "f a//n b//n c//n"
// or "f a// b// c//"), expanded into one flat triangle stream on the GPU.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "gfx/gl.h"

namespace gfx {

struct MeshRecord {
  int32_t triangle_count = 0;
  GLuint vertex_buffer = 0;
  GLuint vertex_array = 0;
  int32_t positions_only = 0;  // 1: the stream holds positions only (stride 12)
};

// What the text parser produces: the triangle stream ready to upload.
struct ParsedMesh {
  std::vector<float> stream;  // 18 floats per triangle (normal form) or 9 (positions only)
  int32_t triangle_count = 0;
  bool positions_only = false;
  // Capacities of the working lists, in entries (they grow 1024 at a time).
  size_t position_capacity = 0;
  size_t normal_capacity = 0;
};

// Parses an open OBJ text stream. False on a rejected face line (neither face form, an
// index outside what was read so far or outside 32 bits, a negative index, or faces with
// and without normals mixed), and when memory runs out.
bool parse_obj(std::FILE* file, ParsedMesh* out);

// Test seam: makes every growth of the parser's lists that would bring one list above
// `bytes` fail as if memory had run out. 0 (the default) sets no limit.
void set_mesh_memory_limit(size_t bytes);

// Reads "3d/cube.obj" into the record and uploads it. On any failure (missing file,
// rejected face) the record is left empty (triangle count 0) and false is returned; the
// cube scenes then draw only their clear colour.
bool load_mesh(MeshRecord* record);

// The loaded cube mesh (filled at start-up).
MeshRecord& cube_mesh();

}  // namespace gfx
