#include "demo/cube_math.h"

#include <cmath>

namespace demo {
namespace {

constexpr float kAspect = 1.3333334f;               // the 160 x 120 film frame
constexpr float kHalfFovComplement = 0.785398185f;  // pi/2 - fov/2, as the show held it
constexpr double kNear = 0.1, kFar = 100.0;
constexpr float kAxisX = 0.25f, kAxisY = 0.5f, kAxisZ = 1.0f;
constexpr float kCameraDistance = 3.0f;

Mat4 identity() {
  Mat4 m;
  m.e[0] = m.e[5] = m.e[10] = m.e[15] = 1.0f;
  return m;
}

}  // namespace

Mat4 mat4_multiply(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 4; ++row) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a.at(row, k) * b.at(k, col);
      r.e[4 * col + row] = sum;
    }
  }
  return r;
}

Mat4 cube_projection() {
  const double f = static_cast<float>(std::tan(static_cast<double>(kHalfFovComplement)));  // 1.0
  Mat4 p;
  p.e[0] = static_cast<float>(f / kAspect);
  p.e[5] = static_cast<float>(f);
  p.e[10] = static_cast<float>((kNear + kFar) / (kNear - kFar));
  p.e[11] = -1.0f;
  p.e[14] = static_cast<float>(2.0 * kNear * kFar / (kNear - kFar));
  return p;
}

Mat4 cube_spin(double clock) {
  // Argument reduction at 69..84 rad must keep single-precision accuracy: take the double
  // sine and cosine of the single-precision angle and round.
  const float theta = static_cast<float>(clock);
  const float s = static_cast<float>(std::sin(static_cast<double>(theta)));
  const float c = static_cast<float>(std::cos(static_cast<double>(theta)));
  const float k = 1.0f - c;
  const float x = kAxisX, y = kAxisY, z = kAxisZ;
  Mat4 r;
  r.e[0] = x * x * k + c;
  r.e[1] = x * y * k + z * s;
  r.e[2] = x * z * k - y * s;
  r.e[4] = x * y * k - z * s;
  r.e[5] = y * y * k + c;
  r.e[6] = y * z * k + x * s;
  r.e[8] = x * z * k + y * s;
  r.e[9] = y * z * k - x * s;
  r.e[10] = z * z * k + c;
  r.e[15] = 1.0f;
  return r;
}

CubeMatrices cube_matrices(double clock) {
  Mat4 t = identity();
  t.e[14] = -kCameraDistance;
  CubeMatrices out;
  out.nm = mat4_multiply(t, cube_spin(clock));
  out.m = mat4_multiply(cube_projection(), out.nm);
  return out;
}

}  // namespace demo
