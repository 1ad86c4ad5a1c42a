// quorl-mesh: writes the show's cube, half-size 0.75, with chamfered
// edges and corners, as OBJ (v, vn, f a//n b//n c//n; triangles wound
// counter-clockwise seen from outside).
//
//   quorl-mesh <out.obj>
//
// Every cube corner contributes three vertices, one on each face meeting
// there.  Faces (6 quads), edge chamfers (12 quads) and corner facets
// (8 triangles) are built from those 24 points: 44 triangles.
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Vec = std::array<double, 3>;

const double kHalf = 0.75, kBevel = 0.06;

Vec sub(Vec a, Vec b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec cross(Vec a, Vec b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(Vec a, Vec b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec normalize(Vec a) {
  double l = std::sqrt(dot(a, a));
  return {a[0] / l, a[1] / l, a[2] / l};
}

// Corner index: bit k set = positive along axis k.
int sign(int corner, int axis) { return (corner >> axis) & 1 ? 1 : -1; }
int vertex_index(int corner, int axis) { return corner * 3 + axis; }  // 0-based

struct Tri {
  int v[3];
  int n;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <out.obj>\n", argv[0]);
    return 2;
  }
  std::vector<Vec> verts(24);
  for (int c = 0; c < 8; ++c)
    for (int a = 0; a < 3; ++a) {
      Vec p;
      for (int k = 0; k < 3; ++k) p[size_t(k)] = sign(c, k) * (k == a ? kHalf : kHalf - kBevel);
      verts[size_t(vertex_index(c, a))] = p;
    }
  std::vector<Vec> normals;
  std::vector<Tri> tris;
  // Adds a triangle, ordering its corners so that it faces along n.
  auto add_tri = [&](int a, int b, int c, int normal) {
    Vec fn =
        cross(sub(verts[size_t(b)], verts[size_t(a)]), sub(verts[size_t(c)], verts[size_t(a)]));
    if (dot(fn, normals[size_t(normal)]) < 0) std::swap(b, c);
    tris.push_back({{a, b, c}, normal});
  };
  // A planar quad from four points given in cyclic order.
  auto add_quad = [&](int a, int b, int c, int d, int normal) {
    add_tri(a, b, c, normal);
    add_tri(a, c, d, normal);
  };
  // Faces.
  for (int a = 0; a < 3; ++a)
    for (int s = -1; s <= 1; s += 2) {
      Vec n{0, 0, 0};
      n[size_t(a)] = s;
      normals.push_back(n);
      int ni = int(normals.size()) - 1;
      int u = (a + 1) % 3, v = (a + 2) % 3;
      int cyc[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
      int idx[4];
      for (int i = 0; i < 4; ++i) {
        int c = 0;
        if (s > 0) c |= 1 << a;
        if (cyc[i][0] > 0) c |= 1 << u;
        if (cyc[i][1] > 0) c |= 1 << v;
        idx[i] = vertex_index(c, a);
      }
      add_quad(idx[0], idx[1], idx[2], idx[3], ni);
    }
  // Edge chamfers: between face a (sign sa) and face b (sign sb), running
  // along the third axis w.
  for (int a = 0; a < 3; ++a)
    for (int b = a + 1; b < 3; ++b) {
      int w = 3 - a - b;
      for (int sa = -1; sa <= 1; sa += 2)
        for (int sb = -1; sb <= 1; sb += 2) {
          Vec n{0, 0, 0};
          n[size_t(a)] = sa;
          n[size_t(b)] = sb;
          normals.push_back(normalize(n));
          int ni = int(normals.size()) - 1;
          int base = (sa > 0 ? 1 << a : 0) | (sb > 0 ? 1 << b : 0);
          int c0 = base, c1 = base | (1 << w);
          add_quad(vertex_index(c0, a), vertex_index(c1, a), vertex_index(c1, b),
                   vertex_index(c0, b), ni);
        }
    }
  // Corner facets.
  for (int c = 0; c < 8; ++c) {
    normals.push_back(normalize({double(sign(c, 0)), double(sign(c, 1)), double(sign(c, 2))}));
    add_tri(vertex_index(c, 0), vertex_index(c, 1), vertex_index(c, 2), int(normals.size()) - 1);
  }

  FILE* f = std::fopen(argv[1], "w");
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::fprintf(f, "# quorl cube: half-size %.2f, chamfer %.2f, %zu triangles\n", kHalf, kBevel,
               tris.size());
  for (const Vec& v : verts) std::fprintf(f, "v %.4f %.4f %.4f\n", v[0], v[1], v[2]);
  for (const Vec& n : normals) std::fprintf(f, "vn %.6f %.6f %.6f\n", n[0], n[1], n[2]);
  for (const Tri& t : tris)
    std::fprintf(f, "f %d//%d %d//%d %d//%d\n", t.v[0] + 1, t.n + 1, t.v[1] + 1, t.n + 1,
                 t.v[2] + 1, t.n + 1);
  std::fclose(f);
  std::printf("%s: %zu vertices, %zu normals, %zu triangles\n", argv[1], verts.size(),
              normals.size(), tris.size());
  return 0;
}
