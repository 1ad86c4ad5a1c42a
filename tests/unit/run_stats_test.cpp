// The run report's numbers from a fake clock: frame-time percentiles, slow frames and the
// film frames a slow display skips; the formats; and the report printed on the way out.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "demo/film_counts.h"
#include "demo/timeline.h"
#include "platform/process.h"
#include "platform/quit.h"
#include "report/frame_stats.h"
#include "report/json_text.h"
#include "report/run_report.h"
#include "report/run_stats.h"

// Allocations while g_count_allocations is set: the recording loop must make none.
namespace {
std::atomic<bool> g_count_allocations{false};
std::atomic<int> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (g_count_allocations.load(std::memory_order_relaxed)) ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// The nothrow form too: otherwise it stays the runtime's own while the delete below frees
// with free(), a mismatch that AddressSanitizer (tests/sanitize.sh) reports.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_count_allocations.load(std::memory_order_relaxed)) ++g_allocations;
  return std::malloc(size ? size : 1);
}
// GCC does not see that the replaced new above is malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

// Frame times from a fake clock: the differences of successive readings, as the main loop's
// recorder takes them from the frame clock.
report::FrameSummary summarise_clock(const std::vector<double>& readings,
                                     uint32_t capacity = 1024) {
  std::vector<float> ring(capacity);
  report::FrameTimes times{ring.data(), capacity, 0, 0.0, 0.0};
  for (size_t i = 1; i < readings.size(); ++i) {
    report::add_frame_time(&times, readings[i] - readings[i - 1]);
  }
  return report::summarise_frames(times);
}

std::vector<double> clock_from_frame_times(const std::vector<double>& times) {
  std::vector<double> readings{0.0};
  for (double dt : times) readings.push_back(readings.back() + dt);
  return readings;
}

TEST(FrameStats, PercentilesAndMaxOfKnownFrameTimes) {
  // 1 ms .. 100 ms in a shuffled order: nearest rank puts p50 at 50 ms and p99 at 99 ms.
  std::vector<double> times;
  for (int ms = 1; ms <= 100; ++ms) times.push_back(ms / 1000.0);
  std::shuffle(times.begin(), times.end(), std::mt19937(7));
  const report::FrameSummary s = summarise_clock(clock_from_frame_times(times));
  EXPECT_EQ(s.count, 100u);
  EXPECT_EQ(s.window, 100u);
  EXPECT_NEAR(s.p50, 0.050, 1e-6);
  EXPECT_NEAR(s.p99, 0.099, 1e-6);
  EXPECT_NEAR(s.max, 0.100, 1e-9);
  EXPECT_NEAR(s.mean_rate, 100 / 5.05, 1e-6);
  // Twice the 50 ms median is 100 ms, and no frame is longer than that.
  EXPECT_EQ(s.slow, 0u);
}

TEST(FrameStats, SlowFramesAreThoseLongerThanTwiceTheMedian) {
  // A 60 Hz display with hitches: 90 frames at 1/60 s, 6 at 50 ms, 3 at exactly twice the
  // median (not slow) and one frame of a quarter second.
  std::vector<double> times(90, 1.0 / 60.0);
  times.insert(times.end(), 6, 0.050);
  times.insert(times.end(), 3, static_cast<double>(static_cast<float>(1.0 / 60.0)) * 2.0);
  times.push_back(0.250);
  std::shuffle(times.begin(), times.end(), std::mt19937(3));
  const report::FrameSummary s = summarise_clock(clock_from_frame_times(times));
  EXPECT_NEAR(s.p50, 1.0 / 60.0, 1e-6);
  EXPECT_NEAR(s.p99, 0.050, 1e-6);
  EXPECT_NEAR(s.max, 0.250, 1e-9);
  EXPECT_EQ(s.slow, 7u);
}

TEST(FrameStats, RingKeepsTheLastFramesWhileCountAndMaxCoverAll) {
  // 4 long frames first, then 12 short ones through a ring of 8: the percentiles see only
  // the short ones, the maximum and the rate still the long ones.
  std::vector<double> times(4, 0.100);
  times.insert(times.end(), 12, 0.010);
  const report::FrameSummary s = summarise_clock(clock_from_frame_times(times), 8);
  EXPECT_EQ(s.count, 16u);
  EXPECT_EQ(s.window, 8u);
  EXPECT_NEAR(s.p99, 0.010, 1e-6);
  EXPECT_NEAR(s.max, 0.100, 1e-9);
  EXPECT_NEAR(s.mean_rate, 16 / 0.52, 1e-6);
  EXPECT_EQ(report::summarise_frames(report::FrameTimes{}).count, 0u);  // no frames: all zero
}

