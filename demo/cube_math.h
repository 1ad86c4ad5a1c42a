// The cube camera and spin: 4x4 single-precision matrices, column-major (element of row r,
// column c at 4c + r), uploaded as stored. The spin axis (0.25, 0.5, 1) is used without
// normalising it, so the cube swells and leans as it turns; that is the look of the show.
#pragma once

namespace demo {

struct Mat4 {
  float e[16] = {};
  float at(int row, int col) const { return e[4 * col + row]; }
};

Mat4 mat4_multiply(const Mat4& a, const Mat4& b);  // a * b, b acts first; single precision

// The perspective projection: 90 degrees vertical, 4:3, near 0.1, far 100.
Mat4 cube_projection();
// The spin R about the axis for the clock (radians = seconds).
Mat4 cube_spin(double clock);

struct CubeMatrices {
  Mat4 m;   // model to clip space: P * T * R
  Mat4 nm;  // model to view space: T * R (translation included)
};
CubeMatrices cube_matrices(double clock);

}  // namespace demo
