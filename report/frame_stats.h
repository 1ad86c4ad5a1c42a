// Display-frame times for the run report: a fixed ring the main loop writes without
// allocating, locking or doing I/O, and the summary made of it at exit. Pure: the ring's
// storage comes from the caller, and times are whatever clock the caller reads, so tests
// drive it with made-up times.
#pragma once

#include <cstdint>
#include <vector>

namespace report {

// Frame times in seconds. Count, sum and maximum cover every frame; the percentiles and the
// slow-frame count cover the last `capacity` frames, which the ring still holds.
struct FrameTimes {
  float* ring = nullptr;
  uint32_t capacity = 0;
  uint64_t count = 0;
  double sum = 0.0;
  double max = 0.0;
};

inline void add_frame_time(FrameTimes* t, double seconds) {
  t->ring[t->count % t->capacity] = static_cast<float>(seconds);
  ++t->count;
  t->sum += seconds;
  if (seconds > t->max) t->max = seconds;
}

struct FrameSummary {
  uint64_t count = 0;                      // frame times measured
  double mean_rate = 0.0;                  // frames a second over all of them
  double p50 = 0.0, p99 = 0.0, max = 0.0;  // seconds
  uint64_t slow = 0;                       // longer than twice the median
  uint64_t window = 0;                     // how many the percentiles and the slow count cover
};

// Nearest-rank percentile (0 < p <= 100) of values sorted ascending: the smallest value
// that at least p per cent of them do not exceed. 0 for no values.
double percentile(const std::vector<float>& sorted, double p);

// Builds the summary (allocates: call it at the end, not per frame).
FrameSummary summarise_frames(const FrameTimes& times);

}  // namespace report
