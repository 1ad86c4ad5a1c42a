// The cube mesh's OBJ parser on arbitrary text, read through a FILE stream exactly as the
// loader reads "3d/cube.obj". Whatever the bytes, it must return (true or false) without
// touching memory it does not own; an accepted mesh must hold whole triangles.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "gfx/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer; the empty file has a unit test
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (!file) return 0;
  gfx::ParsedMesh mesh;
  if (gfx::parse_obj(file, &mesh)) {
    const size_t per_triangle = mesh.positions_only ? 9 : 18;
    if (mesh.stream.size() != per_triangle * static_cast<size_t>(mesh.triangle_count)) std::abort();
  }
  std::fclose(file);
  return 0;
}
