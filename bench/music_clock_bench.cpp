// The music's refill against a device paced by the clock (1024-frame buffers at absolute
// deadlines, never waiting), with the shipped music, under load: stale halves per run,
// how long after the device started a half the refill thread looked (wake-up), and how
// long a refill took.
//
//   music_clock_bench [runs] [seconds] [--polled] [--quiet]
//
// --polled: the refill thread only polls every 8192 frames at normal priority, as it did
//           before it was woken by the device and raised (the rule for a missed half is
//           the current one, which changes nothing while no half is missed).
// --quiet:  no load; otherwise stress-ng --cpu 4 --vm 2 runs during each run.
// Run from anywhere: it reads data/ of the source tree.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio/music.h"
#include "clock_device.h"
#include "stress_load.h"

namespace {

void print_spread(const char* what, const std::vector<double>& ms) {
  std::printf("  %-9s p50 %7.2f ms  p99 %7.2f ms  max %7.2f ms  (%zu refills)\n", what,
              clockdev::quantile(ms, 0.5), clockdev::quantile(ms, 0.99),
              clockdev::quantile(ms, 1.0), ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  double seconds = 60;
  bool polled = false;
  bool loaded = true;
  int number = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--polled") == 0) {
      polled = true;
    } else if (std::strcmp(argv[i], "--quiet") == 0) {
      loaded = false;
    } else if (number++ == 0) {
      runs = std::atoi(argv[i]);
    } else {
      seconds = std::atof(argv[i]);
    }
  }
  if (runs < 1 || seconds < 2) {
    std::fprintf(stderr,
                 "usage: music_clock_bench [runs >= 1] [seconds >= 2] [--polled] [--quiet]\n");
    return 2;
  }
  if (chdir(QUORL_SOURCE_DIR "/data") != 0) {
    std::perror("data/");
    return 1;
  }
  std::printf(
      "refill %s; %d runs x %.0f s; %s\n",
      polled ? "polled every 8192 frames at normal priority" : "woken at each half, high priority",
      runs, seconds, loaded ? "under stress-ng --cpu 4 --vm 2" : "no added load");

  std::vector<double> all_wake, all_refill;
  uint64_t all_stale = 0;
  int runs_with_stale = 0;
  for (int run = 0; run < runs; ++run) {
    audio::FrameSource source{};
    uint32_t rate = 0;
    if (!audio::open_music_source(&source, &rate)) {
      std::fprintf(stderr, "cannot open the shipped music\n");
      return 1;
    }
    clockdev::Options options;
    options.seconds = seconds;
    options.woken = !polled;
    options.high_priority = !polled;
    clockdev::Result r;
    {
      std::unique_ptr<StressLoad> load;
      if (loaded) {
        load = std::make_unique<StressLoad>(std::vector<std::string>{"--cpu", "4", "--vm", "2"});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (!load->running()) {
          std::fprintf(stderr, "stress-ng did not start\n");
          return 1;
        }
      }
      if (!clockdev::run(source, rate, options, &r)) {
        std::fprintf(stderr, "the refill thread could not start\n");
        return 1;
      }
    }
    std::printf("run %d: %llu stale halves, %llu halves caught up, device late by up to %.1f ms\n",
                run + 1, static_cast<unsigned long long>(r.stale_halves),
                static_cast<unsigned long long>(r.halves_caught_up), r.device_late_ms);
    print_spread("wake-up", r.wake_ms);
    print_spread("refill", r.refill_ms);
    std::fflush(stdout);
    all_stale += r.stale_halves;
    runs_with_stale += r.stale_halves > 0;
    all_wake.insert(all_wake.end(), r.wake_ms.begin(), r.wake_ms.end());
    all_refill.insert(all_refill.end(), r.refill_ms.begin(), r.refill_ms.end());
  }
  std::printf("all runs: %llu stale halves in all, %d of %d runs with any\n",
              static_cast<unsigned long long>(all_stale), runs_with_stale, runs);
  print_spread("wake-up", all_wake);
  print_spread("refill", all_refill);
  return 0;
}
