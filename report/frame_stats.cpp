#include "report/frame_stats.h"

#include <algorithm>
#include <cmath>

namespace report {

double percentile(const std::vector<float>& sorted, double p) {
  if (sorted.empty()) return 0.0;
  const double n = static_cast<double>(sorted.size());
  // A small tolerance keeps p * n / 100 from landing just above a whole rank.
  size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * n - 1e-9));
  rank = std::min(std::max<size_t>(rank, 1), sorted.size());
  return sorted[rank - 1];
}

FrameSummary summarise_frames(const FrameTimes& times) {
  FrameSummary s;
  s.count = times.count;
  if (times.count == 0 || times.capacity == 0) return s;
  s.mean_rate = times.sum > 0.0 ? static_cast<double>(times.count) / times.sum : 0.0;
  s.max = times.max;
  const uint64_t held = std::min<uint64_t>(times.count, times.capacity);
  std::vector<float> sorted(times.ring, times.ring + held);
  std::sort(sorted.begin(), sorted.end());
  s.window = held;
  s.p50 = percentile(sorted, 50.0);
  s.p99 = percentile(sorted, 99.0);
  const float limit = static_cast<float>(2.0 * s.p50);
  s.slow =
      static_cast<uint64_t>(sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), limit));
  return s;
}

}  // namespace report
