// Times display frames for the benchmark programs: wall clock and processor time of the
// whole process (llvmpipe's rendering threads included, steadier than the wall clock on a
// shared machine) and heap allocations per frame; prints the medians as one line. Brings
// the counting allocator with it: include in exactly one source file of a program.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "../tests/support/alloc_counter.h"

namespace bench {

inline double clock_ms(clockid_t id) {
  timespec ts;
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

class FrameTimer {
 public:
  explicit FrameTimer(size_t frames) {
    wall_.reserve(frames);
    cpu_.reserve(frames);
    allocs_.reserve(frames);
  }
  void begin() {
    wall0_ = clock_ms(CLOCK_MONOTONIC);
    cpu0_ = clock_ms(CLOCK_PROCESS_CPUTIME_ID);
    allocs0_ = allocations();
  }
  void end() {
    wall_.push_back(clock_ms(CLOCK_MONOTONIC) - wall0_);
    cpu_.push_back(clock_ms(CLOCK_PROCESS_CPUTIME_ID) - cpu0_);
    allocs_.push_back(static_cast<double>(allocations() - allocs0_));
  }
  // "frame_ms <wall> cpu_ms <cpu> allocs <per frame> allocs_once <n> frames <n>": medians,
  // and the allocations beyond the median frame's summed over the run: the driver's work
  // done once (compiling a shader variant the first time a scene draws with it).
  void print(const char* name) const {
    const double allocs = median(allocs_);
    double once = 0;
    for (double a : allocs_) once += std::max(0.0, a - allocs);
    std::printf("%s frame_ms %.3f cpu_ms %.3f allocs %.1f allocs_once %.0f frames %zu\n", name,
                median(wall_), median(cpu_), allocs, once, wall_.size());
  }

 private:
  static double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
  std::vector<double> wall_, cpu_, allocs_;
  double wall0_ = 0, cpu0_ = 0;
  long allocs0_ = 0;
};

}  // namespace bench
