// OBJ loading time for a large mesh: N vertices (default 10 million), one normal and a
// triangle for every three vertices, written to a temporary file at run time and parsed
// the way the loader reads "3d/cube.obj". Prints the file size, the parse time (median of
// the runs) and the lists' capacities. Usage: mesh_bench [VERTICES] [RUNS]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "gfx/mesh.h"

namespace {

bool write_mesh(const std::string& path, long vertices) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  for (long i = 0; i < vertices; ++i) {
    std::fprintf(f, "v %ld.5 %ld.25 -%ld.125\n", i % 1000, (i / 1000) % 1000, i / 1000000);
  }
  std::fprintf(f, "vn 0 0 1\n");
  for (long i = 0; i + 2 < vertices; i += 3) {
    std::fprintf(f, "f %ld//1 %ld//1 %ld//1\n", i + 1, i + 2, i + 3);
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const long vertices = argc > 1 ? std::atol(argv[1]) : 10000000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  char dir[] = "/tmp/quorl-mesh-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string path = std::string(dir) + "/big.obj";
  if (!write_mesh(path, vertices)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::FILE* probe = std::fopen(path.c_str(), "r");
  std::fseek(probe, 0, SEEK_END);
  const long bytes = std::ftell(probe);
  std::fclose(probe);

  std::vector<double> seconds, cpu_seconds;
  gfx::ParsedMesh mesh;
  bool ok = true;
  for (int run = 0; run < runs; ++run) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    ok = gfx::parse_obj(f, &mesh) && ok;
    cpu_seconds.push_back(double(std::clock() - c0) / CLOCKS_PER_SEC);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    std::fclose(f);
  }
  std::remove(path.c_str());
  rmdir(dir);
  std::sort(seconds.begin(), seconds.end());
  std::sort(cpu_seconds.begin(), cpu_seconds.end());
  std::printf("OBJ of %ld vertices, %d triangles, %.0f MB: %s\n", vertices, mesh.triangle_count,
              bytes / 1e6, ok ? "loaded" : "FAILED");
  std::printf("  parse time: median %.2f s (best %.2f, worst %.2f) over %d runs; target < 5 s\n",
              seconds[seconds.size() / 2], seconds.front(), seconds.back(), runs);
  // On a machine shared with other work the wall time overstates; the CPU time does not.
  std::printf("  CPU time of the parse: median %.2f s\n", cpu_seconds[cpu_seconds.size() / 2]);
  std::printf("  capacities: %zu positions, %zu normals (they grow by 1024 entries)\n",
              mesh.position_capacity, mesh.normal_capacity);
  return ok ? 0 : 1;
}