TEST(FrameStats, PercentileOfFewValues) {
  EXPECT_EQ(report::percentile({}, 50), 0.0);
  EXPECT_EQ(report::percentile({3.0f}, 99), 3.0);
  EXPECT_EQ(report::percentile({1.0f, 2.0f}, 50), 1.0);
  EXPECT_EQ(report::percentile({1.0f, 2.0f}, 51), 2.0);
  EXPECT_EQ(report::percentile({1.0f, 2.0f, 3.0f, 4.0f}, 100), 4.0);
}

// The show's film-frame counting driven by a display at `fps` from t = from to t = to,
// exactly as demo::frame() counts: the index of each display frame from its frame clock.
demo::FilmCounts film_at(double fps, double from, double to) {
  demo::FilmCounts counts;
  int index = 0;
  for (int64_t k = 0;; ++k) {
    const double t = from + static_cast<double>(k) / fps;
    if (t > to) break;
    const demo::FrameTime ft = demo::frame_time(t);
    if (ft.index != index) demo::count_advance(&counts, index, ft.index, t < 129.0, false);
    index = ft.index;
  }
  return counts;
}

TEST(FilmCounts, TenFramesASecondSkipIndicesSixtyDoNot) {
  const demo::FilmCounts slow = film_at(10, 0.0, 10.0);
  EXPECT_EQ(slow.advances, 100u);  // every display frame after the first advances
  EXPECT_EQ(slow.indices, 160u);   // index 160 at t = 10
  EXPECT_EQ(slow.skipped, 60u);

  const demo::FilmCounts smooth = film_at(60, 0.0, 10.0);
  EXPECT_EQ(smooth.indices, 160u);
  EXPECT_EQ(smooth.advances, 160u);
  EXPECT_EQ(smooth.skipped, 0u);
}

TEST(FilmCounts, TheFadeOutsCrowdedStepsAreNotSkips) {
  // At 60 Hz the last steps of the fade-out fall several to a display frame; that is the
  // show's design, not a slow display. The whole show at 60 Hz skips nothing.
  const demo::FilmCounts show = film_at(60, 0.0, 131.05);
  EXPECT_EQ(show.skipped, 0u);
  EXPECT_EQ(show.indices, show.advances);
  EXPECT_GT(show.advances, 2063u + 1u);  // the climb to 2063, the jump to 2079, steps down, end

  // A hitch of one frame of 0.2 s at t = 50 skips the indices the clock passed meanwhile.
  demo::FilmCounts counts;
  demo::count_advance(&counts, 800, 801, true, true);
  demo::count_advance(&counts, 801, 804, true, true);
  EXPECT_EQ(counts.skipped, 2u);
  EXPECT_EQ(counts.indices, 4u);
  EXPECT_EQ(counts.scenes, 2u);
  // Into the fade-out and back down: one index each, however far the jump.
  demo::count_advance(&counts, 2063, 2079, false, false);
  demo::count_advance(&counts, 2066, 2064, false, false);
  EXPECT_EQ(counts.skipped, 2u);
  EXPECT_EQ(counts.indices, 6u);
  EXPECT_EQ(counts.advances, 4u);
}

report::RunReport sample_report() {
  report::RunReport r;
  r.phases_reached = 3;
  r.phase_seconds[0] = 0.25;
  r.phase_seconds[1] = 0.125;
  r.phase_seconds[2] = 0.5;
  r.to_first_frame = 1.0;
  r.passes = 301;
  r.frames.count = 300;
  r.frames.window = 300;
  r.frames.mean_rate = 60.0;
  r.frames.p50 = 1.0 / 60.0;
  r.frames.p99 = 0.020;
  r.frames.max = 0.040;
  r.frames.slow = 2;
  r.film = {80, 80, 0, 0};
  r.rate = 44100;
  r.clock_seconds = 5.0;
  r.played_frames = 220500;  // the device at the clock's pace
  r.first_frame_clock = 0.1;
  r.first_frame_played = 4410 - 1024;  // a device buffer behind at the first frame
  r.lead_in = 16384;
  r.screen_width = 1280;
  r.screen_height = 720;
  r.renderer = "llvmpipe \"x\"\n";
  return r;
}

