// What the run report costs: one main-loop pass with fake services (no GL, no events), plain
// and with QUORL_STATS recording, and the summary made at exit from a full ring of frame
// times. Prints medians of several runs, measured in the same process; the ratio is the
// figure to compare across machines.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/main_loop.h"
#include "report/frame_stats.h"
#include "report/run_stats.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPasses = 2000000;
constexpr int kRuns = 7;

struct Fake {
  static uint64_t ticks;
  static int passes;
  static uint64_t counter() { return ticks += 16; }
  static uint64_t frequency() { return 1000; }
  static void set_clock(double) {}
  static bool pump(int* code) {
    *code = 0;
    return ++passes >= kPasses;
  }
  static void refill() {}
  static void frame() {}
  static void present() {}
};
uint64_t Fake::ticks = 0;
int Fake::passes = 0;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double ns_per_pass(const app::LoopServices& services) {
  std::vector<double> runs;
  for (int r = 0; r < kRuns; ++r) {
    Fake::passes = 0;
    const auto t0 = Clock::now();
    app::run_main_loop(services);
    runs.push_back(std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / kPasses);
  }
  return median(runs);
}

}  // namespace

int main() {
  const app::LoopServices plain = {&Fake::counter, &Fake::frequency, &Fake::set_clock,
                                   &Fake::refill,  &Fake::pump,      &Fake::frame,
                                   &Fake::present};
  setenv("QUORL_STATS", "json", 1);
  report::start_run_stats();
  const app::LoopServices recording = report::with_run_stats(plain);
  // Warm both, then alternate so that a busy machine slows both alike.
  ns_per_pass(plain);
  ns_per_pass(recording);
  const double off = ns_per_pass(plain);
  const double on = ns_per_pass(recording);
  std::printf(
      "main-loop pass, fake services:   plain %.2f ns   recording %.2f ns   (+%.2f ns, "
      "%.2fx)\n",
      off, on, on - off, on / off);

  // The summary at exit over a full ring of 2^18 frame times around 16.7 ms.
  std::vector<float> ring(1u << 18);
  report::FrameTimes times{ring.data(), static_cast<uint32_t>(ring.size()), 0, 0.0, 0.0};
  uint32_t state = 1;
  for (size_t i = 0; i < ring.size(); ++i) {
    state = state * 214013u + 2531011u;
    report::add_frame_time(&times, 0.0167 + ((state >> 16) & 0x7FFF) * 1e-8);
  }
  std::vector<double> runs;
  for (int r = 0; r < kRuns; ++r) {
    const auto t0 = Clock::now();
    const report::FrameSummary s = report::summarise_frames(times);
    runs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    if (s.count != ring.size()) return 1;
  }
  std::printf("summary at exit of %zu frame times: %.2f ms\n", ring.size(), median(runs));
  return 0;
}
