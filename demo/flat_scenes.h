// The flat scenes: one full-screen quad each, the picture made by the fragment shader from
// a texture and a few uniforms (star tunnel, brick tunnel, planes, Mandelbrot zoom). They
// read the frame clock, never the effective time; the zoom takes its progress instead.
#pragma once

namespace demo {

// Uniform values, as uploaded (single precision, computed in double).
struct TunnelValues {
  float time = 0.0f;  // `t`
  float bend = 0.0f;  // `v`
};
TunnelValues brick_tunnel_values(float time_factor, float sine_factor, double t);

struct PlanesValues {
  float time = 0.0f;           // `t`
  float cx = 0.0f, cy = 0.0f;  // `c` = (cos t, 0.25 sin t)
};
PlanesValues planes_values(double t);

struct ZoomValues {
  float scale = 0.0f;                  // `ts` = (s, s)
  float bias_x = 0.0f, bias_y = 0.0f;  // `tb`
};
ZoomValues mandelbrot_values(double progress);

// The scenes; the timeline has bound the film framebuffer with its viewport.
void star_tunnel();
void brick_tunnel(float time_factor, float sine_factor);
void planes();
void mandelbrot_zoom(double progress);

}  // namespace demo