TEST(RunReport, MusicOffsetIsTheLeadInWhenTheDeviceKeepsPace) {
  EXPECT_DOUBLE_EQ(report::music_offset_frames(5.0, 220500, 44100, 16384), 16384.0);
  // The device 0.1 s behind the clock, or a device buffer ahead of it.
  EXPECT_DOUBLE_EQ(report::music_offset_frames(5.0, 220500 - 4410, 44100, 16384), 16384.0 + 4410);
  EXPECT_DOUBLE_EQ(report::music_offset_frames(5.0, 220500 + 2048, 44100, 16384), 16384.0 - 2048);
  // Before the lead-in has played: more than the clock itself.
  EXPECT_DOUBLE_EQ(report::music_offset_frames(0.01, 0, 44100, 16384), 441.0 + 16384.0);
}

TEST(RunReport, JsonHasEveryFieldEscapesTextAndNeverWritesNaN) {
  report::RunReport r = sample_report();
  std::string json = report::format_json(r);
  EXPECT_EQ(json.front(), '{');
  EXPECT_EQ(json.back(), '}');
  EXPECT_EQ(json.find('\n'), std::string::npos) << "one line";
  for (const char* part :
       {"\"first_frame_ms\":1000.000", "{\"name\":\"window\",\"ms\":250.000}",
        "{\"name\":\"pictures\",\"ms\":500.000}]", "\"count\":301", "\"p50_ms\":16.667",
        "\"p99_ms\":20.000", "\"max_ms\":40.000", "\"slow\":2", "\"indices\":80", "\"skipped\":0",
        "\"played_frames\":220500", "\"offset_frames\":16384",
        "\"offset_first_frame_frames\":17408", "\"width\":1280",
        "\"renderer\":\"llvmpipe \\\"x\\\"\\u000a\"", "\"exit_code\":0}"}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << " in " << json;
  }
  // A start-up that failed: no first frame, no frames, no device.
  report::RunReport failed;
  failed.phases_reached = 1;
  failed.exit_code = -1;
  failed.frames.mean_rate = 0.0 / 0.0;
  json = report::format_json(failed);
  EXPECT_NE(json.find("\"first_frame_ms\":null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"mean_fps\":null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"offset_frames\":null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"offset_first_frame_frames\":null"), std::string::npos) << json;
  EXPECT_EQ(json.find("nan"), std::string::npos) << json;
  EXPECT_NE(json.find("\"exit_code\":-1}"), std::string::npos) << json;
}

TEST(RunReport, TextReadsAsSentences) {
  const std::string text = report::format_text(sample_report());
  for (const char* part :
       {"1.000 s from process start to the first presented frame", "window and context",
        "the rest                 125.0 ms", "301 frames in 5.00 s, 60.0 a second",
        "p50 16.67 ms, p99 20.00 ms, max 40.00 ms", "2 frames longer than 33.33 ms",
        "80 indices gone through", "0 skipped", "220500 frames played at 44100 Hz",
        "at the first frame 17408 frames (394.7 ms) behind the frame clock",
        "at the end 16384 frames (371.5 ms) behind the frame clock, of which the lead-in is 16384",
        "1280 x 720"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
  }
  report::RunReport failed;
  failed.phases_reached = 2;
  EXPECT_NE(report::format_text(failed).find("ended before the first frame, after 2 of 8 phases"),
            std::string::npos);
}

TEST(RunStats, ModeFromTheEnvironmentValue) {
  EXPECT_EQ(report::stats_mode(nullptr), report::StatsMode::kOff);
  EXPECT_EQ(report::stats_mode(""), report::StatsMode::kOff);
  EXPECT_EQ(report::stats_mode("0"), report::StatsMode::kOff);
  EXPECT_EQ(report::stats_mode("1"), report::StatsMode::kText);
  EXPECT_EQ(report::stats_mode("yes"), report::StatsMode::kText);
  EXPECT_EQ(report::stats_mode("json"), report::StatsMode::kJson);
}

// A main loop on a fake counter: ten passes 1/50 s apart, one of them 0.1 s.
struct FakePasses {
  static uint64_t ticks;
  static int frames;
  static uint64_t counter() {
    const uint64_t now = ticks;
    ticks += frames == 5 ? 100 : 20;
    return now;
  }
  static uint64_t frequency() { return 1000; }
  static void set_clock(double) {}
  static bool pump(int* code) { return platform::take_quit(code); }
  static void frame() {
    if (++frames == 10) platform::post_quit(0);
  }
  static void refill() {}
  static void present() {}
};
uint64_t FakePasses::ticks = 0;
int FakePasses::frames = 0;

// Runs `child` in a forked process with stderr into a pipe; returns (exit status, stderr).
template <typename F>
std::pair<int, std::string> in_child(F child) {
  int out[2];
  if (::pipe(out) != 0) return {-1, ""};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDERR_FILENO);
    ::close(out[0]);
    child();
    ::_exit(99);  // child() must end through platform::end_process
  }
  ::close(out[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST(RunStats, LoopRecordsFrameTimesAndTheReportIsPrintedOnceOnTheWayOut) {
  const auto [status, err] = in_child([] {
    ::setenv("QUORL_STATS", "json", 1);
    platform::reset_quit();
    report::start_run_stats();
    report::phase_done(report::Phase::kWindow);
    report::phase_done(report::Phase::kPrograms);
    const app::LoopServices base = {
        &FakePasses::counter, &FakePasses::frequency, &FakePasses::set_clock, &FakePasses::refill,
        &FakePasses::pump,    &FakePasses::frame,     &FakePasses::present};
    const app::LoopServices recording = report::with_run_stats(base);
    g_count_allocations = true;
    const int code = app::run_main_loop(recording);
    g_count_allocations = false;
    platform::end_process(g_allocations == 0 ? code + 3 : 50);
  });
  EXPECT_EQ(status, 3) << "50: the recording loop allocated";
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
  EXPECT_EQ(err.find("\"startup\""), err.rfind("\"startup\"")) << "printed once: " << err;
  // 11 passes (the one after the quit included): 10 frame times, one of them 0.1 s.
  for (const char* part : {"\"count\":11", "\"p50_ms\":20.000", "\"max_ms\":100.000", "\"slow\":1",
                           "\"name\":\"programs\"", "\"exit_code\":3"}) {
    EXPECT_NE(err.find(part), std::string::npos) << part << " in " << err;
  }
  EXPECT_EQ(err.find("\"name\":\"pictures\""), std::string::npos) << "phases not reached";
}

TEST(RunStats, OffChangesNothingAndPrintsNothing) {
  const auto [status, err] = in_child([] {
    ::unsetenv("QUORL_STATS");
    report::start_run_stats();
    report::phase_done(report::Phase::kWindow);
    const app::LoopServices base = {
        &FakePasses::counter, &FakePasses::frequency, &FakePasses::set_clock, &FakePasses::refill,
        &FakePasses::pump,    &FakePasses::frame,     &FakePasses::present};
    const app::LoopServices s = report::with_run_stats(base);
    const bool same = s.set_clock == base.set_clock && s.present == base.present &&
                      s.counter == base.counter && s.frame == base.frame;
    platform::end_process(same ? 4 : 5);
  });
  EXPECT_EQ(status, 4) << "the loop's services must be the program's own";
  EXPECT_EQ(err, "");
}

}  // namespace

TEST(RunReport, JsonStringsEscapeWhatJsonForbidsAndKeepTheRest) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", "\"\""},
      {"a\"b", "\"a\\\"b\""},
      {"back\\slash", "\"back\\\\slash\""},
      {std::string("nul\0tab\t", 8), "\"nul\\u0000tab\\u0009\""},
      {"\x1f\x7f", "\"\\u001f\\u007f\""},
      {"Mesa \xc3\xa9t\xc3\xa9 / <x>", "\"Mesa \xc3\xa9t\xc3\xa9 / <x>\""},
  };
  for (const auto& c : cases) EXPECT_EQ(report::json_string(c.in), c.out) << c.in;
}
